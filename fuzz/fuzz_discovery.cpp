// Feeds arbitrary status files to discovery's reading: every entry is a computer field's first characters, in
// file order, and nothing else is ever listed.
#include "net_engine/discovery_rules.h"
#include "platform/field_reader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    bool unterminated = false;
    const QStringList fields = FieldReader(bytes).fields(-1, &unterminated);
    const QStringList entries = Discovery::computers(fields, unterminated);
    if (entries.size() > fields.size())
        __builtin_trap();
    qsizetype from = 0;
    for (const QString& entry : entries) {
        if (!entry.startsWith(QLatin1String("\\\\")) || entry.size() > Discovery::kEntryLength)
            __builtin_trap();
        // Each entry is the start of a later field than the one before it.
        while (from < fields.size() && !fields[from].startsWith(entry))
            ++from;
        if (from == fields.size())
            __builtin_trap();
        ++from;
    }
    return 0;
}
