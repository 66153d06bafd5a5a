// Clicks on a list entry the way the user does, for window tests.
#pragma once

#include <QListWidget>
#include <QTest>

inline void clickEntry(QListWidget* list, int index) {
    QListWidgetItem* item = list->item(index);
    QVERIFY(item);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}
