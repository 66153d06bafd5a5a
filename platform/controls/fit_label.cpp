// The label that shrinks its caption to fit.
#include "platform/controls/fit_label.h"

#include "platform/shown_text.h"

#include <QPainter>

QFont FitLabel::shownFont() const {
    QFont face = font();
    const QString caption = ShownText::safe(text());
    const int room = contentsRect().width() - 2 * margin();
    int need = QFontMetrics(face).horizontalAdvance(caption);
    if (need <= room || room <= 0 || face.pointSizeF() <= 0)
        return face;
    // Text widths do not shrink quite in proportion with the size, so step down until the caption fits.
    face.setPointSizeF(face.pointSizeF() * room / need);
    while ((need = QFontMetrics(face).horizontalAdvance(caption)) > room && face.pointSizeF() > 1.5)
        face.setPointSizeF(face.pointSizeF() - 0.5);
    return face;
}

void FitLabel::paintEvent(QPaintEvent* event) {
    const QFont face = shownFont();
    // The caption is a name from outside (the settings file, the network): a line break or a direction control
    // in it is drawn as "?".
    const QString caption = ShownText::safe(text());
    if ((face == font() && caption == text()) || !pixmap().isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setFont(face);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect().adjusted(margin(), margin(), -margin(), -margin()), static_cast<int>(alignment()),
                     caption);
}
