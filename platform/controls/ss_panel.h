// A 3-D panel with a caption, a background colour, a busy look and a click event; it may hold other elements.
#pragma once

#include <QFrame>

class SSPanel : public QFrame {
    Q_OBJECT
public:
    explicit SSPanel(const QString& caption, QWidget* parent = nullptr);

    // Kept and shown with the characters that could break its line or turn its direction as "?".
    void setCaption(const QString& caption);
    const QString& caption() const { return m_caption; }
    // The caption also as the tooltip, from now on.
    void setCaptionAsToolTip(bool on);
    // Where the caption stands: centred (a status line) or at the top (a frame that holds labels).
    void setCaptionAlignment(Qt::Alignment alignment);
    void setBackColor(quint32 value);
    quint32 backColor() const { return m_backColor; }
    void setBusyLook(bool busy);
    bool busyLook() const { return m_busy; }
    // The display property the response-time line sets to 12 before it shows the time.
    void setDisplayStyle(int style);
    int displayStyle() const { return m_displayStyle; }
    // The face the caption is drawn in: the panel's font, or a smaller size of it when the caption would not fit.
    QFont shownFont() const;

Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRect captionRect() const;

    QString m_caption;
    bool m_captionAsToolTip = false;
    Qt::Alignment m_alignment = Qt::AlignCenter;
    quint32 m_backColor = 0x8000000F;
    bool m_busy = false;
    int m_displayStyle = 0;
};
