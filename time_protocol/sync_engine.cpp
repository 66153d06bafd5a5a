// One synchronization with an Internet time server.
#include "time_protocol/sync_engine.h"

#include "data/server_lists.h"
#include "platform/events.h"
#include "platform/platform.h"
#include "time_protocol/clock_step.h"
#include "time_protocol/nts_memory.h"
#include "time_protocol/port_setting.h"
#include "time_protocol/sntp_exchange.h"
#include "time_protocol/status_words.h"
#include "time_protocol/time_reply.h"

#include <algorithm>
#include <utility>

namespace {
// SNTP with a host name, on a thread of its own: the lookup may block.
Sample sntpWithHost(const Platform& platform, const QString& host, quint16 port, int limitMs) {
    QElapsedTimer spent;
    spent.start();
    QString why;
    const QList<NetIo::Endpoint> found = NetIo::lookup(host, port, limitMs, &why);
    if (found.isEmpty()) {
        Sample unknown;
        unknown.road = Road::kSntp;
        unknown.why = QStringLiteral("SNTP: ") + why;
        return unknown;
    }
    // The next address (IPv4 beside a broken IPv6, say) only while time is left: an unreachable one fails at
    // once, a silent one costs the rest.
    Sample sample;
    for (const NetIo::Endpoint& e : found) {
        sample = Sntp::exchange(e.host(), port, NetIo::remainingMs(spent, limitMs),
                                [&platform] { return platform.nowUsec(); });
        if (sample.ok || NetIo::remainingMs(spent, limitMs) == 0)
            break;
    }
    return sample;
}

QString queryKey(const QString& host, int port, Road::Next road) {
    return host + QLatin1Char(':') + QString::number(port) + QLatin1Char('/') + QString::number(static_cast<int>(road));
}
} // namespace

SyncEngine::SyncEngine(Platform& platform)
    : m_platform(platform), m_ntsOptions(Nts::Options::fromEnvironment()), m_sntpPort(m_ntsOptions.ntpPort),
      m_timePort(PortSetting::environment().timePort),
      m_ntsCall([client = &m_nts](const QString& host, const Nts::Options& options) {
          return client->synchronize(host, options);
      }),
      m_sntpCall([&platform](const QString& host, quint16 port, int limitMs) {
          return sntpWithHost(platform, host, port, limitMs);
      }),
      m_witnessSeam(PortSetting::environment().witnesses) {
    m_ntsOptions.clock = [&platform] { return platform.nowUsec(); };
    m_limit.setSingleShot(true);
    m_limit.setTimerType(Qt::PreciseTimer); // a coarse timer may fire 5% early
    m_paceWait.setSingleShot(true);
    m_monotonic.start();
    // Room for the four servers of one synchronization and the blocked exchanges of abandoned ones: a task that
    // had to queue would lose its time.
    m_workers.setMaxThreadCount(32);
    connect(&m_limit, &QTimer::timeout, this, [this] {
        // The chosen server answered in time: the others that have not are left out.
        if (m_holding) {
            releaseHeld();
            return;
        }
        giveUp(m_closeTimeProtocol ? m_closeTimeProtocol() : QString(),
               QStringLiteral("Clock not set: the time server did not answer in time"));
    });
    connect(&m_paceWait, &QTimer::timeout, this, &SyncEngine::startPaced);
}

SyncEngine::~SyncEngine() {
    // An exchange off the thread is bounded by its own limits; its result has nowhere to go now.
    m_workers.waitForDone();
}

void SyncEngine::setTimeProtocolSocket(const QObject* owner, std::function<void(const QString&, int)> open,
                                       std::function<QString()> close) {
    m_socketOwner = owner;
    m_openTimeProtocol = std::move(open);
    m_closeTimeProtocol = std::move(close);
}

void SyncEngine::releaseTimeProtocolSocket(const QObject* owner) {
    // A window discarded after its successor took over leaves the successor's run alone.
    if (owner != m_socketOwner)
        return;
    setTimeProtocolSocket(nullptr, {}, {});
    stop();
}

void SyncEngine::start(const QString& host, Starter starter) {
    m_userStarted = starter == Starter::Person;
    m_paceWait.stop();
    m_pacedStart = nullptr;
    m_road.clear();
    m_roundTripUsec = -1;
    m_holding = false;
    m_host = host;
    m_running = true;
    ++m_run;
    m_started.start();
    m_limit.start(m_limitMs);
    // The chosen server first: the others' threads would only delay its request.
    take(Road::first(listed(), remembered()));
    startWitnesses();
}

