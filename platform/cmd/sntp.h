// The SNTP client's packets (RFC 4330): the 48-byte request and the checks and conversion of the reply.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace Sntp {
constexpr int kPacketSize = 48;

// Version 4, mode 3 (client), everything else zero.
QByteArray request();

struct Reply {
    bool ok = false;
    QDateTime utc; // the server's transmit time, to the millisecond
    QString why;   // when !ok: what was wrong with the reply
};
// Rejects a short reply, a mode other than 4 (server), stratum 0 (kiss-o'-death) and a zero transmit time.
Reply parse(const QByteArray& reply);
} // namespace Sntp
