// Builds the tray icon's tooltip field.
#include "app/tray_icon.h"

namespace TrayTooltip {
QByteArray field(const QString& scheduleDate, const QString& scheduleTime) {
    QByteArray text = QStringLiteral("HORAVANE \rNext %1 at %2").arg(scheduleDate, scheduleTime).toUtf8();
    if (text.size() > kFieldBytes - 1) {
        int cut = kFieldBytes - 1;
        // Back off to the start of a UTF-8 sequence so the icon never shows half a character.
        while (cut > 0 && (static_cast<unsigned char>(text.at(cut)) & 0xC0) == 0x80)
            --cut;
        text.truncate(cut);
    }
    text.append('\0');
    return text.leftJustified(kFieldBytes, ' ');
}
} // namespace TrayTooltip