qint64 SyncEngine::reserveQuery(const QString& key) {
    const qint64 now = m_monotonic.elapsed();
    const auto last = m_lastQueryAt.constFind(key);
    const qint64 waitMs = last == m_lastQueryAt.cend() ? 0 : std::max<qint64>(0, *last + m_queryGapMs - now);
    m_lastQueryAt.insert(key, now + waitMs);
    return waitMs;
}

void SyncEngine::startWitnesses() {
    m_witnessesAsked = 0;
    m_witnessesPending = 0;
    m_witnessAnswers.clear();
    const QString chosen = m_host.trimmed().toLower();
    const quint64 run = m_run;
    for (const QString& listedHost : m_witnessSeam.value_or(ServerLists::ntsWitnesses(m_host))) {
        const QString host = listedHost.trimmed();
        if (host.toLower() == chosen)
            continue;
        // Paced as the chosen server's NTS road is: one asked within the gap waits for its end, so that a quick
        // second synchronization is checked too.
        const qint64 waitMs = reserveQuery(queryKey(host, m_ntsOptions.kePort, Road::Next::Nts));
        ++m_witnessesAsked;
        ++m_witnessesPending;
        const auto ask = [this, run, host] {
            if (isCurrent(run))
                askNts(host, &SyncEngine::witnessAnswered);
        };
        if (waitMs > 0)
            QTimer::singleShot(static_cast<int>(waitMs), this, ask);
        else
            ask();
    }
}

void SyncEngine::witnessAnswered(quint64 run, const Nts::Result& result) {
    if (!isCurrent(run))
        return;
    --m_witnessesPending;
    if (result.sample.ok)
        m_witnessAnswers << result.sample;
    if (m_witnessesPending == 0 && m_holding)
        releaseHeld();
}

bool SyncEngine::remembered() const {
    return m_nts.completedBefore(m_host) ||
           NtsMemory::read(m_platform.drive(), m_platform.programFolder()).contains(NtsMemory::key(m_host));
}

QString SyncEngine::rememberOffer(const Nts::Result& result) {
    const QString file = NtsMemory::path(m_platform.programFolder());
    bool kept = NtsMemory::read(m_platform.drive(), m_platform.programFolder()).contains(NtsMemory::key(m_host));
    // A built-in NTS host needs no memory; any other that spoke TLS on its key exchange port offers NTS for good.
    if (!kept && listed() != Road::Listed::Nts && result.offer == Nts::Offer::Yes)
        kept = NtsMemory::remember(m_platform.drive(), m_platform.programFolder(), m_host);
    if (!kept)
        return {};
    return QStringLiteral(" (%1 is remembered as offering NTS; to forget it, delete its line in %2)")
        .arg(m_host.trimmed(), m_platform.drive().local(file).value_or(file));
}

Road::Listed SyncEngine::listed() const {
    const std::optional<bool> offers = ServerLists::offersNts(m_host);
    if (!offers)
        return Road::Listed::Unknown;
    return *offers ? Road::Listed::Nts : Road::Listed::NoNts;
}

void SyncEngine::take(Road::Next road) {
    int port = m_timePort;
    std::function<void()> start = [this] {
        m_road = Road::kTimeProtocol;
        if (m_openTimeProtocol)
            m_openTimeProtocol(m_host, m_timePort);
    };
    if (road == Road::Next::Nts) {
        port = m_ntsOptions.kePort;
        start = [this] { askNts(m_host, &SyncEngine::ntsAnswered); };
    } else if (road == Road::Next::Sntp) {
        port = m_sntpPort;
        start = [this] { startSntp(); };
    }
    // Each server at most once per gap on each road; the wait counts against the synchronization's limit.
    m_pacedStart = std::move(start);
    const qint64 waitMs = reserveQuery(queryKey(m_host, port, road));
    if (waitMs > 0)
        m_paceWait.start(static_cast<int>(waitMs));
    else
        startPaced();
}

void SyncEngine::startPaced() {
    // Taken out first: the start may take the next road, which sets a new one.
    const std::function<void()> start = std::exchange(m_pacedStart, nullptr);
    if (start)
        start();
}

void SyncEngine::askNts(const QString& host, void (SyncEngine::*answered)(quint64, const Nts::Result&)) {
    auto result = std::make_shared<Nts::Result>();
    const quint64 run = m_run;
    runOffThread([call = m_ntsCall, host, options = m_ntsOptions, result] { *result = call(host, options); },
                 [this, answered, run, result] { (this->*answered)(run, *result); });
}

