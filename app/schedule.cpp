// When the schedule is due, and the minute counter.
#include "app/schedule.h"

#include "platform/date_text.h"

namespace Schedule {
bool isDue(const QDateTime& now, const QString& dateText, const QString& timeText) {
    const QDate date = DateText::parseScheduleDate(dateText);
    const QTime time = DateText::parseScheduleTime(timeText);
    if (!date.isValid() || !time.isValid())
        return false;
    if (now.date() < date)
        return false;
    return !(now.time() < time);
}

qint64 leadingNumber(const QString& text) {
    // Large enough for any interval, small enough that adding one never overflows.
    constexpr qint64 kCeiling = 1'000'000'000'000LL;
    int i = 0;
    while (i < text.size() && (text.at(i) == QLatin1Char(' ') || text.at(i) == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    qint64 value = 0;
    for (; i < text.size() && text.at(i).isDigit() && text.at(i).unicode() < 128; ++i)
        value = qMin(kCeiling, value * 10 + (text.at(i).unicode() - '0'));
    return negative ? -value : value;
}

IntervalTick intervalTick(const QString& counterText, const QString& intervalText) {
    const qint64 next = leadingNumber(counterText) + 1;
    const qint64 interval = leadingNumber(intervalText);
    if (next > interval)
        return {QStringLiteral("1"), true};
    return {QString::number(next), false};
}

qint64 ticksToCycle(const QString& counterText, const QString& intervalText) {
    return qMax<qint64>(1, leadingNumber(intervalText) - leadingNumber(counterText) + 1);
}

QDateTime nextDue(const QDateTime& now, const QString& dateText, const QString& timeText, qint64 intervalMs) {
    const QDateTime byInterval = intervalMs < 0 ? QDateTime() : now.addMSecs(intervalMs);
    const QDate date = DateText::parseScheduleDate(dateText);
    const QTime time = DateText::parseScheduleTime(timeText);
    QDateTime bySchedule;
    if (date.isValid() && time.isValid())
        bySchedule = isDue(now, dateText, timeText) ? now : QDateTime(qMax(date, now.date()), time);
    if (!bySchedule.isValid() || (byInterval.isValid() && byInterval < bySchedule))
        return byInterval;
    return bySchedule;
}

int msToNextMinute(const QTime& time) {
    const int intoMinute = time.isValid() ? time.msecsSinceStartOfDay() % 60000 : 0;
    return 60000 - intoMinute + kPastMinuteMs;
}
} // namespace Schedule
