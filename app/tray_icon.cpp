// Builds the tray icon's tooltip field and text.
#include "app/tray_icon.h"

#include "platform/date_text.h"
#include "platform/shown_text.h"
#include "time_protocol/status_words.h"

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

QString outcomeLine(bool succeeded, const QString& outcome, const QTime& at) {
    const QString when = QStringLiteral(" at ") + DateText::clockTime(at);
    if (succeeded)
        return ShownText::safe(outcome + when);
    // The time goes before the reason, which may be long.
    const QLatin1String notSet(StatusWords::kNotSet);
    const QString why = outcome.startsWith(notSet) ? outcome.mid(notSet.size()) : outcome;
    return ShownText::safe(notSet.chopped(2) + when + QStringLiteral(": ") + why);
}

QString text(const QString& outcomeLine, const QDateTime& now, const QDateTime& due) {
    if (!due.isValid())
        return outcomeLine + QStringLiteral("\nNo synchronization due");
    QString next = QStringLiteral("\nNext synchronization at ") + DateText::clockTime(due.time());
    if (due.date() != now.date())
        next += QStringLiteral(" on ") + DateText::clockDate(due.date());
    return outcomeLine + next;
}
} // namespace TrayTooltip
