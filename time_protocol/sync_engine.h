// One synchronization with an Internet time server, from the choice of road to the clock service: NTS, then SNTP,
// then the Time Protocol; the other operators' NTS servers asked beside the chosen one; the pacing of every
// server, the time limit, the threads, the clock policy with its questions. It ends in one outcome value, which
// the window shows.
#pragma once

#include "platform/tarn_base.h"
#include "time_protocol/agreement.h"
#include "time_protocol/nts.h"
#include "time_protocol/road.h"
#include "time_protocol/sample.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

class Platform;

struct SyncOutcome {
    enum class Kind { Corrected, AlreadyRight, NotSet };
    Kind kind = Kind::NotSet;
    Sample sample;                // the chosen server's answer, when one came
    Agreement::Verdict agreement; // how the other operators' servers judged it
    QString why;                  // NotSet: the status line's words
    QString road;                 // the road that gave the outcome; empty when none was taken
    QString reply;                // the Time Protocol's bytes as received, else the road's name
    QDateTime newTime;            // the server's time once its answer passed the agreement, for the tooltip
    qint64 roundTripUsec = -1;    // request to reply, without any question; -1 when no server answered
    bool clockRight() const { return kind != Kind::NotSet; }
};

class SyncEngine : public QObject {
    Q_OBJECT
public:
    explicit SyncEngine(Platform& platform);
    ~SyncEngine() override;

    // A synchronization gets this long from its start, every road and pacing wait included.
    static constexpr int kExchangeLimitMs = 10000;
    // A silent SNTP server costs no more than this.
    static constexpr int kSntpLimitMs = 3000;

    // The Time Protocol's connection is the socket of `owner`, a window: `open` connects to the host and port,
    // `close` drops the connection and gives back what it had received. The window reports its end with
    // timeProtocolReplied or giveUp.
    void setTimeProtocolSocket(const QObject* owner, std::function<void(const QString& host, int port)> open,
                               std::function<QString()> close);
    // `owner` is going: when the socket is still its own, the synchronization under way ends without an outcome,
    // since nobody is left to show it.
    void releaseTimeProtocolSocket(const QObject* owner);

    // Starts a synchronization with `host`, abandoning any under way, and returns at once; `finished` tells its
    // outcome. Only a person's lets the clock service and this program ask questions.
    void start(const QString& host, Starter starter);
    // The Time Protocol's reply, read when the server closed, and its round trip.
    void timeProtocolReplied(const QString& reply, qint64 roundTripUsec);
    // Ends the synchronization under way with `why` ("Clock not set: ..."); `reply` is what the Time Protocol
    // socket had received.
    void giveUp(const QString& reply, const QString& why);

    bool isRunning() const { return m_running; }
    // Counts the starts, so that a caller can tell whether one happened while it let events run.
    quint64 runCount() const { return m_run; }
    bool isOnTimeProtocol() const { return m_running && m_road == Road::kTimeProtocol; }
    // True from the question before a large step until the clock service has answered.
    bool isSettingClock() const { return m_settingClock; }

    // The blocking exchanges of the roads before the Time Protocol; they run off this thread. Tests put their own
    // in.
    using NtsCall = std::function<Nts::Result(const QString& host, const Nts::Options& options)>;
    using SntpCall = std::function<Sample(const QString& host, quint16 port, int limitMs)>;
    void setNtsCall(NtsCall call) { m_ntsCall = std::move(call); }
    void setSntpCall(SntpCall call) { m_sntpCall = std::move(call); }
    void setSntpPort(quint16 port) { m_sntpPort = port; }
    quint16 sntpPort() const { return m_sntpPort; }
    const Nts::Options& ntsOptions() const { return m_ntsOptions; }
    // The Time Protocol's remote port (37).
    void setTimePort(int port) { m_timePort = port; }
    int timePort() const { return m_timePort; }
    void setQueryGapMs(int ms) { m_queryGapMs = ms; }
    // The other servers asked beside the chosen one instead of the built-in ones; an empty list asks none.
    void setWitnesses(const std::optional<QStringList>& hosts) { m_witnessSeam = hosts; }
    void setExchangeLimitMs(int ms) { m_limitMs = ms; }

Q_SIGNALS:
    void finished(const SyncOutcome& outcome);

private:
    // After the server's pacing wait, the exchange of that road.
    void take(Road::Next road);
    void startPaced();
    // Asks `host` by NTS on a kept thread; `answered` gets the result back on this thread.
    void askNts(const QString& host, void (SyncEngine::*answered)(quint64, const Nts::Result&));
    void startSntp();
    void ntsAnswered(quint64 run, const Nts::Result& result);
    void sntpAnswered(quint64 run, const Sample& sample);
    void startWitnesses();
    void witnessAnswered(quint64 run, const Nts::Result& result);
    // Runs `work` on a kept thread and `done` back on this object's thread when it ends.
    void runOffThread(std::function<void()> work, std::function<void()> done);
    bool isCurrent(quint64 run) const { return m_running && run == m_run; }
    // How long until `key` may be asked again, and that time taken for it.
    qint64 reserveQuery(const QString& key);
    Road::Listed listed() const;
    // True when the host completed a key exchange in this run or is in the file of hosts that offer NTS.
    bool remembered() const;
    // Puts a host whose key exchange port spoke TLS into that file; for a host in it, the words that say how to
    // forget it, else empty.
    QString rememberOffer(const Nts::Result& result);
    // Holds an answer of the chosen server until the others have answered or the limit is reached.
    void useSample(const Sample& sample, const QString& reply);
    void releaseHeld();
    // The agreement, the guards, then the clock service.
    void judgeSample(const Sample& sample, const QString& reply);
    // Ends the run under way: no timer, no held answer, no road waiting.
    void stop();
    void end(SyncOutcome outcome);

    Platform& m_platform;
    Nts::Client m_nts; // the keys and cookies of every host, used by the worker threads
    Nts::Options m_ntsOptions;
    quint16 m_sntpPort = 123;
    int m_timePort = 37;
    NtsCall m_ntsCall;
    SntpCall m_sntpCall;
    std::function<void(const QString&, int)> m_openTimeProtocol;
    std::function<QString()> m_closeTimeProtocol;
    const QObject* m_socketOwner = nullptr;
    std::optional<QStringList> m_witnessSeam;
    int m_queryGapMs = Road::kQueryGapMs;
    int m_limitMs = kExchangeLimitMs;

    QString m_host;
    bool m_userStarted = true;
    bool m_running = false;
    bool m_settingClock = false;
    quint64 m_run = 0; // counts the starts, so a late answer of an abandoned run is recognised
    QString m_road;
    qint64 m_roundTripUsec = -1;
    QElapsedTimer m_started;
    QTimer m_limit;    // gives up a run that never ends
    QTimer m_paceWait; // holds a road back until its server may be asked again
    std::function<void()> m_pacedStart;
    QElapsedTimer m_monotonic;
    QHash<QString, qint64> m_lastQueryAt; // by host, port and road, on m_monotonic
    QThreadPool m_workers;

    int m_witnessesAsked = 0;
    int m_witnessesPending = 0;
    QList<Sample> m_witnessAnswers; // those that came back ok
    bool m_holding = false;
    Sample m_heldSample;
    QString m_heldReply;
};
