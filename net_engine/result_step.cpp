// The result line, the next schedule and the failure test of the result step.
#include "net_engine/result_step.h"

#include "platform/date_text.h"
#include "time_protocol/status_file.h"
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

bool stillSettingClock(const QStringList& statusFields) {
    return StatusFile::read(statusFields).kind == StatusFile::Report::Kind::Waiting;
}

Outcome networkOutcome(const QStringList& statusFields) {
    const StatusFile::Report report = StatusFile::read(statusFields);
    if (report.succeeded())
        return {true, report.line.isEmpty() ? QStringLiteral("Clock set from the network computer") : report.line};
    // Given up while the clock service still had the correction: it may yet be applied, but it was not seen.
    if (report.kind == StatusFile::Report::Kind::Waiting)
        return {false, QStringLiteral("Clock not set: the clock service did not answer in time")};
    if (report.line.isEmpty())
        return {false, QStringLiteral("Clock not set: the network computer's run gave no result")};
    return {false, report.line.startsWith(QLatin1String(StatusWords::kNotSet))
                       ? report.line
                       : QLatin1String(StatusWords::kNotSet) + report.line};
}
} // namespace ResultStep
