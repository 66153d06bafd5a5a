// The Time Protocol window: synchronizes the clock with an Internet time server by NTS, then SNTP, then the Time
// Protocol on TCP port 37.
#pragma once

#include "platform/tarn_base.h"
#include "time_protocol/agreement.h"
#include "time_protocol/nts.h"
#include "time_protocol/road.h"
#include "time_protocol/sample.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>

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

    // Converts the reply, sets the clock and stores "SUCESS" or "FAILED" in SyncResult.
    void SetClock(const QString& reply);

    // A synchronization gets this long from its start, every road and pacing wait included, before it is given
    // up as "FAILED".
    static constexpr int kExchangeLimitMs = 10000;
    // A silent SNTP server costs no more than this.
    static constexpr int kSntpLimitMs = 3000;

    // The blocking exchanges of the roads before the Time Protocol; they run off this window's thread. Tests
    // put their own in.
    using NtsCall = std::function<Nts::Result(const QString& host, const Nts::Options& options)>;
    using SntpCall = std::function<Sample(const QString& host, quint16 port, int limitMs)>;
    void setNtsCall(NtsCall call) { m_ntsCall = std::move(call); }
    void setSntpCall(SntpCall call) { m_sntpCall = std::move(call); }
    void setSntpPort(quint16 port) { m_sntpPort = port; }
    quint16 sntpPort() const { return m_sntpPort; }
    const Nts::Options& ntsOptions() const { return m_ntsOptions; }
    // The server's response time of the last synchronization: request to reply on the monotonic clock, without
    // any question or password prompt; -1 when no server answered.
    qint64 lastRoundTripMs() const { return m_roundTripUsec < 0 ? -1 : (m_roundTripUsec + 500) / 1000; }
    // The road that gave the last outcome ("NTS", "SNTP" or "Time Protocol"); empty before the first.
    const QString& lastRoad() const { return m_road; }
    // The remote port (37); tests point it at a server of their own.
    void setTimePort(int port) { m_port = port; }
    int timePort() const { return m_port; }
    void setQueryGapMs(int ms) { m_queryGapMs = ms; }
    // The other servers asked beside the chosen one instead of the built-in ones ($HORAVANE_WITNESSES); an
    // empty list asks none.
    void setWitnesses(const std::optional<QStringList>& hosts) { m_witnessSeam = hosts; }
    void setExchangeLimitMs(int ms) { m_exchangeLimitMs = ms; }
    // True from cmdSync_Click until a result is stored.
    bool isExchanging() const { return m_exchanging; }
    // Plain words saying why the clock was not set by the last synchronization; empty when it was.
    QString lastRefusal() const { return m_clockSet ? QString() : m_lastOutcome; }
    // What the last synchronization did, for the status line: the correction applied or why there was none.
    const QString& lastOutcome() const { return m_lastOutcome; }
    // True while the clock service has the correction and has not answered yet.
    bool isSettingClock() const { return m_settingClock; }
    // How the other operators' NTS servers judged the chosen server's answer in the last synchronization.
    const Agreement::Verdict& lastAgreement() const { return m_agreement; }

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
    // Takes the road: after the server's pacing wait, the exchange of that road.
    void take(Road::Next road);
    void startPaced();
    void startNts();
    void startSntp();
    void ntsAnswered(quint64 exchange, const Nts::Result& result);
    void sntpAnswered(quint64 exchange, const Sample& sample);
    // Runs `work` on a thread of its own and `done` back on this window's thread when it ends.
    void runOffThread(std::function<void()> work, std::function<void()> done);
    // True while `exchange` is the synchronization under way.
    bool isCurrent(quint64 exchange) const { return m_exchanging && exchange == m_exchange; }
    bool isOnTimeProtocol() const { return m_exchanging && m_road == Road::kTimeProtocol; }
    Road::Listed listed() const;
    // True when the host completed a key exchange in this run or is in the file of hosts that offer NTS.
    bool remembered() const;
    // Puts a host whose key exchange port spoke TLS into that file; for a host in it, the words that say how to
    // forget it, else empty.
    QString rememberOffer(const Nts::Result& result);
    // Asks the other operators' NTS servers, each on a thread of its own, beside the chosen one.
    void startWitnesses();
    void witnessAnswered(quint64 exchange, const Nts::Result& result);
    // Holds an answer of the chosen server until the others have answered or the limit is reached.
    void useSample(const Sample& sample, const QString& reply);
    void releaseHeld();
    // The agreement, the guards, then the clock service, for the sample of any road; `reply` goes into the
    // tooltip.
    void judgeSample(const Sample& sample, const QString& reply);
    // The failure path: "FAILED", the clock untouched, the tooltip written, `why` kept for the status line.
    void fail(const QString& reply, const QString& why);
    // Hands the correction to the clock service; with automatic time synchronization on, a person is asked
    // whether to switch it off and the same correction is sent again. Empty when set, else why not.
    QString applyCorrection(qint64 usec);
    void finish(const QString& result, const QString& reply, const QDateTime& newTime);

    Forms& m_forms;
    int m_port = 37;
    Nts::Options m_ntsOptions;
    quint16 m_sntpPort = 123;
    NtsCall m_ntsCall;
    SntpCall m_sntpCall;
    QString m_host;                // the server of the synchronization under way
    QString m_road;                // the road of the last outcome
    qint64 m_roundTripUsec = -1;   // of the last reply
    qint32 m_connectStartTick = 0; // the tick count when the Time Protocol connection was started
    QElapsedTimer m_started;       // since the synchronization began, for the limits of the later roads
    std::function<void()> m_pacedStart;
    QThreadPool m_workers;
    int m_queryGapMs = Road::kQueryGapMs;
    int m_exchangeLimitMs = kExchangeLimitMs;
    bool m_exchanging = false;
    quint64 m_exchange = 0; // counts the starts, so a late event of an abandoned exchange is recognised
    QString m_lastOutcome;
    bool m_clockSet = false; // the last outcome is a correction applied, not a reason
    bool m_userStarted = true;
    bool m_settingClock = false;
    QString m_pendingKey; // host and port of the exchange under way
    QTimer m_limit;       // gives up an exchange that never ends
    QTimer m_paceWait;    // holds a connection back until the server may be asked again
    QElapsedTimer m_monotonic;
    QHash<QString, qint64> m_lastQueryAt;     // by host and port, on m_monotonic
    std::optional<QStringList> m_witnessSeam; // HORAVANE_WITNESSES: asked instead of the built-in servers
    int m_witnessesAsked = 0;
    int m_witnessesPending = 0;
    QList<Sample> m_witnessAnswers; // those that came back ok
    bool m_holding = false;         // an answer of the chosen server waits for the others
    Sample m_heldSample;
    QString m_heldReply;
    Agreement::Verdict m_agreement;
};
