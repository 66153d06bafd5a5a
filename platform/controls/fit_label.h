// A label whose one-line caption is drawn smaller when it is wider than the label, instead of being cut off.
#pragma once

#include <QLabel>

class FitLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // The face the caption is drawn in: the label's own font, or a smaller size of it when the caption would not
    // fit the label's width.
    QFont shownFont() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};
