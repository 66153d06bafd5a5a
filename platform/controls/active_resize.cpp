// Design positions in twips, scaled with the window.
#include "platform/controls/active_resize.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

int twipsToPixels(int twips, const QWidget* widget) {
    qreal dpi = 96.0;
    if (widget)
        dpi = widget->logicalDpiX();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        dpi = screen->logicalDotsPerInchX();
    return qRound(twips / 15.0 * dpi / 96.0);
}

void placeTwips(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(twipsToPixels(left, widget), twipsToPixels(top, widget), twipsToPixels(width, widget),
                        twipsToPixels(height, widget));
}

ActiveResize::ActiveResize(QWidget* form, QSize designClient)
    : QObject(form), m_form(form), m_designClient(designClient) {
    form->resize(designPixels());
    form->installEventFilter(this);
}

QSize ActiveResize::designPixels() const {
    return {twipsToPixels(m_designClient.width(), m_form), twipsToPixels(m_designClient.height(), m_form)};
}

void ActiveResize::place(QWidget* widget, int left, int top, int width, int height) {
    m_elements.append({widget, QRect(left, top, width, height), widget->font().pointSizeF()});
    placeTwips(widget, left, top, width, height);
}

void ActiveResize::apply() {
    const QSize design = designPixels();
    if (design.isEmpty())
        return;
    const qreal sx = qreal(m_form->width()) / design.width();
    const qreal sy = qreal(m_form->height()) / design.height();
    for (const Design& d : std::as_const(m_elements)) {
        if (!d.widget)
            continue;
        const QRect r = d.twips;
        d.widget->setGeometry(qRound(twipsToPixels(r.left(), m_form) * sx), qRound(twipsToPixels(r.top(), m_form) * sy),
                              qRound(twipsToPixels(r.width(), m_form) * sx),
                              qRound(twipsToPixels(r.height(), m_form) * sy));
        if (d.pointSize > 0) {
            QFont f = d.widget->font();
            f.setPointSizeF(qMax(1.0, d.pointSize * qMin(sx, sy)));
            d.widget->setFont(f);
        }
    }
}

bool ActiveResize::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_form && event->type() == QEvent::Resize)
        apply();
    return QObject::eventFilter(watched, event);
}