void SyncEngine::ntsAnswered(quint64 run, const Nts::Result& result) {
    if (!isCurrent(run))
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
        giveUp(Road::kNts, step.why + forget);
    else
        useSample(result.sample, Road::kNts);
}

void SyncEngine::startSntp() {
    auto sample = std::make_shared<Sample>();
    const quint64 run = m_run;
    const int limitMs = static_cast<int>(std::clamp<qint64>(m_limitMs - m_started.elapsed(), 0, kSntpLimitMs));
    runOffThread(
        [call = m_sntpCall, host = m_host, port = m_sntpPort, limitMs, sample] { *sample = call(host, port, limitMs); },
        [this, run, sample] { sntpAnswered(run, *sample); });
}

void SyncEngine::sntpAnswered(quint64 run, const Sample& sample) {
    if (!isCurrent(run))
        return;
    if (Road::afterSntp(sample).next == Road::Next::TimeProtocol) {
        take(Road::Next::TimeProtocol);
        return;
    }
    m_road = Road::kSntp;
    m_roundTripUsec = sample.roundTripUsec;
    useSample(sample, Road::kSntp);
}

void SyncEngine::runOffThread(std::function<void()> work, std::function<void()> done) {
    // Threads kept from earlier exchanges start at once; the destructor waits for every one, so `this` outlives
    // the posted `done`, which Qt drops should this object go first.
    m_workers.start([this, work = std::move(work), done = std::move(done)] {
        work();
        QMetaObject::invokeMethod(this, done, Qt::QueuedConnection);
    });
}

void SyncEngine::timeProtocolReplied(const QString& reply, qint64 roundTripUsec) {
    if (!isOnTimeProtocol())
        return;
    m_roundTripUsec = roundTripUsec;
    m_limit.stop();
    useSample(TimeReply::sample(reply.toLatin1(), m_platform.nowUsec(), m_roundTripUsec), reply);
}

void SyncEngine::useSample(const Sample& sample, const QString& reply) {
    m_road = sample.road;
    if (sample.ok && m_witnessesPending > 0) {
        m_holding = true;
        m_heldSample = sample;
        m_heldReply = reply;
        m_limit.start(static_cast<int>(std::max<qint64>(0, m_limitMs - m_started.elapsed())));
        return;
    }
    judgeSample(sample, reply);
}

void SyncEngine::releaseHeld() {
    m_holding = false;
    judgeSample(m_heldSample, m_heldReply);
}

void SyncEngine::judgeSample(const Sample& sample, const QString& reply) {
    m_limit.stop();
    if (!sample.ok) {
        giveUp(reply, Road::failureText(sample));
        return;
    }
    SyncOutcome outcome;
    outcome.sample = sample;
    outcome.reply = reply;
    outcome.agreement = Agreement::judge(sample, m_witnessAnswers, m_witnessesAsked);
    if (!outcome.agreement.movesClock()) {
        outcome.why = QLatin1String(StatusWords::kNotSet) + Agreement::refusal(m_host, outcome.agreement);
        end(outcome);
        return;
    }
    outcome.newTime = sample.serverUtc;
    const quint64 run = m_run;
    ClockStep::Request request;
    request.sample = sample;
    request.userStarted = m_userStarted;
    request.build = m_platform.buildDate();
    request.ask = [this](const QString& title, const QString& text) { return m_platform.askYesNo(title, text); };
    // From the question on: a person may take their time, and so may the clock service's password prompt.
    m_settingClock = true;
    const ClockStep::Result step = ClockStep::apply(request, m_platform.clockService());
    m_settingClock = false;
    outcome.why = step.why;
    outcome.kind = step.kind == ClockStep::Result::Kind::Corrected      ? SyncOutcome::Kind::Corrected
                   : step.kind == ClockStep::Result::Kind::AlreadyRight ? SyncOutcome::Kind::AlreadyRight
                                                                        : SyncOutcome::Kind::NotSet;
    doEvents();
    // A start while the clock service answered owns the outcome now; this one must not end it.
    if (run != m_run)
        return;
    end(outcome);
}

void SyncEngine::giveUp(const QString& reply, const QString& why) {
    if (!m_running)
        return;
    SyncOutcome outcome;
    outcome.why = why;
    outcome.reply = reply;
    end(outcome);
}

void SyncEngine::stop() {
    m_running = false;
    m_holding = false;
    m_limit.stop();
    m_paceWait.stop();
    m_pacedStart = nullptr;
}

void SyncEngine::end(SyncOutcome outcome) {
    stop();
    outcome.road = m_road;
    outcome.roundTripUsec = m_roundTripUsec;
    Q_EMIT finished(outcome);
}
