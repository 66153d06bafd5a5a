// The result log: one quoted record per synchronization, beside the program.
#pragma once

#include <QString>

class DriveC;

namespace ResultLog {
// More than this many bytes and the size test empties the log.
constexpr qint64 kLimitBytes = 10'000'000;

// The program folder + "\ResultLog.txt" (a drive root's folder already ends in "\").
QString path(const QString& programFolder);
// Appends one record, creating the file first; false when the record could not be written. Characters that could
// break the record's line or turn its direction are written as "?".
bool append(const DriveC& drive, const QString& programFolder, const QString& text, QString* error = nullptr);
// The status line when the record could not be written: the synchronization's outcome, then why it is not in
// the log, so neither hides the other.
QString notLogged(const QString& outcome, const QString& error);
// Truncates the log to zero length, or creates it empty.
bool empty(const DriveC& drive, const QString& programFolder, QString* error = nullptr);
// True when the log is over the limit; its size is taken without reading it. A missing log is not over.
bool isOverLimit(const DriveC& drive, const QString& programFolder);
} // namespace ResultLog
