// Colour values onto Qt colours.
#include "platform/controls/vb_color.h"

#include <QApplication>
#include <QWidget>

QColor VbColor::toQColor(quint32 value, const QPalette& palette) {
    if (value & 0x80000000u) {
        // Only the button face is used; any other system colour falls back to the window colour.
        return (value & 0xFFu) == 0x0F ? palette.color(QPalette::Button) : palette.color(QPalette::Window);
    }
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

void setBackColor(QWidget* widget, quint32 value) {
    QPalette p = widget->palette();
    // System colours come from the style's own palette, not from a colour painted earlier.
    const QColor c = VbColor::toQColor(value, QApplication::palette(widget));
    p.setColor(QPalette::Window, c);
    p.setColor(QPalette::Button, c);
    p.setColor(QPalette::Base, c);
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
    widget->setProperty("backColor", QVariant::fromValue(value));
}

void setForeColor(QWidget* widget, quint32 value) {
    QPalette p = widget->palette();
    const QColor c = VbColor::toQColor(value, QApplication::palette(widget));
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::ButtonText, c);
    p.setColor(QPalette::Text, c);
    widget->setPalette(p);
}
