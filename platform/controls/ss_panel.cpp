// The 3-D panel.
#include "platform/controls/ss_panel.h"

#include "platform/controls/vb_color.h"
#include "platform/shown_text.h"

#include <QMouseEvent>
#include <QPainter>

SSPanel::SSPanel(const QString& caption, QWidget* parent) : QFrame(parent), m_caption(caption) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(2);
}

void SSPanel::setCaption(const QString& caption) {
    // Captions carry outside names (a server's, a computer's): a line break or a direction control in one never
    // reaches the screen.
    m_caption = ShownText::safe(caption);
    update();
}

void SSPanel::setCaptionAlignment(Qt::Alignment alignment) {
    m_alignment = alignment;
    update();
}

void SSPanel::setBackColor(quint32 value) {
    m_backColor = value;
    ::setBackColor(this, value);
}

void SSPanel::setBusyLook(bool busy) {
    m_busy = busy;
    setFrameShadow(busy ? QFrame::Sunken : QFrame::Raised);
}

void SSPanel::setDisplayStyle(int style) {
    m_displayStyle = style;
    update();
}

void SSPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(contentsRect().adjusted(4, 2, -4, -2), static_cast<int>(m_alignment) | Qt::TextWordWrap,
                     m_caption);
}

void SSPanel::mouseReleaseEvent(QMouseEvent* event) {
    QFrame::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}
