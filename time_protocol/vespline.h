// The Time Protocol window: synchronizes the clock with an Internet time server by NTS, then SNTP, then the Time
// Protocol on TCP port 37.
#pragma once

#include "platform/tarn_base.h"
#include "time_protocol/agreement.h"
#include "time_protocol/sync_engine.h"

#include <QString>
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

    // Starts one synchronization with the server in cboURL and returns at once. Only a person's lets the clock
    // service and this program ask questions; a timer's never asks.
    void cmdSync_Click(Starter starter = Starter::Person);
    void cmdQuit_Click();

    // The socket's events.
    void Winsock_Connect();
    void Winsock_DataArrival(qint64 bytesTotal);
    void Winsock_Close();
    void Winsock_Error(int number, const QString& description);

    // Hands the reply and its transit time to the engine, which converts it and sets the clock; its outcome
    // stores "SUCESS" or "FAILED" in SyncResult.
    void SetClock(const QString& reply);

    // Runs the synchronization; tests put their seams in here.
    SyncEngine& engine() { return m_engine; }
    // The server's response time of the last synchronization: request to reply on the monotonic clock, without
    // any question or password prompt; -1 when no server answered.
    qint64 lastRoundTripMs() const { return m_outcome.roundTripUsec < 0 ? -1 : (m_outcome.roundTripUsec + 500) / 1000; }
    // The road that gave the last outcome ("NTS", "SNTP" or "Time Protocol"); empty before the first.
    const QString& lastRoad() const { return m_outcome.road; }
    // True from cmdSync_Click until a result is stored.
    bool isExchanging() const { return m_engine.isRunning(); }
    // Plain words saying why the clock was not set by the last synchronization; empty when it was.
    QString lastRefusal() const { return m_outcome.clockRight() ? QString() : m_lastOutcome; }
    // What the last synchronization did, for the status line: the correction applied or why there was none.
    const QString& lastOutcome() const { return m_lastOutcome; }
    // True from the question before a large step until the clock service has answered: a person or a password
    // prompt may take minutes.
    bool isSettingClock() const { return m_engine.isSettingClock(); }
    // How the other operators' NTS servers judged the chosen server's answer in the last synchronization.
    const Agreement::Verdict& lastAgreement() const { return m_outcome.agreement; }

    QLabel* Label1;
    QComboBox* cboURL;
    QPushButton* cmdSync;
    QPushButton* cmdQuit;
    ::Winsock* Winsock; // the connection to the time server

    QString Received; // the reply so far, one character per byte
    double Delay = 0; // half the connect-to-close time, in seconds

private:
    void Form_Load();
    void connectToServer(const QString& host, int port);
    // Shows the outcome: "SUCESS" or "FAILED" in SyncResult, the status line's words, the time of the last
    // synchronization and the tooltip.
    void finish(const SyncOutcome& outcome);

    Forms& m_forms;
    SyncEngine& m_engine;
    SyncOutcome m_outcome;
    QString m_lastOutcome;
    qint32 m_connectStartTick = 0; // the tick count when the Time Protocol connection was started
    qint64 m_transitUsec = 0;      // connection start to close
};
