// The SNTP client's packets (RFC 4330): the 48-byte request and the checks and conversion of the reply.
#pragma once

#include "time_protocol/sample.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace Sntp {
constexpr int kPacketSize = 48;
// Where the header keeps its 64-bit timestamps: seconds since 1900 and a binary fraction, big-endian.
constexpr int kOriginateAt = 24;
constexpr int kReceiveAt = 32;
constexpr int kTransmitAt = 40;
// The timestamp at `at`; the packet must hold its 8 bytes.
quint64 timestampAt(const QByteArray& packet, int at);

// Version 4, mode 3 (client), everything else zero but the transmit timestamp, which carries `nonce`; the
// server echoes it as the reply's originate timestamp, so a reply that does not is no answer to this request.
QByteArray request(quint64 nonce);
// 64 bits from the system's random source, never zero.
quint64 newNonce();

struct Reply {
    bool ok = false;
    QDateTime utc;                 // the server's transmit time, to the millisecond
    QString why;                   // when !ok: what was wrong with the reply
    qint64 receiveUsec = 0;        // T2, microseconds since 1970: the server received the request
    qint64 transmitUsec = 0;       // T3: the server answered
    qint64 rootDelayUsec = 0;      // the server's round trip to its reference clock
    qint64 rootDispersionUsec = 0; // and how far it may have drifted from it
};
// Rejects a short reply, one that does not echo `nonce`, a mode other than 4 (server), a version other than 3
// or 4, leap indicator 3 (not synchronized), stratum 0 (kiss-o'-death) or above 15, and a zero transmit time.
// A zero receive time (a server that fills in only its transmit time) counts as the transmit time.
Reply parse(const QByteArray& reply, quint64 nonce);

// The sample of a good reply: `sentUsec` is this clock when the request left (T1, microseconds since 1970),
// `elapsedUsec` the monotonic time from then to the reply (T4 = T1 + elapsed). Road "SNTP". No sample when the
// stamps contradict the round trip or the bound would be wider than a second (NtpTime::measure).
Sample sample(const Reply& reply, qint64 sentUsec, qint64 elapsedUsec);
} // namespace Sntp
