// The one place where dates and times become texts and texts become dates and times, through QLocale().
#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

// In every pattern the "/" and ":" stand for the user's date and time separators ("." in a German date).
namespace DateText {
QString dateSeparator(); // from the locale's short date form
QString timeSeparator(); // from the locale's short time form

QString clockTime(const QTime& t);        // "HH:MM ampm", the current time display
QString clockDate(const QDate& d);        // "MM/DD/YYYY", the current date display
QString scheduleTime(const QTime& t);     // "HH:MM:SS ampm", the scheduled time of day
QString scheduleDate(const QDate& d);     // "MMMM DD YYYY", the scheduled date
QString syncedTime(const QTime& t);       // "HH:MM:ss ampm", after a Time Protocol sync
QString syncedDate(const QDate& d);       // "DDDD mm/dd/yyyy", after a Time Protocol sync
QString shortDate(const QDate& d);        // the system's short date
QString timeWithSeconds(const QTime& t);  // the system's time form with seconds
QString generalDate(const QDateTime& dt); // short date and time; the date alone at midnight

// Read back what scheduleTime and scheduleDate wrote; an invalid value when the text is not one.
QTime parseScheduleTime(const QString& text);
QDate parseScheduleDate(const QString& text);
} // namespace DateText
