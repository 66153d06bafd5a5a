// The settings file NRV.ini: where it lies, how its five records are read back, and what is written.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class DriveC;

namespace SettingsFile {
// The captions that the file restores at start.
struct Restored {
    QString server;       // record 1, into Label1
    QString scheduleTime; // record 2, into Label2
    QString scheduleDate; // record 5, into Label6
};

// The program folder with "NRV.ini" appended directly: "C:\" gives "C:\NRV.ini", "C:\Tools\Clock" gives
// "C:\Tools\ClockNRV.ini". Reader and writer use this one rule, so the file is always found again.
QString path(const QString& programFolder);

// Reads five records; a missing record repeats the text read last (the empty text before the first), so one
// record fills all three captions and an empty file empties them. Nothing when the file is missing or cannot
// be opened: the captions then keep their design texts.
std::optional<Restored> read(const DriveC& drive, const QString& programFolder);
// The same reading of the file's bytes.
Restored parse(const QByteArray& bytes);

// The five quoted records: server, scheduled time, current time, current date, scheduled date.
QByteArray content(const QString& server, const QString& scheduleTime, const QString& clockTime,
                   const QString& clockDate, const QString& scheduleDate);

// Replaces the file atomically; false with the reason when it could not be written.
bool write(const DriveC& drive, const QString& programFolder, const QByteArray& content, QString* error = nullptr);
} // namespace SettingsFile
