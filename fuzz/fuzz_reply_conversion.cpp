// Feeds arbitrary replies and transit times to the Time Protocol conversion: only four bytes convert, and every
// value lands inside the two eras the 32-bit count can name.
#include "time_protocol/time_reply.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    double delay = 0;
    if (size >= sizeof(double)) {
        std::memcpy(&delay, data, sizeof(double));
        data += sizeof(double);
        size -= sizeof(double);
    }
    const QByteArray reply(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const TimeReply::Conversion result = TimeReply::convert(reply, delay);
    const bool convertible = reply.size() == TimeReply::kReplySize && TimeReply::bigEndianValue(reply) != 0;
    if (result.ok != convertible && std::isfinite(delay) && std::fabs(delay) < 1e6)
        __builtin_trap();
    if (result.ok) {
        const int year = result.utc.date().year();
        if (std::fabs(delay) < 1e6 && (year < 1968 || year > 2106))
            __builtin_trap();
    }
    (void)TimeReply::tooltip(reply, result.utc);
    return 0;
}
