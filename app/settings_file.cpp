// Reads and writes the settings file.
#include "app/settings_file.h"

#include "platform/field_reader.h"
#include "platform/text_file.h"

#include <QStringList>

namespace SettingsFile {
namespace {
constexpr int kRecords = 5;
// Each record is read on its own: one longer than the field reader keeps is cut, and the records after it are still
// found. The bytes read stop far beyond five such records, so a huge file that no start of this program wrote
// cannot delay the start.
constexpr qint64 kMostBytesRead = 16 * 1024 * 1024;
} // namespace

QString path(const QString& programFolder) {
    return programFolder + QStringLiteral("NRV.ini");
}

namespace {
Restored restoredFrom(const QStringList& fields) {
    // A record that is missing leaves the text read last in place.
    QStringList records;
    QString last;
    for (int i = 0; i < kRecords; ++i) {
        if (i < fields.size())
            last = fields.at(i);
        records << last;
    }
    return Restored{records.at(0), records.at(1), records.at(4)};
}
} // namespace

std::optional<Restored> read(const DriveC& drive, const QString& programFolder) {
    const QString file = path(programFolder);
    if (!drive.exists(file))
        return std::nullopt;
    const std::optional<QStringList> fields = drive.readFields(file, kRecords, nullptr, kMostBytesRead);
    if (!fields)
        return std::nullopt;
    return restoredFrom(*fields);
}

Restored parse(const QByteArray& bytes) {
    return restoredFrom(FieldReader(bytes.left(kMostBytesRead)).fields(kRecords));
}

QByteArray content(const QString& server, const QString& scheduleTime, const QString& clockTime,
                   const QString& clockDate, const QString& scheduleDate) {
    QByteArray bytes;
    for (const QString& text : {server, scheduleTime, clockTime, clockDate, scheduleDate})
        bytes += TextFile::quotedRecord(text);
    return bytes;
}

bool write(const DriveC& drive, const QString& programFolder, const QByteArray& content, QString* error) {
    return drive.replace(path(programFolder), content, error);
}
} // namespace SettingsFile
