// The SNTP client's packets (RFC 4330): the 48-byte request and the checks and conversion of the reply.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace Sntp {
constexpr int kPacketSize = 48;

// Version 4, mode 3 (client), everything else zero but the transmit timestamp, which carries `nonce`; the
// server echoes it as the reply's originate timestamp, so a reply that does not is no answer to this request.
QByteArray request(quint64 nonce);
// 64 bits from the system's random source, never zero.
quint64 newNonce();

struct Reply {
    bool ok = false;
    QDateTime utc; // the server's transmit time, to the millisecond
    QString why;   // when !ok: what was wrong with the reply
};
// Rejects a short reply, one that does not echo `nonce`, a mode other than 4 (server), a version other than 3
// or 4, leap indicator 3 (not synchronized), stratum 0 (kiss-o'-death) or above 15, and a zero transmit time.
Reply parse(const QByteArray& reply, quint64 nonce);
} // namespace Sntp
