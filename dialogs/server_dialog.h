// The server selection dialog: network computers found by discovery or typed in, and the built-in Internet list.
#pragma once

#include <QWidget>

class ActiveResize;
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

    void Timer1_Timer(); // starts discovery once, half a second after load
    void MList1_Click(int index);
    void MList2_Click(int index);
    void SSCommand1_Click(); // Cancel
    void SSCommand2_Click(); // Add Manually To List

    SSPanel* SSPanel1;     // hint under the network list
    SSPanel* SSPanel2;     // "Searching"
    SSPanel* SSPanel3;     // frame of Label1
    SSPanel* SSPanel4;     // frame of Label2
    SSPanel* SSPanel5;     // hint under the Internet list
    QLabel* Label1;        // discovery status line
    QLabel* Label2;        // "List of Internet Time Servers"
    MList* MList1;         // network computers
    MList* MList2;         // Internet time servers
    SSCommand* SSCommand1; // Cancel
    SSCommand* SSCommand2; // Add Manually To List
    QTimer* Timer1;

protected:
    // The window's close box unloads the dialog as its own buttons do, so the next opening builds it afresh.
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createConnections();
    void Form_Load();
    void choose(const QString& source);

    Forms& m_forms;
    ActiveResize* m_resize = nullptr;
};
