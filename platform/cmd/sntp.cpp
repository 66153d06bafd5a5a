// SNTP packets: the timestamp at bytes 40 to 47 is seconds since 1900 and a binary fraction, big-endian.
#include "platform/cmd/sntp.h"

#include "time_protocol/time_reply.h"

namespace Sntp {
QByteArray request() {
    QByteArray packet(kPacketSize, '\0');
    packet[0] = 0x23;
    return packet;
}

Reply parse(const QByteArray& reply) {
    if (reply.size() < kPacketSize)
        return {false, {}, QStringLiteral("the reply is too short")};
    const int mode = static_cast<unsigned char>(reply[0]) & 0x07;
    if (mode != 4)
        return {false, {}, QStringLiteral("the reply is not from a server")};
    if (static_cast<unsigned char>(reply[1]) == 0)
        return {false, {}, QStringLiteral("the server refused the request")};
    const quint32 seconds = TimeReply::bigEndianValue(reply.mid(40, 4));
    const quint32 fraction = TimeReply::bigEndianValue(reply.mid(44, 4));
    if (seconds == 0 && fraction == 0)
        return {false, {}, QStringLiteral("the reply carries no time")};
    const qint64 ms = (static_cast<qint64>(fraction) * 1000) >> 32;
    return {true, TimeReply::utcFromSeconds1900(seconds).addMSecs(ms), {}};
}
} // namespace Sntp
