// The Time Protocol window: asks an Internet time server over TCP port 37 and sets the clock from its reply.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QTimer>
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

    // The socket's events.
    void Winsock_Connect();
    void Winsock_DataArrival(qint64 bytesTotal);
    void Winsock_Close();
    void Winsock_Error(int number, const QString& description);

    // Converts the reply, sets the clock and stores "SUCESS" or "FAILED" in SyncResult.
    void SetClock(const QString& reply);

    // An exchange gets this long from its start before it is given up as "FAILED".
    static constexpr int kExchangeLimitMs = 10000;
    // Time servers refuse clients that ask the same server more often than this.
    static constexpr int kQueryGapMs = 4000;

    // The remote port (37); tests point it at a server of their own.
    void setTimePort(int port) { m_port = port; }
    int timePort() const { return m_port; }
    void setQueryGapMs(int ms) { m_queryGapMs = ms; }
    void setExchangeLimitMs(int ms) { m_exchangeLimitMs = ms; }
    // True from cmdSync_Click until a result is stored.
    bool isExchanging() const { return m_exchanging; }
    // Plain words saying why the clock was not set by the last synchronization; empty when it was.
    QString lastRefusal() const { return m_clockSet ? QString() : m_lastOutcome; }
    // What the last synchronization did, for the status line: the correction applied or why there was none.
    const QString& lastOutcome() const { return m_lastOutcome; }
    // True while the clock service has the correction and has not answered yet.
    bool isSettingClock() const { return m_settingClock; }
    // A person started this synchronization (SYNC NOW clicked, the window's own button), so the clock service
    // and this program may ask questions; a timer's synchronization never asks.
    void setUserStarted(bool userStarted) { m_userStarted = userStarted; }

    QLabel* Label1;
    QComboBox* cboURL;
    QPushButton* cmdSync;
    QPushButton* cmdQuit;
    ::Winsock* Winsock; // the connection to the time server

    QString Received; // the reply so far, one character per byte
    double Delay = 0; // half the connect-to-close time, in seconds

private:
    void Form_Load();
    void connectToServer();
    // The failure path: "FAILED", the clock untouched, the tooltip written, `why` kept for the status line.
    void fail(const QString& reply, const QString& why);
    // Hands the correction to the clock service; with automatic time synchronization on, a person is asked
    // whether to switch it off and the same correction is sent again. Empty when set, else why not.
    QString applyCorrection(qint64 usec);
    void finish(const QString& result, const QString& reply, const QDateTime& newTime);

    Forms& m_forms;
    int m_port = 37;
    int m_queryGapMs = kQueryGapMs;
    int m_exchangeLimitMs = kExchangeLimitMs;
    bool m_exchanging = false;
    quint64 m_exchange = 0; // counts the starts, so a late event of an abandoned exchange is recognised
    QDateTime m_connectedAt;
    QString m_lastOutcome;
    bool m_clockSet = false; // the last outcome is a correction applied, not a reason
    bool m_userStarted = true;
    bool m_settingClock = false;
    QString m_pendingKey; // host and port of the exchange under way
    QTimer m_limit;       // gives up an exchange that never ends
    QTimer m_paceWait;    // holds a connection back until the server may be asked again
    QElapsedTimer m_monotonic;
    QHash<QString, qint64> m_lastQueryAt; // by host and port, on m_monotonic
};
