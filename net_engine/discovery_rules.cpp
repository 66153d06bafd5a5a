// Which status-file fields name a computer.
#include "net_engine/discovery_rules.h"

namespace Discovery {
std::optional<QString> computerEntry(const QString& field) {
    if (!field.startsWith(QLatin1String("\\\\")))
        return std::nullopt;
    return field.left(kEntryLength);
}

Outcome collect(const QStringList& fields, bool lastUnterminated) {
    Outcome out;
    const qsizetype listed = lastUnterminated ? fields.size() - 1 : fields.size();
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString& field = fields.at(i);
        out.shown += QLatin1String("\r\n") + field;
        if (i >= listed)
            continue;
        if (const auto entry = computerEntry(field))
            out.computers << *entry;
    }
    return out;
}
} // namespace Discovery
