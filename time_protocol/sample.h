// One measurement of a time server against this clock: the correction, how far it can be trusted and the road
// that gave it, or why there is none. Every road ends in one; windows and horavane-cmd only carry it.
#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

struct Sample {
    bool ok = false;
    qint64 correctionUsec = 0;       // the server's time minus this clock, both at the moment the reply was read
    qint64 uncertaintyUsec = 0;      // NTS, SNTP: the root distance; the Time Protocol: half the round trip and the
                                     // half second it leaves open
    qint64 roundTripUsec = 0;        // request to reply, on the monotonic clock, without any question or prompt
    QDateTime serverUtc;             // the server's time when the reply was read, for the guards and the words
    QString road;                    // "NTS", "SNTP" or "Time Protocol"
    QString why;                     // when !ok: plain words for "Clock not set: ..."
    QDateTime certificateExpiredUtc; // NTS: the server's certificate had expired by this clock, valid only at the
                                     // server's time; invalid otherwise

    // A correction this small is below what the sample can tell: sending it would only move a right clock.
    bool withinUncertainty() const { return ok && qAbs(correctionUsec) < uncertaintyUsec; }
};
