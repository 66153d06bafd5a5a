// NTP timestamps and the clock offset of one exchange from its four timestamps, shared by SNTP and NTS.
#pragma once

#include <QtGlobal>
#include <algorithm>

namespace NtpTime {
constexpr qint64 kUnixMinus1900Seconds = 2208988800LL;

// Microseconds since 1970 from a 64-bit NTP timestamp (seconds since 1900 and a binary fraction); seconds with
// the top bit clear belong to the era that began on 2036-02-07.
inline qint64 unixUsec(quint64 timestamp) {
    qint64 seconds = static_cast<qint64>(timestamp >> 32);
    if (seconds < 0x80000000LL)
        seconds += 0x100000000LL;
    const qint64 fractionUsec = static_cast<qint64>(((timestamp & 0xFFFFFFFFu) * 1000000ULL) >> 32);
    return (seconds - kUnixMinus1900Seconds) * 1000000 + fractionUsec;
}

// The 64-bit NTP timestamp of a time in microseconds since 1970.
inline quint64 timestamp(qint64 unixUsec) {
    const qint64 seconds = unixUsec / 1000000 + kUnixMinus1900Seconds - (unixUsec % 1000000 < 0 ? 1 : 0);
    const qint64 usec = unixUsec - (seconds - kUnixMinus1900Seconds) * 1000000;
    return (static_cast<quint64>(seconds) << 32) | ((static_cast<quint64>(usec) << 32) / 1000000);
}

struct Offset {
    qint64 correctionUsec; // the server's time minus this clock
    qint64 roundTripUsec;  // the time on the network, without the server's own time
};
// t1: the request left (this clock); t2, t3: the server received it and answered (the server's clock);
// t4: the reply arrived, taken as t1 plus the monotonic time elapsed so that a clock step in between cannot
// spoil it.
inline Offset offset(qint64 t1, qint64 t2, qint64 t3, qint64 t4) {
    return {((t2 - t1) + (t3 - t4)) / 2, std::max<qint64>(0, (t4 - t1) - (t3 - t2))};
}

// What one exchange can tell: half its round trip, and never finer than a millisecond.
inline qint64 uncertaintyUsec(qint64 roundTripUsec) {
    return std::max<qint64>(roundTripUsec / 2, 1000);
}
} // namespace NtpTime
