// The choice of road and the words of its outcome.
#include "time_protocol/road.h"

#include "time_protocol/status_words.h"

namespace Road {
namespace {
// The Time Protocol cannot tell tenths from hundredths; SNTP and NTS can tell milliseconds.
QString secondsText(qint64 usec, const QString& road, bool sign) {
    const int decimals = road == kTimeProtocol ? 1 : 3;
    const QString number = QString::number(static_cast<double>(usec) / 1e6, 'f', decimals);
    return (sign && usec >= 0 ? QStringLiteral("+") : QString()) + number + QStringLiteral(" s");
}
} // namespace

Next first(Listed listed, bool remembered) {
    return listed == Listed::NoNts && !remembered ? Next::Sntp : Next::Nts;
}

Step afterNts(Listed listed, bool remembered, const Nts::Result& result) {
    if (result.sample.ok)
        return {Next::Done, {}};
    const bool offers =
        listed == Listed::Nts || remembered || result.offer == Nts::Offer::Yes || result.offer == Nts::Offer::Connected;
    if (offers)
        return {Next::Fail, failureText(result.sample)};
    return {Next::Sntp, {}};
}

Step afterSntp(const Sample& sample) {
    return {sample.ok ? Next::Done : Next::TimeProtocol, {}};
}

QString outcomeText(const Sample& sample, const QString& label) {
    if (sample.withinUncertainty())
        return QLatin1String(StatusWords::kAlreadyRight) + QStringLiteral(" (±") +
               secondsText(sample.uncertaintyUsec, sample.road, false) +
               (label.isEmpty() ? QString() : QStringLiteral("; ") + label) + QLatin1Char(')');
    return QLatin1String(StatusWords::kCorrectedBy) + secondsText(sample.correctionUsec, sample.road, true) +
           QStringLiteral(" (") + (label.isEmpty() ? sample.road : label) + QLatin1Char(')');
}

QString failureText(const Sample& sample) {
    const QString why = sample.why.isEmpty() ? QStringLiteral("the %1 exchange failed").arg(sample.road) : sample.why;
    return QLatin1String(StatusWords::kNotSet) + why;
}
} // namespace Road
