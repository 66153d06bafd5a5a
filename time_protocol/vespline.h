// The Time Protocol window: asks an Internet time server over TCP port 37 and sets the clock from its reply.
#pragma once

#include <QWidget>

class Forms;
class QComboBox;
class QLabel;
class QPushButton;
class Winsock;

class Vespline : public QWidget {
    Q_OBJECT
public:
    explicit Vespline(Forms& forms);
    ~Vespline() override;

    // Starts one synchronization with the server in cboURL and returns at once.
    void cmdSync_Click();
    void cmdQuit_Click();

    QLabel* Label1;
    QComboBox* cboURL;
    QPushButton* cmdSync;
    QPushButton* cmdQuit;
    ::Winsock* Winsock; // the connection to the time server

private:
    Forms& m_forms;
};
