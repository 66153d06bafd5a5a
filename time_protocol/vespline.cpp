// The Time Protocol window.
#include "time_protocol/vespline.h"

#include "app/forms.h"
#include "app/main_window.h"
#include "data/server_lists.h"
#include "platform/clock_service.h"
#include "platform/controls/ss_panel.h"
#include "platform/controls/winsock.h"
#include "platform/date_text.h"
#include "platform/events.h"
#include "platform/platform.h"
#include "time_protocol/clock_guard.h"
#include "time_protocol/nts_memory.h"
#include "time_protocol/port_setting.h"
#include "time_protocol/sntp_exchange.h"
#include "time_protocol/status_words.h"
#include "time_protocol/time_reply.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHostAddress>
#include <QHostInfo>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <memory>
#include <utility>

namespace {
const QString kSuccess = QStringLiteral("SUCESS");
const QString kFailed = QStringLiteral("FAILED");

// The test seams of the environment, read once: the key exchange and NTP ports, the CA file, the Time
// Protocol port.
struct Ports {
    Nts::Options nts;
    int timePort = 37;
    std::optional<QStringList> witnesses;
};
const Ports& environmentPorts() {
    static const Ports ports = [] {
        Ports read;
        read.nts = Nts::Options::fromEnvironment();
        read.timePort = PortSetting::fromEnvironment("HORAVANE_TIME_PORT", 37);
        // Set but empty: no other server is asked.
        if (qEnvironmentVariableIsSet("HORAVANE_WITNESSES"))
            read.witnesses = qEnvironmentVariable("HORAVANE_WITNESSES").split(QLatin1Char(','), Qt::SkipEmptyParts);
        return read;
    }();
    return ports;
}

// SNTP with a host name, on a thread of its own: the lookup may block.
Sample sntpWithHost(const Platform& platform, const QString& host, quint16 port, int limitMs) {
    QElapsedTimer spent;
    spent.start();
    QHostAddress address(host);
    if (address.isNull()) {
        const QHostInfo info = QHostInfo::fromName(host);
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
            Sample unknown;
            unknown.road = Road::kSntp;
            unknown.why = QStringLiteral("SNTP: the name is not known (") + info.errorString() + QLatin1Char(')');
            return unknown;
        }
        address = info.addresses().first();
    }
    const int left = static_cast<int>(std::max<qint64>(0, limitMs - spent.elapsed()));
    return Sntp::exchange(address, port, left, [&platform] { return platform.nowUsec(); });
}
} // namespace

