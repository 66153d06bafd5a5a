// Colours as 0x00BBGGRR values; a value with the top bit set names a system colour.
#pragma once

#include <QColor>
#include <QPalette>

namespace VbColor {
constexpr quint32 Black = 0x000000;
constexpr quint32 Red = 0x0000FF;
constexpr quint32 White = 0xFFFFFF;
constexpr quint32 LightGreen = 0x80FF80;
constexpr quint32 LightYellow = 0xC0FFFF;
constexpr quint32 ButtonFace = 0x8000000F;

QColor toQColor(quint32 value, const QPalette& palette = QPalette());
} // namespace VbColor

class QWidget;
// Paints a widget's background with a colour value.
void setBackColor(QWidget* widget, quint32 value);
// Sets a widget's text colour with a colour value.
void setForeColor(QWidget* widget, quint32 value);
