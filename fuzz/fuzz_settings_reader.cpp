// Feeds arbitrary files to the settings reader: it must end, and the captions it restores must survive being
// written as records and read again.
#include "app/settings_file.h"
#include "platform/field_reader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const SettingsFile::Restored r = SettingsFile::parse(bytes);
    // A caption with a double quote cannot survive a quoted record; every other text comes back as it was.
    if (r.server.contains(QLatin1Char('"')) || r.scheduleTime.contains(QLatin1Char('"')) ||
        r.scheduleDate.contains(QLatin1Char('"')))
        return 0;
    const QStringList again =
        FieldReader(SettingsFile::content(r.server, r.scheduleTime, QString(), QString(), r.scheduleDate)).fields();
    if (again.size() != 5 || again[0] != r.server || again[1] != r.scheduleTime || again[4] != r.scheduleDate)
        __builtin_trap();
    return 0;
}
