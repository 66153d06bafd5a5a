// The one rule for names and other outside text that reach a log record or the screen.
#pragma once

#include <QString>

namespace ShownText {
// Why a character may not be shown as it is: it would break a line or start a new one (C0, DEL, C1, the line
// and paragraph separators), or turn the direction of the text around it (the bidirectional controls).
enum class Hidden { None, Control, Direction };
Hidden kind(QChar c);

// The first character that may not be shown as it is, or nothing.
int firstHidden(const QString& text);

// The text with each such character shown as "?": one line, in its own direction, all else unchanged.
QString safe(const QString& text);

// "U+202E": the way a refusal names the character.
QString codePoint(QChar c);
} // namespace ShownText
