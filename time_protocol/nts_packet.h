// The NTP packets of NTS (RFC 8915): the 48-byte header followed by extension fields (a 16-bit type, a 16-bit
// length of the whole field, padded to four bytes), the last of them the authenticator that seals the packet.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace NtsPacket {
enum FieldType : quint16 {
    UniqueIdentifier = 0x0104,
    Cookie = 0x0204,
    CookiePlaceholder = 0x0304,
    Authenticator = 0x0404,
};
constexpr int kHeaderSize = 48;
constexpr int kUniqueIdSize = 32;
constexpr int kNonceSize = 16;

struct Field {
    quint16 type = 0;
    int at = 0; // where the field begins in the packet
    QByteArray body;
};
// The extension fields after the header; false when they do not exactly fill the packet.
bool fields(const QByteArray& packet, int from, QList<Field>* out);
// One extension field, its body padded to four bytes.
QByteArray field(quint16 type, const QByteArray& body);
// The authenticator field that seals `packet` (everything before it) and carries `plaintext` encrypted.
bool seal(const QByteArray& packet, const QByteArray& key, const QByteArray& nonce, const QByteArray& plaintext,
          QByteArray* authenticator);
// The authenticator body's nonce and sealed text; false when malformed.
bool authenticatorParts(const QByteArray& body, QByteArray* nonce, QByteArray* sealed);

struct Request {
    QByteArray packet;
    QByteArray uniqueId;
    quint64 transmit = 0; // the header's transmit stamp, random: the reply must echo it
};
// The header (version 4, mode 3, `transmit`), the unique identifier, `cookie`, `placeholders` placeholders of its
// size, and the authenticator under the client-to-server key.
Request request(const QByteArray& cookie, int placeholders, const QByteArray& c2sKey, quint64 transmit,
                const QByteArray& uniqueId, const QByteArray& nonce);
// The same with fresh random values.
Request request(const QByteArray& cookie, int placeholders, const QByteArray& c2sKey);

struct Reply {
    enum Kind {
        Ignored,  // no answer to this request (or a forged one): keep listening
        Accepted, // authenticated, with the server's times
        Refused,  // kiss-o'-death NTSN for this request: the cookies are no longer good
    };
    Kind kind = Ignored;
    quint64 receive = 0; // the server's receive and transmit stamps
    quint64 transmit = 0;
    qint64 rootDelayUsec = 0; // from the header, as SNTP reads it
    qint64 rootDispersionUsec = 0;
    QList<QByteArray> cookies; // the new cookies from the encrypted fields, at most 8
    QString why;               // when Ignored: what was wrong
};
Reply parse(const QByteArray& packet, const Request& request, const QByteArray& s2cKey);
} // namespace NtsPacket
