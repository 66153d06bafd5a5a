// A month calendar with a settable and readable date and a date-click event.
#pragma once

#include <QCalendarWidget>

class MonthView : public QCalendarWidget {
    Q_OBJECT
public:
    explicit MonthView(QWidget* parent = nullptr) : QCalendarWidget(parent) {
        setGridVisible(true);
        connect(this, &QCalendarWidget::clicked, this, &MonthView::dateClick);
    }
    QDate value() const { return selectedDate(); }
    void setValue(const QDate& date) { setSelectedDate(date); }

Q_SIGNALS:
    void dateClick(const QDate& date);
};
