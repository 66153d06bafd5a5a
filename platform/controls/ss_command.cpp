// The 3-D push button.
#include "platform/controls/ss_command.h"

#include "platform/controls/vb_color.h"

#include <QEnterEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

SSCommand::SSCommand(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

void SSCommand::setBackColor(quint32 value) {
    m_backColor = value;
    ::setBackColor(this, value);
    // The caption stays readable whatever the colour: light text on a dark face, dark text on a light one.
    const QColor face = VbColor::toQColor(value, palette());
    const double luma = 0.299 * face.redF() + 0.587 * face.greenF() + 0.114 * face.blueF();
    setForeColor(this, luma < 0.5 ? VbColor::White : VbColor::Black);
}

void SSCommand::setBusyLook(bool busy) {
    m_busy = busy;
    setDown(busy);
    setProperty("busyLook", busy);
    update();
}

void SSCommand::enterEvent(QEnterEvent* event) {
    QPushButton::enterEvent(event);
    Q_EMIT pointerEntered();
}

void SSCommand::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    Q_EMIT pointerLeft();
}

void SSCommand::paintEvent(QPaintEvent* event) {
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRect textArea = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (!m_busy && option.fontMetrics.horizontalAdvance(text()) <= textArea.width()) {
        QPushButton::paintEvent(event);
        return;
    }
    // A caption wider than the button is wrapped onto more lines instead of being cut off.
    QStylePainter painter(this);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    QColor ink = palette().color(QPalette::ButtonText);
    if (m_busy) {
        // A pressed face in black or in the button colour looks like the idle one, so a running synchronization
        // fills the face with the highlight colour.
        const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this) + 1;
        painter.fillRect(rect().adjusted(frame, frame, -frame, -frame), palette().color(QPalette::Highlight));
        ink = palette().color(QPalette::HighlightedText);
    }
    painter.setPen(ink);
    painter.drawText(textArea, Qt::AlignCenter | Qt::TextWordWrap, text());
}
