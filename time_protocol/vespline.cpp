// The Time Protocol window.
#include "time_protocol/vespline.h"

#include "app/forms.h"
#include "app/main_window.h"
#include "data/server_lists.h"
#include "platform/controls/ss_panel.h"
#include "platform/controls/winsock.h"
#include "platform/date_text.h"
#include "platform/events.h"
#include "platform/platform.h"
#include "time_protocol/road.h"
#include "time_protocol/time_reply.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

Vespline::Vespline(Forms& forms) : QWidget(nullptr), m_forms(forms), m_engine(forms.syncEngine()) {
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

    m_engine.setTimeProtocolSocket(
        this, [this](const QString& host, int port) { connectToServer(host, port); },
        [this] {
            Winsock->Close();
            return Received;
        });
    connect(&m_engine, &SyncEngine::finished, this, &Vespline::finish);

    connect(cmdSync, &QPushButton::clicked, this, [this] { cmdSync_Click(Starter::Person); });
    connect(cmdQuit, &QPushButton::clicked, this, &Vespline::cmdQuit_Click);
    connect(Winsock, &::Winsock::connected, this, &Vespline::Winsock_Connect);
    connect(Winsock, &::Winsock::dataArrival, this, &Vespline::Winsock_DataArrival);
    connect(Winsock, &::Winsock::closed, this, &Vespline::Winsock_Close);
    connect(Winsock, &::Winsock::error, this, &Vespline::Winsock_Error);

    Form_Load();
}

Vespline::~Vespline() {
    // The engine outlives this window, and with it the socket it would open.
    m_engine.releaseTimeProtocolSocket(this);
}

void Vespline::Form_Load() {
    for (const QString& server : ServerLists::timeProtocolServers())
        cboURL->addItem(server);
    cboURL->setCurrentIndex(0);
}

void Vespline::cmdSync_Click(Starter starter) {
    m_forms.tarnwick1().Label7->setText(QStringLiteral("UPDATING"));
    // A new start abandons whatever exchange is under way; a late answer of it is recognised by the engine.
    Winsock->Close();
    Received.clear();
    m_lastOutcome.clear();
    m_outcome = {};
    m_engine.start(cboURL->currentText(), starter);
}

void Vespline::connectToServer(const QString& host, int port) {
    Winsock->RemoteHost = host;
    Winsock->RemotePort = port;
    // From here, not from the connected event: the server sends its time as it accepts, which on a busy machine
    // can come before that event runs, and its second must lie within the round trip.
    m_connectStartTick = m_forms.platform().tickCount();
    Winsock->Connect();
}

void Vespline::cmdQuit_Click() {
    if (m_engine.isRunning()) {
        Winsock->Close();
        m_engine.giveUp(Received, QStringLiteral("Clock not set: the synchronization was cancelled"));
    }
    m_forms.unload(this);
}

void Vespline::Winsock_Connect() {
    // Nothing to do: the transit time counts from the connection's start.
}

void Vespline::Winsock_DataArrival(qint64 bytesTotal) {
    Q_UNUSED(bytesTotal);
    if (!m_engine.isOnTimeProtocol())
        return;
    Received += Winsock->GetData();
    // A valid reply is four bytes; anything longer can only fail, so a flooding server is cut off here.
    if (Received.size() > TimeReply::kReplySize) {
        Received.truncate(TimeReply::kKeptBytes);
        Winsock->Close();
        m_engine.giveUp(Received, QStringLiteral("Clock not set: the time server sent more than 4 bytes"));
    }
}

void Vespline::Winsock_Close() {
    if (!m_engine.isOnTimeProtocol())
        return;
    const quint64 run = m_engine.runCount();
    Winsock->Close();
    doEvents();
    // Events that ran meanwhile may have ended this exchange or started another.
    if (!m_engine.isOnTimeProtocol() || run != m_engine.runCount())
        return;
    // The tick count is monotonic: a clock step during the exchange cannot spoil the transit time.
    const qint64 transitMs = static_cast<qint32>(static_cast<quint32>(m_forms.platform().tickCount()) -
                                                 static_cast<quint32>(m_connectStartTick));
    m_transitUsec = std::max<qint64>(0, transitMs) * 1000;
    Delay = static_cast<double>(m_transitUsec) / 2e6;
    SetClock(Received);
}

void Vespline::Winsock_Error(int number, const QString& description) {
    Q_UNUSED(number);
    // An unknown host, a refusal or a broken connection: no close event follows, so the exchange ends here.
    if (!m_engine.isOnTimeProtocol())
        return;
    Winsock->Close();
    m_engine.giveUp(Received, QStringLiteral("Clock not set: ") + description);
}

void Vespline::SetClock(const QString& reply) {
    m_engine.timeProtocolReplied(reply, m_transitUsec);
}

void Vespline::finish(const SyncOutcome& outcome) {
    m_outcome = outcome;
    // The words are made here, where they are shown.
    m_lastOutcome = outcome.clockRight()
                        ? Road::outcomeText(outcome.sample, Agreement::roadLabel(outcome.road, outcome.agreement))
                        : outcome.why;
    Tarnwick1& main = m_forms.tarnwick1();
    m_forms.base().setSyncResult(outcome.clockRight() ? QStringLiteral("SUCESS") : QStringLiteral("FAILED"));
    if (outcome.clockRight()) {
        const QDateTime now = m_forms.platform().now();
        main.Label3->setText(DateText::syncedTime(now.time()));
        main.Label5->setText(DateText::syncedDate(now.date()));
    }
    main.SSPanel4->setToolTip(TimeReply::tooltip(outcome.reply.toLatin1(), outcome.newTime));
    // A server's time the clock policy or the clock service turned down is named on the status line at once.
    if (!outcome.clockRight() && outcome.newTime.isValid() && !main.isBusy())
        main.SSPanel2[0]->setCaption(m_lastOutcome);
}
