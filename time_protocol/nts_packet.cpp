#include "time_protocol/nts_packet.h"

#include "time_protocol/aes_siv.h"
#include "time_protocol/nts_ke.h"
#include "time_protocol/sntp.h"
#include "time_protocol/time_reply.h"

#include <QRandomGenerator>

namespace NtsPacket {
namespace {

quint16 u16(const QByteArray& bytes, int at) {
    return static_cast<quint16>(TimeReply::bigEndianValue(bytes.mid(at, 2)));
}
QByteArray be16(int value) {
    return NtsKe::bigEndian16(static_cast<quint16>(value));
}
int padded(int size) {
    return (size + 3) & ~3;
}
QByteArray randomBytes(int size) {
    QByteArray bytes(size, '\0');
    QRandomGenerator::system()->generate(reinterpret_cast<quint32*>(bytes.data()),
                                         reinterpret_cast<quint32*>(bytes.data() + size));
    return bytes;
}
const Field* find(const QList<Field>& list, quint16 type) {
    for (const Field& f : list)
        if (f.type == type)
            return &f;
    return nullptr;
}
} // namespace

bool fields(const QByteArray& packet, int from, QList<Field>* out) {
    out->clear();
    int at = from;
    while (at < packet.size()) {
        if (packet.size() - at < 4)
            return false;
        const int length = u16(packet, at + 2);
        if (length < 4 || length % 4 != 0 || length > packet.size() - at)
            return false;
        out->append({u16(packet, at), at, packet.mid(at + 4, length - 4)});
        at += length;
    }
    return true;
}

QByteArray field(quint16 type, const QByteArray& body) {
    QByteArray bytes = be16(type) + be16(4 + padded(body.size())) + body;
    bytes.append(padded(body.size()) - body.size(), '\0');
    return bytes;
}

bool seal(const QByteArray& packet, const QByteArray& key, const QByteArray& nonce, const QByteArray& plaintext,
          QByteArray* authenticator) {
    QByteArray sealed;
    if (!AesSiv::seal(key, nonce, packet, plaintext, &sealed))
        return false;
    QByteArray body = be16(nonce.size()) + be16(sealed.size()) + nonce;
    body.append(padded(nonce.size()) - nonce.size(), '\0');
    body += sealed;
    *authenticator = field(Authenticator, body);
    return true;
}

bool authenticatorParts(const QByteArray& body, QByteArray* nonce, QByteArray* sealed) {
    if (body.size() < 4)
        return false;
    const int nonceSize = u16(body, 0);
    const int sealedSize = u16(body, 2);
    if (nonceSize == 0 || 4 + padded(nonceSize) + sealedSize > body.size())
        return false;
    *nonce = body.mid(4, nonceSize);
    *sealed = body.mid(4 + padded(nonceSize), sealedSize);
    return true;
}

Request request(const QByteArray& cookie, int placeholders, const QByteArray& c2sKey, quint64 transmit,
                const QByteArray& uniqueId, const QByteArray& nonce) {
    Request r;
    r.uniqueId = uniqueId;
    r.transmit = transmit;
    r.packet = Sntp::request(transmit) + field(UniqueIdentifier, uniqueId) + field(Cookie, cookie);
    for (int i = 0; i < placeholders; ++i)
        r.packet += field(CookiePlaceholder, QByteArray(cookie.size(), '\0'));
    QByteArray authenticator;
    if (!seal(r.packet, c2sKey, nonce, {}, &authenticator))
        return {};
    r.packet += authenticator;
    return r;
}

Request request(const QByteArray& cookie, int placeholders, const QByteArray& c2sKey) {
    return request(cookie, placeholders, c2sKey, Sntp::newNonce(), randomBytes(kUniqueIdSize), randomBytes(kNonceSize));
}

Reply parse(const QByteArray& packet, const Request& request, const QByteArray& s2cKey) {
    Reply reply;
    auto ignore = [&reply](const QString& why) {
        reply.why = why;
        return reply;
    };
    if (packet.size() < kHeaderSize || Sntp::timestampAt(packet, Sntp::kOriginateAt) != request.transmit)
        return ignore(QStringLiteral("the reply does not answer this request"));
    QList<Field> list;
    const bool wellFormed = fields(packet, kHeaderSize, &list);
    const Field* uid = wellFormed ? find(list, UniqueIdentifier) : nullptr;
    const bool ours = uid && uid->body == request.uniqueId;
    if (packet[1] == 0 && packet.mid(12, 4) == "NTSN") {
        // A refusal carries no authenticator; the unique identifier alone says it is meant for this request.
        if (!ours)
            return ignore(QStringLiteral("a refusal for another request"));
        reply.kind = Reply::Refused;
        return reply;
    }
    const Sntp::Reply header = Sntp::parse(packet, request.transmit);
    if (!header.ok)
        return ignore(header.why);
    if (!wellFormed)
        return ignore(QStringLiteral("the reply's extension fields are malformed"));
    if (!ours)
        return ignore(QStringLiteral("the reply does not carry this request's identifier"));
    if (list.isEmpty() || list.last().type != Authenticator)
        return ignore(QStringLiteral("the reply is not authenticated"));
    const Field& auth = list.last();
    if (uid->at > auth.at)
        return ignore(QStringLiteral("the reply's identifier is not authenticated"));
    QByteArray nonce, sealed, plaintext;
    if (!authenticatorParts(auth.body, &nonce, &sealed) ||
        !AesSiv::open(s2cKey, nonce, packet.left(auth.at), sealed, &plaintext))
        return ignore(QStringLiteral("the reply's authenticator is not valid"));
    QList<Field> inner;
    if (!fields(plaintext, 0, &inner))
        return ignore(QStringLiteral("the reply's encrypted fields are malformed"));
    for (const Field& f : inner)
        if (f.type == Cookie && !f.body.isEmpty() && f.body.size() <= NtsKe::kMaxCookieSize &&
            reply.cookies.size() < NtsKe::kMaxCookies)
            reply.cookies.append(f.body);
    reply.kind = Reply::Accepted;
    reply.receive = Sntp::timestampAt(packet, Sntp::kReceiveAt);
    reply.transmit = Sntp::timestampAt(packet, Sntp::kTransmitAt);
    reply.rootDelayUsec = header.rootDelayUsec;
    reply.rootDispersionUsec = header.rootDispersionUsec;
    return reply;
}
} // namespace NtsPacket
