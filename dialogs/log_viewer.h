// The log viewer: the result log's records in file order, failures in red; it can empty the log.
#pragma once

#include <QWidget>

class ActiveResize;
class Forms;
class MList;
class QLabel;
class SSCommand;
class SSPanel;

class Tarnwick4 : public QWidget {
    Q_OBJECT
public:
    explicit Tarnwick4(Forms& forms);
    ~Tarnwick4() override;

    void MList1_Click(int index);
    void SSCommand1_Click(); // Done
    void SSCommand2_Click(); // Empty

    SSPanel* SSPanel2;     // "Sync Log"
    MList* MList1;         // one entry per record
    QLabel* Label1;        // the clicked entry's text
    SSCommand* SSCommand1; // Done
    SSCommand* SSCommand2; // Empty

protected:
    // The window's close box unloads the dialog as its own buttons do, so the next opening builds it afresh.
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createConnections();
    void Form_Load();
    void Color_Log();

    Forms& m_forms;
    ActiveResize* m_resize = nullptr;
};
