// The server selection dialog: network computers found by discovery or typed in, and the built-in Internet list.
#pragma once

#include <QWidget>

class Forms;
class MList;
class QLabel;
class QTimer;
class SSCommand;
class SSPanel;

class Tarnwick2 : public QWidget {
    Q_OBJECT
public:
    explicit Tarnwick2(Forms& forms);
    ~Tarnwick2() override;

    SSPanel* SSPanel1;
    SSPanel* SSPanel2; // "Searching"
    SSPanel* SSPanel3;
    SSPanel* SSPanel4;
    SSPanel* SSPanel5;
    QLabel* Label1;    // discovery status line
    QLabel* Label2;
    MList* MList1;     // network computers
    MList* MList2;     // Internet time servers
    SSCommand* SSCommand1;
    SSCommand* SSCommand2;
    QTimer* Timer1;

private:
    Forms& m_forms;
};
