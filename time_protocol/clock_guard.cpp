// The guards against an implausible or surprising clock step.
#include "time_protocol/clock_guard.h"

#include "platform/date_text.h"
#include "platform/program_options.h"

#include <QLocale>
#include <cstdlib>

namespace ClockGuard {
namespace {
QString expiredText(const QDateTime& certificateExpiredUtc) {
    return QStringLiteral("Clock not set: the server's certificate expired on ") +
           DateText::generalDate(certificateExpiredUtc.toLocalTime());
}

QString secondsText(qint64 usec) {
    const double seconds = static_cast<double>(usec) / 1e6;
    return (usec >= 0 ? QStringLiteral("+") : QString()) + QString::number(seconds, 'f', 1) + QStringLiteral(" s");
}
} // namespace

QDate buildDate() {
    return programBuildDate();
}

Verdict judge(const QDateTime& serverUtc, qint64 correctionUsec, bool userStarted, const QDate& build,
              const QDateTime& certificateExpiredUtc) {
    if (!serverUtc.isValid() || serverUtc < QDateTime(build, QTime(0, 0), Qt::UTC))
        return {Step::Refuse, QStringLiteral("Clock not set: the server's time ") +
                                  DateText::generalDate(serverUtc.toLocalTime()) +
                                  QStringLiteral(" is before this program was built")};
    if (certificateExpiredUtc.isValid()) {
        if (!userStarted)
            return {Step::Refuse, expiredText(certificateExpiredUtc)};
        return {Step::Confirm, {}};
    }
    if (std::llabs(correctionUsec) <= kLargeStepSeconds * 1000000)
        return {Step::Apply, {}};
    if (!userStarted)
        return {Step::Refuse, QStringLiteral("Clock not set: a step of ") + secondsText(correctionUsec) +
                                  QStringLiteral(" is too large for an automatic synchronization")};
    return {Step::Confirm, {}};
}

QString largeStepQuestion(const QDateTime& serverUtc, qint64 correctionUsec, const QDateTime& certificateExpiredUtc) {
    const QDateTime server = serverUtc.toLocalTime();
    const QDateTime here = server.addMSecs(-correctionUsec / 1000);
    const QString expired =
        certificateExpiredUtc.isValid()
            ? QStringLiteral("The time server's certificate expired on %1 by this computer's clock; it is valid only "
                             "at the server's time.\n")
                  .arg(DateText::generalDate(certificateExpiredUtc.toLocalTime()))
            : QString();
    return expired +
           QStringLiteral("The time server says it is %1.\nThis computer's clock says %2.\nThe difference is %3.\n\n"
                          "Set the clock to the server's time?")
               .arg(DateText::generalDate(server), DateText::generalDate(here), secondsText(correctionUsec));
}

QString declinedText(qint64 correctionUsec, const QDateTime& certificateExpiredUtc) {
    if (certificateExpiredUtc.isValid())
        return expiredText(certificateExpiredUtc) + QStringLiteral(", and the step was not confirmed");
    return QStringLiteral("Clock not set: a step of ") + secondsText(correctionUsec) +
           QStringLiteral(" was not confirmed");
}

QString automaticSyncQuestion() {
    return QStringLiteral("The clock was not set because automatic time synchronization (NTP) is switched on, "
                          "so the system keeps the clock itself.\n\n"
                          "Switch automatic time synchronization off so that Horavane keeps the clock?");
}
} // namespace ClockGuard
