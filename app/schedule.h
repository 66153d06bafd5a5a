// The rules of the main window's two timers without the window: when the schedule is due, and the minute counter
// against the interval.
#pragma once

#include <QDateTime>
#include <QString>

namespace Schedule {
// True when the schedule is due: today is not before the scheduled date and the time of day is not before the
// scheduled time of day, each compared on its own, so a past date fires at the scheduled time of today.
// Texts that are not a date and a time ("NOT SCHEDULED") are never due.
bool isDue(const QDateTime& now, const QString& dateText, const QString& timeText);

// The number at the start of a text, blanks first skipped; 0 when the text does not begin with one.
qint64 leadingNumber(const QString& text);

struct IntervalTick {
    QString counter;    // the minute counter's new text
    bool cycleComplete; // the log size test and the automatic synchronization run now
};

// One minute of the counter against the interval: the counter runs 1, 2, ... N and the cycle completes on the
// tick after it has shown N, so a cycle is N ticks long. An interval below 2 (or no number) completes every tick.
IntervalTick intervalTick(const QString& counterText, const QString& intervalText);

// Minute ticks until the counter's cycle completes, as intervalTick counts them: at least one.
qint64 ticksToCycle(const QString& counterText, const QString& intervalText);

// The next moment a timer synchronization is due: the interval's, `intervalMs` from now (none when negative), or
// the schedule's, whichever comes first; a schedule that is due already is due now. Invalid when neither.
QDateTime nextDue(const QDateTime& now, const QString& dateText, const QString& timeText, qint64 intervalMs);

// How long the clock's timer waits from `time` to just past the start of the next minute, so the labels change
// with the minute; measured anew at every tick, so the wait never drifts from the clock.
constexpr int kPastMinuteMs = 20;
int msToNextMinute(const QTime& time);
} // namespace Schedule
