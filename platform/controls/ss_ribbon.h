// A 3-D picture element with no behaviour.
#pragma once

#include <QLabel>

class SSRibbon : public QLabel {
    Q_OBJECT
public:
    explicit SSRibbon(QWidget* parent = nullptr) : QLabel(parent) {
        setFrameStyle(QFrame::Panel | QFrame::Raised);
        setScaledContents(true);
    }
};
