// Which status-file fields name a computer.
#include "net_engine/discovery_rules.h"

namespace Discovery {
std::optional<QString> computerEntry(const QString& field) {
    if (!field.startsWith(QLatin1String("\\\\")))
        return std::nullopt;
    return field.left(kEntryLength);
}

QStringList computers(const QStringList& fields, bool lastUnterminated) {
    QStringList found;
    const qsizetype complete = lastUnterminated ? fields.size() - 1 : fields.size();
    for (qsizetype i = 0; i < complete; ++i) {
        if (const auto entry = computerEntry(fields.at(i)))
            found << *entry;
    }
    return found;
}
} // namespace Discovery
