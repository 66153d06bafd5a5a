// The result line, the next schedule and the failure test of the result step.
#include "net_engine/result_step.h"

#include "platform/date_text.h"
#include "time_protocol/status_words.h"

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

namespace {
QString fieldStarting(const QStringList& statusFields, const QString& start) {
    for (const QString& f : statusFields) {
        if (f.trimmed().startsWith(start))
            return f.trimmed();
    }
    return QString();
}
} // namespace

bool stillSettingClock(const QStringList& statusFields) {
    return !fieldStarting(statusFields, QLatin1String(StatusWords::kWaitingForClockService)).isEmpty();
}

Outcome networkOutcome(const QStringList& statusFields) {
    const auto field = [&statusFields](const QString& start) { return fieldStarting(statusFields, start); };
    if (!field(QLatin1String(StatusWords::kCompleted)).isEmpty()) {
        for (const char* said : {StatusWords::kCorrectedBy, StatusWords::kAlreadyRight}) {
            const QString line = field(QLatin1String(said));
            if (!line.isEmpty())
                return {true, line};
        }
        return {true, QStringLiteral("Clock set from the network computer")};
    }
    // Given up while the clock service still had the correction: it may yet be applied, but it was not seen.
    if (stillSettingClock(statusFields))
        return {false, QStringLiteral("Clock not set: the clock service did not answer in time")};
    // The interpreter's own reason, else the line that says which computer did not answer, else the first
    // message of the output.
    for (const QString& start : {QString::fromLatin1(StatusWords::kNotSet), QStringLiteral("\\\\")}) {
        const QString reason = field(start);
        if (!reason.isEmpty())
            return {false,
                    start.startsWith(QLatin1String("Clock")) ? reason : QLatin1String(StatusWords::kNotSet) + reason};
    }
    for (const QString& f : statusFields) {
        const QString t = f.trimmed();
        if (!t.isEmpty() && !t.startsWith(QLatin1String(StatusWords::kSystemError)) &&
            !t.startsWith(QLatin1String(StatusWords::kCurrentTimeAt)))
            return {false, QLatin1String(StatusWords::kNotSet) + t};
    }
    return {false, QStringLiteral("Clock not set: the network computer's run gave no result")};
}
} // namespace ResultStep