Vespline::Vespline(Forms& forms)
    : QWidget(nullptr), m_forms(forms), m_port(environmentPorts().timePort), m_ntsOptions(environmentPorts().nts),
      m_sntpPort(environmentPorts().nts.ntpPort),
      m_ntsCall([client = forms.ntsClient()](const QString& host, const Nts::Options& options) {
          return client->synchronize(host, options);
      }),
      m_sntpCall([&platform = forms.platform()](const QString& host, quint16 port, int limitMs) {
          return sntpWithHost(platform, host, port, limitMs);
      }),
      m_witnessSeam(environmentPorts().witnesses) {
    m_ntsOptions.clock = [&platform = forms.platform()] { return platform.nowUsec(); };
    setObjectName(QStringLiteral("Vespline"));
    setWindowTitle(QStringLiteral("Synchronize Your Clock"));
    const QFont arial(QStringLiteral("Arial"), 10);
    Label1 = new QLabel(QStringLiteral("Server to Synchronize to:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    cboURL = new QComboBox(this);
    cboURL->setObjectName(QStringLiteral("cboURL"));
    cboURL->setEditable(true);
    cboURL->setInsertPolicy(QComboBox::NoInsert);
    cboURL->setFont(arial);
    cmdSync = new QPushButton(QStringLiteral("&Synch"), this);
    cmdSync->setObjectName(QStringLiteral("cmdSync"));
    cmdSync->setFont(arial);
    cmdQuit = new QPushButton(QStringLiteral("&Quit"), this);
    cmdQuit->setObjectName(QStringLiteral("cmdQuit"));
    cmdQuit->setFont(arial);
    Winsock = new ::Winsock(this);
    Winsock->setObjectName(QStringLiteral("Winsock"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0, 1, 2);
    grid->addWidget(cboURL, 1, 0, 1, 2);
    grid->addWidget(cmdSync, 2, 0);
    grid->addWidget(cmdQuit, 2, 1);

    m_limit.setSingleShot(true);
    m_limit.setTimerType(Qt::PreciseTimer); // a coarse timer may fire 5% early
    m_paceWait.setSingleShot(true);
    m_monotonic.start();
    // Room for the four servers of one synchronization and the blocked exchanges of abandoned ones: a task that
    // had to queue would lose its time.
    m_workers.setMaxThreadCount(32);

    connect(cmdSync, &QPushButton::clicked, this, [this] { cmdSync_Click(Starter::Person); });
    connect(cmdQuit, &QPushButton::clicked, this, &Vespline::cmdQuit_Click);
    connect(Winsock, &::Winsock::connected, this, &Vespline::Winsock_Connect);
    connect(Winsock, &::Winsock::dataArrival, this, &Vespline::Winsock_DataArrival);
    connect(Winsock, &::Winsock::closed, this, &Vespline::Winsock_Close);
    connect(Winsock, &::Winsock::error, this, &Vespline::Winsock_Error);
    connect(&m_limit, &QTimer::timeout, this, [this] {
        // The chosen server answered in time: the others that have not are left out.
        if (m_holding) {
            releaseHeld();
            return;
        }
        Winsock->Close();
        fail(Received, QStringLiteral("Clock not set: the time server did not answer in time"));
    });
    connect(&m_paceWait, &QTimer::timeout, this, &Vespline::startPaced);

    Form_Load();
}

Vespline::~Vespline() {
    // An exchange off the thread is bounded by its own limits; its result has nowhere to go now.
    m_workers.waitForDone();
}

void Vespline::Form_Load() {
    for (const QString& server : ServerLists::timeProtocolServers())
        cboURL->addItem(server);
    cboURL->setCurrentIndex(0);
}

void Vespline::cmdSync_Click(Starter starter) {
    m_userStarted = starter == Starter::Person;
    m_forms.tarnwick1().Label7->setText(QStringLiteral("UPDATING"));
    // A new start abandons whatever exchange is under way; a late answer of it is recognised by m_exchange.
    Winsock->Close();
    m_paceWait.stop();
    m_pacedStart = nullptr;
    Received.clear();
    m_lastOutcome.clear();
    m_road.clear();
    m_roundTripUsec = -1;
    m_clockSet = false;
    m_holding = false;
    m_agreement = {};
    m_host = cboURL->currentText();
    m_exchanging = true;
    ++m_exchange;
    m_started.start();
    m_limit.start(m_exchangeLimitMs);
    // The chosen server first: the others' threads would only delay its request.
    take(Road::first(listed(), remembered()));
    startWitnesses();
}

void Vespline::startWitnesses() {
    m_witnessesAsked = 0;
    m_witnessesPending = 0;
    m_witnessAnswers.clear();
    const QString chosen = m_host.trimmed().toLower();
    const quint64 exchange = m_exchange;
    for (const QString& listedHost : m_witnessSeam.value_or(ServerLists::ntsWitnesses(m_host))) {
        const QString host = listedHost.trimmed();
        if (host.toLower() == chosen)
            continue;
        // Keyed as the chosen server's NTS road is. One asked within the gap waits for its end, as the chosen
        // server does, so that a quick second synchronization is checked too.
        const QString key = host + QLatin1Char(':') + QString::number(m_ntsOptions.kePort) + QLatin1Char('/') +
                            QString::number(static_cast<int>(Road::Next::Nts));
        const qint64 now = m_monotonic.elapsed();
        const auto last = m_lastQueryAt.constFind(key);
        const qint64 waitMs = last == m_lastQueryAt.cend() ? 0 : std::max<qint64>(0, *last + m_queryGapMs - now);
        m_lastQueryAt.insert(key, now + waitMs);
        ++m_witnessesAsked;
        ++m_witnessesPending;
        const auto ask = [this, exchange, host] {
            if (!isCurrent(exchange))
                return;
            auto result = std::make_shared<Nts::Result>();
            runOffThread([call = m_ntsCall, host, options = m_ntsOptions, result] { *result = call(host, options); },
                         [this, exchange, result] { witnessAnswered(exchange, *result); });
        };
        if (waitMs > 0)
            QTimer::singleShot(static_cast<int>(waitMs), this, ask);
        else
            ask();
    }
}

void Vespline::witnessAnswered(quint64 exchange, const Nts::Result& result) {
    if (!isCurrent(exchange))
        return;
    --m_witnessesPending;
    if (result.sample.ok)
        m_witnessAnswers << result.sample;
    if (m_witnessesPending == 0 && m_holding)
        releaseHeld();
}

bool Vespline::remembered() const {
    const Platform& platform = m_forms.platform();
    return m_forms.ntsClient()->completedBefore(m_host) ||
           NtsMemory::read(platform.drive(), platform.programFolder()).contains(NtsMemory::key(m_host));
}

QString Vespline::rememberOffer(const Nts::Result& result) {
    const Platform& platform = m_forms.platform();
    const QString file = NtsMemory::path(platform.programFolder());
    bool kept = NtsMemory::read(platform.drive(), platform.programFolder()).contains(NtsMemory::key(m_host));
    // A built-in NTS host needs no memory; any other that spoke TLS on its key exchange port offers NTS for good.
    if (!kept && listed() != Road::Listed::Nts && result.offer == Nts::Offer::Yes)
        kept = NtsMemory::remember(platform.drive(), platform.programFolder(), m_host);
    if (!kept)
        return {};
    return QStringLiteral(" (%1 is remembered as offering NTS; to forget it, delete its line in %2)")
        .arg(m_host.trimmed(), platform.drive().local(file).value_or(file));
}

Road::Listed Vespline::listed() const {
    const std::optional<bool> offers = ServerLists::offersNts(m_host);
    if (!offers)
        return Road::Listed::Unknown;
    return *offers ? Road::Listed::Nts : Road::Listed::NoNts;
}

void Vespline::take(Road::Next road) {
    int port = m_port;
    std::function<void()> start = [this] { connectToServer(); };
    if (road == Road::Next::Nts) {
        port = m_ntsOptions.kePort;
        start = [this] { startNts(); };
    } else if (road == Road::Next::Sntp) {
        port = m_sntpPort;
        start = [this] { startSntp(); };
    }
    // Ask one server at most once per gap on each road; the wait counts against the synchronization's limit.
    const QString key =
        m_host + QLatin1Char(':') + QString::number(port) + QLatin1Char('/') + QString::number(static_cast<int>(road));
    m_pacedStart = [this, key, start] {
        m_lastQueryAt.insert(key, m_monotonic.elapsed());
        start();
    };
    const auto last = m_lastQueryAt.constFind(key);
    const qint64 sinceLast = last == m_lastQueryAt.cend() ? m_queryGapMs : m_monotonic.elapsed() - *last;
    if (sinceLast < m_queryGapMs)
        m_paceWait.start(static_cast<int>(m_queryGapMs - sinceLast));
    else
        startPaced();
}

void Vespline::startPaced() {
    // Taken out first: the start may take the next road, which sets a new one.
    const std::function<void()> start = std::exchange(m_pacedStart, nullptr);
    if (start)
        start();
}

void Vespline::startNts() {
    auto result = std::make_shared<Nts::Result>();
    const quint64 exchange = m_exchange;
    runOffThread([call = m_ntsCall, host = m_host, options = m_ntsOptions, result] { *result = call(host, options); },
                 [this, exchange, result] { ntsAnswered(exchange, *result); });
}

void Vespline::ntsAnswered(quint64 exchange, const Nts::Result& result) {
    if (!isCurrent(exchange))
        return;
    if (result.sample.roundTripUsec > 0)
        m_roundTripUsec = result.sample.roundTripUsec;
    const bool knownBefore = remembered();
    const QString forget = rememberOffer(result);
    const Road::Step step = Road::afterNts(listed(), knownBefore, result);
    if (step.next == Road::Next::Sntp) {
        take(Road::Next::Sntp);
        return;
    }
    m_road = Road::kNts;
    if (step.next == Road::Next::Fail)
        fail(Road::kNts, step.why + forget);
    else
        useSample(result.sample, Road::kNts);
}

void Vespline::startSntp() {
    auto sample = std::make_shared<Sample>();
    const quint64 exchange = m_exchange;
    const int limitMs = static_cast<int>(std::clamp<qint64>(m_exchangeLimitMs - m_started.elapsed(), 0, kSntpLimitMs));
    runOffThread(
        [call = m_sntpCall, host = m_host, port = m_sntpPort, limitMs, sample] { *sample = call(host, port, limitMs); },
        [this, exchange, sample] { sntpAnswered(exchange, *sample); });
}

void Vespline::sntpAnswered(quint64 exchange, const Sample& sample) {
    if (!isCurrent(exchange))
        return;
    if (Road::afterSntp(sample).next == Road::Next::TimeProtocol) {
        take(Road::Next::TimeProtocol);
        return;
    }
    m_road = Road::kSntp;
    m_roundTripUsec = sample.roundTripUsec;
    useSample(sample, Road::kSntp);
}

void Vespline::runOffThread(std::function<void()> work, std::function<void()> done) {
    // Threads kept from earlier exchanges start at once; the destructor waits for every one, so `this` outlives
    // the posted `done`, which Qt drops should the window go first.
    m_workers.start([this, work = std::move(work), done = std::move(done)] {
        work();
        QMetaObject::invokeMethod(this, done, Qt::QueuedConnection);
    });
}

void Vespline::connectToServer() {
    m_road = Road::kTimeProtocol;
    Winsock->RemoteHost = m_host;
    Winsock->RemotePort = m_port;
    // From here, not from the connected event: the server sends its time as it accepts, which on a busy machine
    // can come before that event runs, and its second must lie within the round trip.
    m_connectStartTick = m_forms.platform().tickCount();
    Winsock->Connect();
}

void Vespline::cmdQuit_Click() {
    if (m_exchanging) {
        Winsock->Close();
        fail(Received, QStringLiteral("Clock not set: the synchronization was cancelled"));
    }
    m_forms.unload(this);
}

void Vespline::Winsock_Connect() {
    // Nothing to do: the transit time counts from the connection's start.
}

void Vespline::Winsock_DataArrival(qint64 bytesTotal) {
    Q_UNUSED(bytesTotal);
    if (!isOnTimeProtocol())
        return;
    Received += Winsock->GetData();
    // A valid reply is four bytes; anything longer can only fail, so a flooding server is cut off here.
    if (Received.size() > TimeReply::kReplySize) {
        Received.truncate(TimeReply::kKeptBytes);
        Winsock->Close();
        fail(Received, QStringLiteral("Clock not set: the time server sent more than 4 bytes"));
    }
}

void Vespline::Winsock_Close() {
    if (!isOnTimeProtocol())
        return;
    const quint64 exchange = m_exchange;
    Winsock->Close();
    doEvents();
    // Events that ran meanwhile may have ended this exchange or started another.
    if (!m_exchanging || exchange != m_exchange)
        return;
    // The tick count is monotonic: a clock step during the exchange cannot spoil the transit time.
    const qint64 transitMs = static_cast<qint32>(static_cast<quint32>(m_forms.platform().tickCount()) -
                                                 static_cast<quint32>(m_connectStartTick));
    m_roundTripUsec = std::max<qint64>(0, transitMs) * 1000;
    Delay = static_cast<double>(m_roundTripUsec) / 2e6;
    SetClock(Received);
}

void Vespline::Winsock_Error(int number, const QString& description) {
    Q_UNUSED(number);
    // An unknown host, a refusal or a broken connection: no close event follows, so the exchange ends here.
    if (!isOnTimeProtocol())
        return;
    Winsock->Close();
    fail(Received, QStringLiteral("Clock not set: ") + description);
}

void Vespline::SetClock(const QString& reply) {
    m_limit.stop();
    useSample(TimeReply::sample(reply.toLatin1(), m_forms.platform().nowUsec(), m_roundTripUsec), reply);
}

void Vespline::useSample(const Sample& sample, const QString& reply) {
    m_road = sample.road;
    if (sample.ok && m_witnessesPending > 0) {
        m_holding = true;
        m_heldSample = sample;
        m_heldReply = reply;
        m_limit.start(static_cast<int>(std::max<qint64>(0, m_exchangeLimitMs - m_started.elapsed())));
        return;
    }
    judgeSample(sample, reply);
}

void Vespline::releaseHeld() {
    m_holding = false;
    judgeSample(m_heldSample, m_heldReply);
}

void Vespline::judgeSample(const Sample& sample, const QString& reply) {
    m_limit.stop();
    if (!sample.ok) {
        fail(reply, Road::failureText(sample));
        return;
    }
    m_agreement = Agreement::judge(sample, m_witnessAnswers, m_witnessesAsked);
    if (!m_agreement.movesClock()) {
        fail(reply, QLatin1String(StatusWords::kNotSet) + Agreement::refusal(m_host, m_agreement));
        return;
    }
    const qint64 usec = sample.correctionUsec;
    const quint64 exchange = m_exchange;
    const ClockGuard::Verdict verdict = ClockGuard::judge(sample.serverUtc, usec, m_userStarted,
                                                          m_forms.platform().buildDate(), sample.certificateExpiredUtc);
    QString why = verdict.why;
    // Never worse than before: a correction below what the sample can tell would only move a right clock.
    const bool alreadyRight = verdict.step != ClockGuard::Step::Refuse && sample.withinUncertainty();
    m_settingClock = !alreadyRight;
    if (alreadyRight)
        why.clear();
    else if (verdict.step == ClockGuard::Step::Confirm &&
             !m_forms.platform().askYesNo(
                 QStringLiteral("Large Clock Change"),
                 ClockGuard::largeStepQuestion(sample.serverUtc, usec, sample.certificateExpiredUtc)))
        why = ClockGuard::declinedText(usec, sample.certificateExpiredUtc);
    else if (verdict.step != ClockGuard::Step::Refuse)
        why = applyCorrection(usec);
    m_settingClock = false;
    doEvents();
    // A start while the clock service answered owns the result now; this one must not end it.
    if (exchange != m_exchange)
        return;
    if (!why.isEmpty()) {
        m_lastOutcome = why;
        finish(kFailed, reply, sample.serverUtc);
        Tarnwick1& main = m_forms.tarnwick1();
        if (!main.isBusy())
            main.SSPanel2[0]->setCaption(m_lastOutcome);
        return;
    }
    m_lastOutcome = Road::outcomeText(sample, Agreement::roadLabel(sample.road, m_agreement));
    m_clockSet = true;
    finish(kSuccess, reply, sample.serverUtc);
}

QString Vespline::applyCorrection(qint64 usec) {
    ClockService& clock = m_forms.platform().clockService();
    ClockResult set = clock.setTime(usec, m_userStarted);
    if (!set.ok && isAutomaticSyncRefusal(set) && m_userStarted &&
        m_forms.platform().askYesNo(QStringLiteral("Automatic Time Synchronization"),
                                    ClockGuard::automaticSyncQuestion())) {
        const ClockResult off = clock.setNtp(false, true);
        set = off.ok ? clock.setTime(usec, true) : off;
    }
    return set.ok ? QString() : describeClockRefusal(set);
}

void Vespline::fail(const QString& reply, const QString& why) {
    m_limit.stop();
    m_lastOutcome = why;
    finish(kFailed, reply, QDateTime());
}

void Vespline::finish(const QString& result, const QString& reply, const QDateTime& newTime) {
    m_exchanging = false;
    m_limit.stop();
    m_paceWait.stop();
    Tarnwick1& main = m_forms.tarnwick1();
    m_forms.base().setSyncResult(result);
    if (result == kSuccess) {
        const QDateTime now = m_forms.platform().now();
        main.Label3->setText(DateText::syncedTime(now.time()));
        main.Label5->setText(DateText::syncedDate(now.date()));
    }
    main.SSPanel4->setToolTip(TimeReply::tooltip(reply.toLatin1(), newTime));
}
