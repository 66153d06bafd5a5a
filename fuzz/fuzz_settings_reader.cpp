// Feeds arbitrary files to the settings reader: it must end, and the captions it restores must survive being
// written as records and read again.
#include "app/settings_file.h"
#include "platform/field_reader.h"
#include "platform/text_file.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/horavane-fuzz-XXXXXX"));
    static const DriveC drive(DosPaths(dir.path(), QStringLiteral("C:\\")));
    QFile file(dir.filePath(QStringLiteral("NRV.ini")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        __builtin_trap();
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();

    const auto restored = SettingsFile::read(drive, QStringLiteral("C:\\"));
    if (!restored)
        __builtin_trap(); // the file exists and is readable
    const auto& r = *restored;
    // A caption with a double quote cannot survive a quoted record; every other text comes back as it was.
    if (r.server.contains(QLatin1Char('"')) || r.scheduleTime.contains(QLatin1Char('"')) ||
        r.scheduleDate.contains(QLatin1Char('"')))
        return 0;
    QByteArray written = SettingsFile::content(r.server, r.scheduleTime, QString(), QString(), r.scheduleDate);
    QBuffer buffer(&written);
    buffer.open(QIODevice::ReadOnly);
    FieldReader reader(buffer);
    QStringList again;
    while (!reader.atEnd())
        again << reader.next();
    if (again.size() != 5 || again[0] != r.server || again[1] != r.scheduleTime || again[4] != r.scheduleDate)
        __builtin_trap();
    return 0;
}
