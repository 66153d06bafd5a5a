// The list with a colour per entry.
#include "platform/controls/mlist.h"

#include "platform/controls/vb_color.h"
#include "platform/shown_text.h"

namespace {
constexpr int kColorRole = Qt::UserRole + 1;
constexpr int kTextRole = Qt::UserRole + 2; // the text as given, when it is not shown as it is
} // namespace

MList::MList(QWidget* parent) : QListWidget(parent) {
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int index = row(item);
        if (index >= 0)
            Q_EMIT entryClicked(index);
    });
}

void MList::addEntry(const QString& text) {
    addEntries({text});
}

void MList::addEntries(const QStringList& texts) {
    // One insertion for all of them: a long log fills the viewer in one step.
    const int first = count();
    QStringList shown;
    shown.reserve(texts.size());
    for (const QString& text : texts)
        shown << ShownText::safe(text);
    addItems(shown);
    for (int i = 0; i < texts.size(); ++i) {
        if (shown.at(i) != texts.at(i))
            item(first + i)->setData(kTextRole, texts.at(i));
    }
}

QString MList::entryText(int index) const {
    const QListWidgetItem* it = item(index);
    if (!it)
        return QString();
    const QVariant given = it->data(kTextRole);
    return given.isValid() ? given.toString() : it->text();
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
