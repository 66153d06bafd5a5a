// The schedule dialog: a calendar and the 96 quarter-hours of the day.
#pragma once

#include <QWidget>

class ActiveResize;
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

    void MList1_Click(int index);
    void MonthView2_DateClick();
    void SSCommand1_Click(); // Done
    void SSCommand2_Click(); // Cancel

    SSPanel* SSPanel1;     // "Select Date and Time"
    SSPanel* SSPanel2;     // "Schedule when to Sync Next"
    MonthView* MonthView2; // the date
    QLabel* Label3;        // "Next At"
    QLabel* Label1;        // chosen time of day
    MList* MList1;         // the 96 times of day
    SSCommand* SSCommand1; // Done
    SSCommand* SSCommand2; // Cancel

protected:
    // The window's close box unloads the dialog as its own buttons do, so the next opening builds it afresh.
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createConnections();
    void Fill_Times();

    Forms& m_forms;
    ActiveResize* m_resize = nullptr;
};
