// The 3-D panel.
#include "platform/controls/ss_panel.h"

#include "platform/controls/vb_color.h"
#include "platform/shown_text.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

SSPanel::SSPanel(const QString& caption, QWidget* parent) : QFrame(parent), m_caption(caption) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(2);
}

void SSPanel::setCaption(const QString& caption) {
    // Captions carry outside names (a server's, a computer's): a line break or a direction control in one never
    // reaches the screen.
    m_caption = ShownText::safe(caption);
    if (m_captionAsToolTip)
        setToolTip(m_caption);
    update();
}

void SSPanel::setCaptionAsToolTip(bool on) {
    m_captionAsToolTip = on;
    setToolTip(on ? m_caption : QString());
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

QRect SSPanel::captionRect() const {
    return contentsRect().adjusted(4, 2, -4, -2);
}

QFont SSPanel::shownFont() const {
    QFont face = font();
    const QRect room = captionRect();
    const int flags = static_cast<int>(m_alignment) | Qt::TextWordWrap;
    // A long reason is drawn smaller, down to a size still readable, rather than losing its end.
    const qreal smallest = std::min<qreal>(face.pointSizeF(), 7.0);
    while (face.pointSizeF() > smallest &&
           QFontMetrics(face).boundingRect(QRect(0, 0, room.width(), 1 << 20), flags, m_caption).height() >
               room.height())
        face.setPointSizeF(std::max(smallest, face.pointSizeF() - 0.5));
    return face;
}

void SSPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setFont(shownFont());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(captionRect(), static_cast<int>(m_alignment) | Qt::TextWordWrap, m_caption);
}

void SSPanel::mouseReleaseEvent(QMouseEvent* event) {
    QFrame::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}
