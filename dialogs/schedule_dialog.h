// The schedule dialog: a calendar and the 96 quarter-hours of the day.
#pragma once

#include <QWidget>

class Forms;
class MList;
class MonthView;
class QLabel;
class SSCommand;
class SSPanel;

class Tarnwick3 : public QWidget {
    Q_OBJECT
public:
    explicit Tarnwick3(Forms& forms);
    ~Tarnwick3() override;

    // Selects the entry of the time list whose first two characters match Label1's.
    void Make_Time();

    SSPanel* SSPanel1;
    SSPanel* SSPanel2;
    MonthView* MonthView2;
    QLabel* Label3; // "Next At"
    QLabel* Label1; // chosen time of day
    MList* MList1;  // the 96 times of day
    SSCommand* SSCommand1; // Done
    SSCommand* SSCommand2; // Cancel

private:
    Forms& m_forms;
};
