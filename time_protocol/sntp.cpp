// SNTP packets: the timestamps at bytes 24 to 31 and 40 to 47 are seconds since 1900 and a binary fraction,
// big-endian.
#include "time_protocol/sntp.h"

#include "time_protocol/ntp_time.h"
#include "time_protocol/time_reply.h"

#include <QRandomGenerator>

#include <algorithm>

namespace Sntp {
quint64 timestampAt(const QByteArray& packet, int at) {
    return (static_cast<quint64>(TimeReply::bigEndianValue(packet.mid(at, 4))) << 32) |
           TimeReply::bigEndianValue(packet.mid(at + 4, 4));
}

QByteArray request(quint64 nonce) {
    QByteArray packet(kPacketSize, '\0');
    packet[0] = 0x23;
    for (int i = 0; i < 8; ++i)
        packet[kTransmitAt + i] = static_cast<char>(nonce >> (56 - 8 * i));
    return packet;
}

quint64 newNonce() {
    quint64 nonce = 0;
    while (nonce == 0)
        nonce = QRandomGenerator::system()->generate64();
    return nonce;
}

Reply parse(const QByteArray& reply, quint64 nonce) {
    if (reply.size() < kPacketSize)
        return {false, {}, QStringLiteral("the reply is too short")};
    if (timestampAt(reply, kOriginateAt) != nonce)
        return {false, {}, QStringLiteral("the reply does not answer this request")};
    const unsigned first = static_cast<unsigned char>(reply[0]);
    if ((first & 0x07) != 4)
        return {false, {}, QStringLiteral("the reply is not from a server")};
    const unsigned version = (first >> 3) & 0x07;
    if (version != 3 && version != 4)
        return {false, {}, QStringLiteral("the reply is of version %1").arg(version)};
    if ((first >> 6) == 3)
        return {false, {}, QStringLiteral("the server is not synchronized")};
    const unsigned stratum = static_cast<unsigned char>(reply[1]);
    if (stratum == 0)
        return {false, {}, QStringLiteral("the server refused the request")};
    if (stratum > 15)
        return {false, {}, QStringLiteral("the server is not synchronized (stratum %1)").arg(stratum)};
    const quint64 transmit = timestampAt(reply, kTransmitAt);
    if (transmit == 0)
        return {false, {}, QStringLiteral("the reply carries no time")};
    const quint64 receive = timestampAt(reply, kReceiveAt);
    const qint64 ms = (static_cast<qint64>(transmit & 0xFFFFFFFFu) * 1000) >> 32;
    return {true,
            TimeReply::utcFromSeconds1900(static_cast<quint32>(transmit >> 32)).addMSecs(ms),
            {},
            NtpTime::unixUsec(receive ? receive : transmit),
            NtpTime::unixUsec(transmit),
            NtpTime::shortFormatUsec(TimeReply::bigEndianValue(reply.mid(4, 4))),
            NtpTime::shortFormatUsec(TimeReply::bigEndianValue(reply.mid(8, 4)))};
}

Sample sample(const Reply& reply, qint64 sentUsec, qint64 elapsedUsec) {
    Sample s;
    s.road = QStringLiteral("SNTP");
    if (!reply.ok) {
        s.why = reply.why;
        return s;
    }
    const qint64 arrivedUsec = sentUsec + std::max<qint64>(0, elapsedUsec);
    const NtpTime::Measurement m = NtpTime::measure(sentUsec, reply.receiveUsec, reply.transmitUsec, arrivedUsec,
                                                    reply.rootDelayUsec, reply.rootDispersionUsec);
    s.roundTripUsec = m.roundTripUsec;
    if (!m.ok) {
        s.why = m.why;
        return s;
    }
    s.ok = true;
    s.correctionUsec = m.correctionUsec;
    s.uncertaintyUsec = m.uncertaintyUsec;
    s.serverUtc = QDateTime::fromMSecsSinceEpoch((arrivedUsec + m.correctionUsec) / 1000, Qt::UTC);
    return s;
}
} // namespace Sntp
