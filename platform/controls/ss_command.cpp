// The 3-D push button.
#include "platform/controls/ss_command.h"

#include "platform/controls/vb_color.h"

#include <QEnterEvent>

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
}

void SSCommand::enterEvent(QEnterEvent* event) {
    QPushButton::enterEvent(event);
    Q_EMIT pointerEntered();
}

void SSCommand::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    Q_EMIT pointerLeft();
}
