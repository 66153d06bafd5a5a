// A 3-D push button with a background colour, a busy look and pointer enter and leave events.
#pragma once

#include <QPushButton>

class SSCommand : public QPushButton {
    Q_OBJECT
public:
    explicit SSCommand(const QString& caption, QWidget* parent = nullptr);

    void setBackColor(quint32 value);
    quint32 backColor() const { return m_backColor; }
    // The busy look (the display property the design sets to 3 while a synchronization runs, and to 0 after): the
    // button is down and its face takes the highlight colour.
    void setBusyLook(bool busy);
    bool busyLook() const { return m_busy; }

Q_SIGNALS:
    void pointerEntered();
    void pointerLeft();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    quint32 m_backColor = 0x8000000F;
    bool m_busy = false;
};
