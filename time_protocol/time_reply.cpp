// Conversion of the Time Protocol reply into a UTC date-time.
#include "time_protocol/time_reply.h"

#include "platform/date_text.h"
#include "time_protocol/ntp_time.h"

#include <algorithm>
#include <cmath>

namespace TimeReply {
namespace {
constexpr qint64 kEraLength = qint64(1) << 32;
constexpr qint64 kHalfSecondUsec = 500000;
// Most servers read their second from the kernel's coarse clock, which turns over up to one tick (1 to 10 ms)
// after the precise one: the second a reply names may have ended that much earlier.
constexpr qint64 kCoarseTickUsec = 10000;
const QDateTime& base1990() {
    static const QDateTime base(QDate(1990, 1, 1), QTime(0, 0), Qt::UTC);
    return base;
}
} // namespace

qint64 secondsSince1900(quint32 value) {
    const qint64 seconds = value;
    return (value & 0x80000000u) ? seconds : seconds + kEraLength;
}

QDateTime utcFromSeconds1900(quint32 value) {
    return base1990().addSecs(secondsSince1900(value) - kEraOffset);
}

quint32 bigEndianValue(const QByteArray& bytes) {
    quint32 value = 0;
    for (int i = 0; i < kReplySize && i < bytes.size(); ++i)
        value = (value << 8) | static_cast<quint8>(bytes[i]);
    return value;
}

qint64 correctionSeconds(double delaySeconds) {
    // A transit time no exchange can take (or no number at all) corrects nothing rather than overflowing.
    if (!std::isfinite(delaySeconds) || std::fabs(delaySeconds) > 86400.0)
        return 0;
    // nearbyint follows the default rounding mode, which sends halves to the even neighbour.
    return static_cast<qint64>(std::nearbyint(delaySeconds));
}

double halfTransit(const QDateTime& connectedAt, const QDateTime& closedAt) {
    if (!connectedAt.isValid() || !closedAt.isValid())
        return 0.0;
    // Full date-times, so a connection across midnight counts its true length; a clock stepped back counts 0.
    const qint64 ms = connectedAt.msecsTo(closedAt);
    return ms > 0 ? static_cast<double>(ms) / 2000.0 : 0.0;
}

namespace {
QString whyRefused(const QByteArray& reply) {
    if (reply.size() != kReplySize)
        return QStringLiteral("a reply of %1 bytes instead of 4").arg(reply.size());
    if (bigEndianValue(reply) == 0)
        return QStringLiteral("a reply of zero, which carries no time");
    return {};
}
} // namespace

Conversion convert(const QByteArray& reply, double delaySeconds) {
    const QString why = whyRefused(reply);
    if (!why.isEmpty())
        return {false, {}, why};
    const qint64 total = secondsSince1900(bigEndianValue(reply)) - kEraOffset + correctionSeconds(delaySeconds);
    return {true, base1990().addSecs(total), {}};
}

Sample sample(const QByteArray& reply, qint64 closedUsec, qint64 roundTripUsec) {
    Sample s;
    s.road = QStringLiteral("Time Protocol");
    s.why = whyRefused(reply);
    if (!s.why.isEmpty())
        return s;
    s.roundTripUsec = std::max<qint64>(0, roundTripUsec);
    const qint64 secondsSince1970 = secondsSince1900(bigEndianValue(reply)) - NtpTime::kUnixMinus1900Seconds;
    // At its read the server's time lay within [N, N + 1 s + one tick); at the close, up to a round trip later.
    const qint64 halfWidthUsec = kHalfSecondUsec + kCoarseTickUsec / 2;
    const qint64 serverUsec = secondsSince1970 * 1000000 + halfWidthUsec + s.roundTripUsec / 2;
    s.ok = true;
    s.correctionUsec = serverUsec - closedUsec;
    s.uncertaintyUsec = halfWidthUsec + s.roundTripUsec / 2;
    s.serverUtc = QDateTime::fromMSecsSinceEpoch(serverUsec / 1000, Qt::UTC);
    return s;
}

QString tooltip(const QByteArray& reply, const QDateTime& newTime) {
    // The new time's own fields, UTC, with no zone conversion.
    const QDateTime plain = newTime.isValid() ? QDateTime(newTime.date(), newTime.time()) : QDateTime();
    return QString::fromLatin1(reply) + QStringLiteral(" - ") + DateText::generalDate(plain);
}
} // namespace TimeReply
