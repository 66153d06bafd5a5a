// Outside text made safe to log and show.
#include "platform/shown_text.h"

namespace ShownText {
Hidden kind(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x20 || (u >= 0x7f && u <= 0x9f) || u == 0x2028 || u == 0x2029)
        return Hidden::Control;
    // Embeddings and overrides, isolates, and the marks that steer the same algorithm.
    if ((u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069) || u == 0x200e || u == 0x200f || u == 0x061c)
        return Hidden::Direction;
    return Hidden::None;
}

int firstHidden(const QString& text) {
    for (int i = 0; i < text.size(); ++i) {
        if (kind(text.at(i)) != Hidden::None)
            return i;
    }
    return -1;
}

QString safe(const QString& text) {
    int at = firstHidden(text);
    if (at < 0)
        return text;
    QString shown = text;
    for (; at < shown.size(); ++at) {
        if (kind(shown.at(at)) != Hidden::None)
            shown[at] = QLatin1Char('?');
    }
    return shown;
}

QString codePoint(QChar c) {
    return QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
}
} // namespace ShownText
