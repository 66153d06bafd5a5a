// Gives a control the name the program knows it by, so windows and tests find it again.
#pragma once

#include <QString>

template <typename W> W* named(W* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}
