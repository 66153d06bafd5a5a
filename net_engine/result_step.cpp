// The result line, the next schedule and the failure test of the result step.
#include "net_engine/result_step.h"

#include "platform/date_text.h"

namespace ResultStep {
QString resultLine(const QString& resultWord, const QDateTime& now, const QString& server, const QString& response) {
    return resultWord + QStringLiteral(" Synchronization on ") + DateText::shortDate(now.date()) +
           QStringLiteral(" at ") + DateText::timeWithSeconds(now.time()) + QStringLiteral(" With ") + server +
           QStringLiteral(" - ") + response;
}

Schedule sameTimeTomorrow(const QDateTime& now) {
    return {DateText::scheduleTime(now.time()), DateText::scheduleDate(now.date().addDays(1))};
}

bool reportsFailure(const QString& line) {
    return line.startsWith(QLatin1Char('F'), Qt::CaseSensitive);
}

Outcome networkOutcome(const QStringList& statusFields) {
    const auto field = [&statusFields](const QString& start) {
        for (const QString& f : statusFields) {
            if (f.trimmed().startsWith(start))
                return f.trimmed();
        }
        return QString();
    };
    const QString corrected = field(QStringLiteral("Clock corrected by "));
    if (!field(QStringLiteral("The command completed successfully.")).isEmpty())
        return {true, corrected.isEmpty() ? QStringLiteral("Clock set from the network computer") : corrected};
    // The interpreter's own reason, else the line that says which computer did not answer, else the first
    // message of the output.
    for (const QString& start : {QStringLiteral("Clock not set: "), QStringLiteral("\\\\")}) {
        const QString reason = field(start);
        if (!reason.isEmpty())
            return {false,
                    start.startsWith(QLatin1String("Clock")) ? reason : QStringLiteral("Clock not set: ") + reason};
    }
    for (const QString& f : statusFields) {
        const QString t = f.trimmed();
        if (!t.isEmpty() && !t.startsWith(QLatin1String("System error")) &&
            !t.startsWith(QLatin1String("Current time at")))
            return {false, QStringLiteral("Clock not set: ") + t};
    }
    return {false, QStringLiteral("Clock not set: the network computer's run gave no result")};
}
} // namespace ResultStep
