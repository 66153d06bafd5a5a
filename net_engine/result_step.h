// The texts and the colour of the result step that closes every synchronization.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace ResultStep {
// resultWord + " Synchronization on " + short date + " at " + time with seconds + " With " + server + " - " +
// response; nothing trimmed, so an empty result word leaves a leading blank.
QString resultLine(const QString& resultWord, const QDateTime& now, const QString& server, const QString& response);

// The next scheduled synchronization: now's time of day on the following calendar day.
struct Schedule {
    QString time; // "HH:MM:SS ampm"
    QString date; // "MMMM DD YYYY"
};
Schedule sameTimeTomorrow(const QDateTime& now);

// A line that begins with an upper-case "F" reports a failure and turns the schedule panel light yellow.
bool reportsFailure(const QString& line);

// What a network run did, read from the fields of its status file, for the status line: the correction applied,
// or why the clock was not set. Nothing read (no status file) is a failure too.
struct Outcome {
    bool succeeded = false;
    QString text;
};
Outcome networkOutcome(const QStringList& statusFields);
// Whether the status file says that a run's correction is with the clock service (which may be asking for a
// password): the run is alive and its result still to come.
bool stillSettingClock(const QStringList& statusFields);
} // namespace ResultStep
