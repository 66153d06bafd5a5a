// The list with a colour per entry.
#include "platform/controls/mlist.h"

#include "platform/controls/vb_color.h"

namespace {
constexpr int kColorRole = Qt::UserRole + 1;
}

MList::MList(QWidget* parent) : QListWidget(parent) {
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int index = row(item);
        if (index >= 0)
            Q_EMIT entryClicked(index);
    });
}

void MList::addEntry(const QString& text) {
    addItem(text);
}

QString MList::entryText(int index) const {
    const QListWidgetItem* it = item(index);
    return it ? it->text() : QString();
}

void MList::setEntryColor(int index, quint32 value) {
    QListWidgetItem* it = item(index);
    if (!it)
        return;
    it->setData(kColorRole, QVariant::fromValue(value));
    it->setForeground(VbColor::toQColor(value, palette()));
}

bool MList::hasEntryColor(int index) const {
    const QListWidgetItem* it = item(index);
    return it && it->data(kColorRole).isValid();
}

quint32 MList::entryColor(int index) const {
    const QListWidgetItem* it = item(index);
    return it ? it->data(kColorRole).value<quint32>() : 0;
}
