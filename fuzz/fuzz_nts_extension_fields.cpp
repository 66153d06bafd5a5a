// Feeds arbitrary NTP replies to the NTS reply check, once as they come and once sealed with the right key so
// that the encrypted fields are read too: nothing unsealed is ever accepted, and what is kept stays bounded.
#include "time_protocol/nts_ke.h"
#include "time_protocol/nts_packet.h"

#include <cstddef>
#include <cstdint>

namespace {
const QByteArray kC2s(32, '\x11');
const QByteArray kS2c(32, '\x22');

void check(const QByteArray& packet, const NtsPacket::Request& request, bool sealed) {
    QList<NtsPacket::Field> fields;
    if (NtsPacket::fields(packet, NtsPacket::kHeaderSize, &fields)) {
        int at = NtsPacket::kHeaderSize;
        for (const NtsPacket::Field& f : fields) {
            if (f.at != at || f.body.size() % 4 != 0)
                __builtin_trap();
            at += 4 + f.body.size();
        }
        if (at != std::max<int>(packet.size(), NtsPacket::kHeaderSize))
            __builtin_trap();
    }
    const NtsPacket::Reply reply = NtsPacket::parse(packet, request, kS2c);
    if (reply.kind == NtsPacket::Reply::Accepted && !sealed)
        __builtin_trap();
    if (reply.kind == NtsPacket::Reply::Ignored && reply.why.isEmpty())
        __builtin_trap();
    if (reply.cookies.size() > NtsKe::kMaxCookies)
        __builtin_trap();
    for (const QByteArray& cookie : reply.cookies)
        if (cookie.isEmpty() || cookie.size() > NtsKe::kMaxCookieSize)
            __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    static const NtsPacket::Request request = NtsPacket::request(QByteArray(24, 'k'), 1, kC2s, 0x1122334455667788ULL,
                                                                 QByteArray(32, 'u'), QByteArray(16, 'n'));
    // The first two bytes say how much of the rest goes into the encrypted part.
    const int inner = (data[0] << 8 | data[1]) % static_cast<int>(size - 1);
    const QByteArray rest(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(size - 2));
    check(rest, request, false);
    QByteArray packet = rest.left(rest.size() - inner);
    QByteArray authenticator;
    if (NtsPacket::seal(packet, kS2c, QByteArray(16, 's'), rest.right(inner), &authenticator)) {
        packet += authenticator;
        check(packet, request, true);
    }
    return 0;
}
