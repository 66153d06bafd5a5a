// The Time Protocol reply as a UTC date-time: the 32-bit count of seconds since 1900, its era, the transit
// correction and the tooltip that shows the reply.
#pragma once

#include "time_protocol/sample.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QtGlobal>

namespace TimeReply {
// Seconds from 1900-01-01 to 1990-01-01, the base the reply is counted from.
constexpr qint64 kEraOffset = 2840140800LL;
// The size of a valid reply, and how much of a longer one is kept.
constexpr int kReplySize = 4;
constexpr int kKeptBytes = 64;

// A 32-bit count of seconds since 1900 as seconds since 1900 without wrap: a count with its top bit clear
// belongs to the era that starts at 2036-02-07 06:28:16 UTC, so every value lands between 1968 and 2104.
qint64 secondsSince1900(quint32 value);
// The same count as a UTC date-time; shared with the SNTP client of the command interpreter.
QDateTime utcFromSeconds1900(quint32 value);
// The first four bytes, most significant first.
quint32 bigEndianValue(const QByteArray& bytes);

// The transit correction: half the connect-to-close time, rounded to the nearest second with halves going to
// the even neighbour (0.5 -> 0, 1.5 -> 2).
qint64 correctionSeconds(double delaySeconds);
// Half the time from connect to close, in seconds; never negative, also when midnight falls between them.
double halfTransit(const QDateTime& connectedAt, const QDateTime& closedAt);

struct Conversion {
    bool ok = false;
    QDateTime utc; // invalid when !ok
    QString why;   // when !ok, in plain words
};
// A reply of exactly four bytes plus the correction; anything else fails, and so does a count of zero, which a
// server without a time sends and which would otherwise read as 2036.
Conversion convert(const QByteArray& reply, double delaySeconds);

// The sample of a reply: its value N means "somewhere within second N, or up to one coarse clock tick (10 ms)
// after it", so the server's time when the close was seen is N + 0.505 s plus half the round trip, known to
// 0.505 s plus half the round trip. `closedUsec` is this clock
// at that moment (microseconds since 1970), `roundTripUsec` the monotonic time from the start of the connection to the
// close. The same checks as convert. Road "Time Protocol".
Sample sample(const QByteArray& reply, qint64 closedUsec, qint64 roundTripUsec);

// The reply, its bytes as characters, then " - " and the new time in the general date form (midnight alone when
// the conversion failed).
QString tooltip(const QByteArray& reply, const QDateTime& newTime);
} // namespace TimeReply
