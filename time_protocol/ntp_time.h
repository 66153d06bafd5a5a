// NTP timestamps and what one exchange tells from its four timestamps, checked as the NTP daemons check them;
// shared by SNTP and NTS.
#pragma once

#include <QString>
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

// A sample whose bound is wider than this tells too little to set a clock by.
constexpr qint64 kMostUncertaintyUsec = 1000000;

// The 32-bit "NTP short format" of the root delay and root dispersion: seconds and a 16-bit binary fraction.
inline qint64 shortFormatUsec(quint32 value) {
    return (static_cast<qint64>(value >> 16) * 1000000) + ((static_cast<qint64>(value & 0xFFFFu) * 1000000) >> 16);
}

// What one exchange tells, or why it tells nothing.
struct Measurement {
    bool ok = false;
    QString why;                // when !ok: "the reply is not consistent (...)" or "cannot be trusted ..."
    qint64 correctionUsec = 0;  // the server's time minus this clock
    qint64 roundTripUsec = 0;   // request to reply, the server's own time included
    qint64 uncertaintyUsec = 0; // the root distance: never finer than a millisecond
};
// t1: the request left (this clock); t2, t3: the server received it and answered (the server's clock);
// t4: the reply arrived, taken as t1 plus the monotonic time elapsed so that a clock step in between cannot
// spoil it. The server's own time must lie inside the round trip, or the stamps say nothing; the bound is
// half the network's time plus the server's root dispersion and half its root delay, as chrony's root distance.
inline Measurement measure(qint64 t1, qint64 t2, qint64 t3, qint64 t4, qint64 rootDelayUsec,
                           qint64 rootDispersionUsec) {
    Measurement m;
    m.roundTripUsec = t4 - t1;
    const qint64 serverUsec = t3 - t2;
    if (m.roundTripUsec < 0 || serverUsec < 0 || serverUsec > m.roundTripUsec) {
        m.why = serverUsec < 0 ? QStringLiteral("the reply is not consistent (sent before the request arrived)")
                               : QStringLiteral("the reply is not consistent (the server's time lies outside "
                                                "the round trip)");
        return m;
    }
    m.correctionUsec = ((t2 - t1) + (t3 - t4)) / 2;
    m.uncertaintyUsec = std::max<qint64>((m.roundTripUsec - serverUsec) / 2 + std::max<qint64>(0, rootDispersionUsec) +
                                             std::max<qint64>(0, rootDelayUsec) / 2,
                                         1000);
    if (m.uncertaintyUsec > kMostUncertaintyUsec) {
        m.why = QStringLiteral("the reply cannot be trusted to better than ±%1 s")
                    .arg(QString::number(static_cast<double>(m.uncertaintyUsec) / 1e6, 'f', 3));
        return m;
    }
    m.ok = true;
    return m;
}
} // namespace NtpTime
