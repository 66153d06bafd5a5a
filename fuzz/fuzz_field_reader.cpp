// Feeds arbitrary bytes to the field reader: it must end, and never read or keep more than it may.
#include "platform/field_reader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The bytes are not copied: the reader works on the input in place.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // A small cap so that the cutting of long fields is exercised too.
    FieldReader reader(bytes, 16);
    qsizetype fields = 0;
    while (!reader.atEnd()) {
        const QString field = reader.next();
        if (field.toUtf8().size() > 16 * 3)
            __builtin_trap();
        // Every read consumes at least one byte, so there are never more fields than bytes.
        if (++fields > bytes.size())
            __builtin_trap();
    }
    return 0;
}
