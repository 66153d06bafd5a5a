// A list with a colour per entry that reports clicks by index.
#pragma once

#include <QListWidget>

class MList : public QListWidget {
    Q_OBJECT
public:
    explicit MList(QWidget* parent = nullptr);

    // The entry is shown with the characters that could break its line or turn its direction as "?"; its text
    // stays as given.
    void addEntry(const QString& text);
    void addEntries(const QStringList& texts);
    int entryCount() const { return count(); }
    QString entryText(int index) const;
    // The entry colour (0x00BBGGRR) paints the entry's text.
    void setEntryColor(int index, quint32 value);
    bool hasEntryColor(int index) const;
    quint32 entryColor(int index) const;
    // The current index, -1 when no entry is current.
    int listIndex() const { return currentRow(); }
    void setListIndex(int index) { setCurrentRow(index); }

Q_SIGNALS:
    // A click on an entry; not raised for a click that leaves no entry current.
    void entryClicked(int index);
};
