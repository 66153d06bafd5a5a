// The hidden worker window: runs "net time" and "net view" through the command file, and its result step closes
// every synchronization.
#pragma once

#include "platform/tarn_base.h"

#include <QWidget>
#include <array>

class Forms;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTimer;

class Tarnwick : public QWidget {
    Q_OBJECT
public:
    explicit Tarnwick(Forms& forms);
    ~Tarnwick() override;

    void Command1_Click(Starter starter = Starter::Person); // runs "net time" for the name in Text4
    void Command2_Click();                                  // re-reads the status file into Text2
    void Command3_Click();                                  // starts discovery
    void Timer1_Timer();                                    // clock
    void Timer3_Timer();                                    // the result step
    void Timer4_Timer();                                    // discovery completion
    void List1_Click();                                     // copies the trimmed entry into Text4
    // True from a network run's start until its result step has run.
    bool isNetworkRunUnderWay() const { return m_networkRun; }

    QLabel* Label1; // clock
    QLabel* Label2;
    std::array<QLabel*, 2> Label3; // "Current at start up"; "Time Server Name"
    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* Command3;
    QLineEdit* Text4;      // server name
    QPlainTextEdit* Text1; // output of the last run
    QPlainTextEdit* Text2; // status file at load or last refresh
    QPlainTextEdit* Text3; // raw discovery output
    QListWidget* List1;    // computers found
    QTimer* Timer1;
    QTimer* Timer3; // one-shot result step, armed with 2000 or 100 ms
    QTimer* Timer4; // one-shot discovery completion

    // Text1 keeps only its last 64 KB: every Internet result adds to it and only a network run clears it.
    static constexpr int kText1MaxChars = 64 * 1024;
    // Text3 shows the last 64 KB of a discovery's output, so a large network keeps the completion step quick.
    static constexpr int kText3MaxChars = 64 * 1024;

    // The result step and discovery's completion wait at most this long for a command still running, and longer
    // only while a run's correction is with the clock service.
    static constexpr int kCommandWaitMs = 10000;
    // Discovery's completion then waits up to this much longer for a listing still running: "net view" ends by itself
    // after its browse and resolve limits, but a slow machine takes longer over a large network.
    static constexpr int kListingExtraWaitMs = 50000;
    // How long a network run gives the started command before the result step reads its status file.
    static constexpr int kResultStepMs = 2000;
    void setResultStepMs(int ms) { m_resultStepMs = ms; }

private:
    void createControls();
    void arrangeControls();
    void createConnections();
    // Waits for the started commands: kCommandWaitMs, and then, while the status file says a run's correction is
    // with the clock service, as long as that call may take.
    void waitForRuns();

    Forms& m_forms;
    int m_resultStepMs = kResultStepMs;
    // The run whose result the next result step reads: a network run (and who started it, and why nothing was
    // started), or none for an Internet result.
    bool m_networkRun = false;
    bool m_runUserStarted = true;
    QString m_runRefused;
};
