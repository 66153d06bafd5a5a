// A 3-D check box.
#pragma once

#include <QCheckBox>

class SSCheck : public QCheckBox {
    Q_OBJECT
public:
    explicit SSCheck(const QString& caption, QWidget* parent = nullptr) : QCheckBox(caption, parent) {}
    bool isTicked() const { return isChecked(); }
};
