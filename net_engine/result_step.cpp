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
} // namespace ResultStep
