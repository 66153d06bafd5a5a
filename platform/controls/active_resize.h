// Places elements at their design positions in twips and scales every element and its font with the window.
#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>

class QWidget;

// Twips to pixels: 15 twips are one pixel at 96 dpi, scaled by the screen's logical dpi.
int twipsToPixels(int twips, const QWidget* widget = nullptr);
// Places an element at a design position in twips without scaling.
void placeTwips(QWidget* widget, int left, int top, int width, int height);

class ActiveResize : public QObject {
    Q_OBJECT
public:
    // `designClient` is the form's client area at design size, in twips.
    ActiveResize(QWidget* form, QSize designClient);

    // Records the element's design position (twips, relative to its container) and places it.
    void place(QWidget* widget, int left, int top, int width, int height);
    // Scales every recorded element to the form's current size.
    void apply();
    QSize designPixels() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Design {
        QPointer<QWidget> widget;
        QRect twips;
        qreal pointSize;
    };
    QWidget* m_form;
    QSize m_designClient;
    QList<Design> m_elements;
};
