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
#include "time_protocol/time_reply.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {
const QString kSuccess = QStringLiteral("SUCESS");
const QString kFailed = QStringLiteral("FAILED");
} // namespace

Vespline::Vespline(Forms& forms) : QWidget(nullptr), m_forms(forms) {
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

    connect(cmdSync, &QPushButton::clicked, this, [this] {
        m_userStarted = true;
        cmdSync_Click();
    });
    connect(cmdQuit, &QPushButton::clicked, this, &Vespline::cmdQuit_Click);
    connect(Winsock, &::Winsock::connected, this, &Vespline::Winsock_Connect);
    connect(Winsock, &::Winsock::dataArrival, this, &Vespline::Winsock_DataArrival);
    connect(Winsock, &::Winsock::closed, this, &Vespline::Winsock_Close);
    connect(Winsock, &::Winsock::error, this, &Vespline::Winsock_Error);
    connect(&m_limit, &QTimer::timeout, this, [this] {
        Winsock->Close();
        fail(Received, QStringLiteral("Clock not set: the time server did not answer in time"));
    });
    connect(&m_paceWait, &QTimer::timeout, this, &Vespline::connectToServer);

    Form_Load();
}

Vespline::~Vespline() = default;

void Vespline::Form_Load() {
    for (const QString& server : ServerLists::timeProtocolServers())
        cboURL->addItem(server);
    cboURL->setCurrentIndex(0);
}

void Vespline::cmdSync_Click() {
    m_forms.tarnwick1().Label7->setText(QStringLiteral("UPDATING"));
    // A new start abandons whatever exchange is under way.
    Winsock->Close();
    m_paceWait.stop();
    Received.clear();
    m_lastOutcome.clear();
    m_clockSet = false;
    Winsock->RemoteHost = cboURL->currentText();
    Winsock->RemotePort = m_port;
    m_exchanging = true;
    ++m_exchange;
    m_limit.start(m_exchangeLimitMs);

    // Ask one server at most once per gap; the wait counts against the exchange's limit.
    m_pendingKey = Winsock->RemoteHost + QLatin1Char(':') + QString::number(m_port);
    const auto last = m_lastQueryAt.constFind(m_pendingKey);
    const qint64 sinceLast = last == m_lastQueryAt.cend() ? m_queryGapMs : m_monotonic.elapsed() - *last;
    if (sinceLast < m_queryGapMs)
        m_paceWait.start(static_cast<int>(m_queryGapMs - sinceLast));
    else
        connectToServer();
}

void Vespline::connectToServer() {
    m_lastQueryAt.insert(m_pendingKey, m_monotonic.elapsed());
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
    m_connectedAt = m_forms.platform().now();
}

void Vespline::Winsock_DataArrival(qint64 bytesTotal) {
    Q_UNUSED(bytesTotal);
    if (!m_exchanging)
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
    if (!m_exchanging)
        return;
    const quint64 exchange = m_exchange;
    Winsock->Close();
    doEvents();
    // Events that ran meanwhile may have ended this exchange or started another.
    if (!m_exchanging || exchange != m_exchange)
        return;
    Delay = TimeReply::halfTransit(m_connectedAt, m_forms.platform().now());
    SetClock(Received);
}

void Vespline::Winsock_Error(int number, const QString& description) {
    Q_UNUSED(number);
    // An unknown host, a refusal or a broken connection: no close event follows, so the exchange ends here.
    if (!m_exchanging)
        return;
    Winsock->Close();
    fail(Received, QStringLiteral("Clock not set: ") + description);
}

void Vespline::SetClock(const QString& reply) {
    m_limit.stop();
    const TimeReply::Conversion conversion = TimeReply::convert(reply.toLatin1(), Delay);
    if (!conversion.ok) {
        fail(reply, QStringLiteral("Clock not set: ") + conversion.why);
        return;
    }
    // The server's time and this clock, read at the same moment.
    const qint64 usec = correctionUsec(conversion.utc, m_forms.platform().now());
    const quint64 exchange = m_exchange;
    const ClockGuard::Verdict verdict =
        ClockGuard::judge(conversion.utc, usec, m_userStarted, m_forms.platform().buildDate());
    QString why = verdict.why;
    m_settingClock = true;
    if (verdict.step == ClockGuard::Step::Confirm &&
        !m_forms.platform().askYesNo(QStringLiteral("Large Clock Change"),
                                     ClockGuard::largeStepQuestion(conversion.utc, usec)))
        why = ClockGuard::declinedText(usec);
    else if (verdict.step != ClockGuard::Step::Refuse)
        why = applyCorrection(usec);
    m_settingClock = false;
    doEvents();
    // A start while the clock service answered owns the result now; this one must not end it.
    if (exchange != m_exchange)
        return;
    if (!why.isEmpty()) {
        m_lastOutcome = why;
        finish(kFailed, reply, conversion.utc);
        Tarnwick1& main = m_forms.tarnwick1();
        if (!main.isBusy())
            main.SSPanel2[0]->setCaption(m_lastOutcome);
        return;
    }
    m_lastOutcome = ClockGuard::correctedText(usec);
    m_clockSet = true;
    finish(kSuccess, reply, conversion.utc);
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
