// SYNC NOW on both roads with a fake platform: no server, no connection, an Internet server on 127.0.0.1, a
// network computer, a second start while one waits, and the pause.
#include "app/forms.h"
#include "app/main_window.h"
#include "data/server_lists.h"
#include "net_engine/worker_window.h"
#include "platform/controls/ss_command.h"
#include "platform/controls/ss_panel.h"
#include "platform/controls/winsock.h"
#include "platform/events.h"
#include "tests/support/fake_platform.h"
#include "tests/support/scripted_time_server.h"
#include "tests/support/vespline_sync.h"
#include "time_protocol/vespline.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QLocale>
#include <QTest>
#include <cmath>
#include <ctime>

using S = ScriptedTimeServer;

// A person who leaves the question open a while: the tick count moves on meanwhile.
class QuestionPlatform : public FakePlatform {
public:
    bool askYesNo(const QString& title, const QString& text) override {
        tick += questionMs;
        return FakePlatform::askYesNo(title, text);
    }
    qint32 questionMs = 0;
};

class TestSyncNow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void noServerSelected_data();
    void noServerSelected();
    void noConnection();
    void internetResult_data();
    void internetResult();
    void refusedClockChangeIsExplained();
    void quittingTheWindowEndsTheWait();
    void secondStartWhileWaitingIsRefused();
    void networkComputer_data();
    void networkComputer();
    void connectionCheckButton();
    void pause_data();
    void pause();
    void pauseUsesNoCpu();

private:
    // Points the Time Protocol window at the server and makes the exchange take `ms` on the tick count.
    void prepareVespline(quint16 port, qint32 ms);

    QuestionPlatform* m_platform = nullptr;
    Forms* m_forms = nullptr;
    Tarnwick1* m_main = nullptr;
};

namespace {
const QByteArray kReply = QByteArray::fromHex("E96B1E80");
const QDateTime kReplyTime(QDate(2024, 2, 5), QTime(8, 44, 48), Qt::UTC);
// Long enough to let events run in it, short enough that nine tests do not wait out 2 s each.
constexpr int kShortCheckPauseMs = 20;

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}
} // namespace

void TestSyncNow::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/horavane-test-bus");
}

void TestSyncNow::init() {
    m_platform = new QuestionPlatform;
    m_forms = new Forms(*m_platform);
    m_main = &m_forms->tarnwick1();
    m_main->Label3->setText(QStringLiteral("old clock"));
    // The connection check's pause is waited out at its real length by noConnection alone.
    m_main->setCheckPauseMs(kShortCheckPauseMs);
}

void TestSyncNow::cleanup() {
    delete m_forms;
    delete m_platform;
}

void TestSyncNow::prepareVespline(quint16 port, qint32 ms) {
    Vespline& v = m_forms->vespline();
    useOnlyTimeProtocol(v);
    v.engine().setTimePort(port);
    // This clock runs 0.8 s behind the server.
    m_platform->setNow(kReplyTime.toLocalTime().addMSecs(-800));
    connect(v.Winsock, &Winsock::connected, this, [this, ms] { m_platform->tick += ms; });
}

void TestSyncNow::noServerSelected_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("fromTimer");
    QTest::newRow("click") << "NONE SELECTED" << false;
    QTest::newRow("blanks around") << "  NONE SELECTED " << false;
    QTest::newRow("from a timer") << "NONE SELECTED" << true;
}

void TestSyncNow::noServerSelected() {
    QFETCH(QString, caption);
    QFETCH(bool, fromTimer);
    m_main->Label1->setText(caption);
    m_main->SSCommand3->setBackColor(0x8000000F);
    if (fromTimer) {
        QTimer::singleShot(0, m_main, [this] { m_main->SSCommand3_Click(); });
        QTRY_COMPARE(m_platform->messages.size(), 1);
    } else {
        m_main->SSCommand3_Click();
    }
    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages[0].icon, MessageIcon::Error);
    QCOMPARE(m_platform->messages[0].title, QStringLiteral("No Server Selected"));
    QCOMPARE(m_platform->messages[0].text,
             QStringLiteral("You must first select another computer to sync the time with"));
    QCOMPARE(m_main->SSCommand3->backColor(), 0u);
    QCOMPARE(m_main->Label3->text(), QStringLiteral("10:00 AM"));
    QVERIFY(m_platform->checkedUrls.isEmpty());
    QVERIFY(!m_forms->isVesplineLoaded());
    QVERIFY(!m_forms->isTarnwickLoaded());
}

void TestSyncNow::noConnection() {
    m_main->setCheckPauseMs(Tarnwick1::kCheckPauseMs);
    m_platform->online = false;
    m_main->Label1->setText(QStringLiteral("127.0.0.1"));
    m_main->Label7->setText(QStringLiteral("SUCESS"));
    QElapsedTimer timer;
    timer.start();
    m_main->SSCommand3_Click();
    const qint64 ms = timer.elapsed();
    QVERIFY2(ms >= 1950 && ms < 3000, qPrintable(QString::number(ms)));
    QCOMPARE(m_platform->checkedUrls, QStringList{QStringLiteral("http://127.0.0.1:9/")});
    QCOMPARE(m_main->SSPanel2[0]->caption(), QStringLiteral("No internet connection ..."));
    QCOMPARE(m_main->Label13->text(), QStringLiteral("False"));
    QCOMPARE(m_forms->base().InternetState(), QVariant(false));
    QVERIFY(!m_main->SSPanel2[0]->busyLook());
    QVERIFY(!m_main->isBusy());
    QVERIFY(m_main->Label7->isVisibleTo(m_main));
    QCOMPARE(m_main->Label7->text(), QStringLiteral("SUCESS"));
    QCOMPARE(m_main->Label3->text(), QStringLiteral("old clock"));
    QVERIFY(!m_forms->isVesplineLoaded());
    // The reason stays through the minute tick.
    m_main->Timer1_Timer();
    QCOMPARE(m_main->SSPanel2[0]->caption(), QStringLiteral("No internet connection ..."));
}

void TestSyncNow::internetResult_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<qint32>("ms");
    QTest::addColumn<qint64>("behindSeconds"); // this clock behind the server, besides the 0.8 s
    QTest::addColumn<qint32>("questionMs");    // how long the large-step question stays open
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("status");
    // 0.8 s behind N, the middle of the reply's second and half of the 1234 ms on the way.
    QTest::newRow("success") << kReply << 1234 << qint64(0) << 0 << "SUCESS"
                             << "Clock corrected by +1.9 s (Time Protocol)";
    QTest::newRow("short reply") << kReply.left(3) << 87 << qint64(0) << 0 << "FAILED"
                                 << "Clock not set: a reply of 3 bytes instead of 4";
    QTest::newRow("question left open 4 s: not the server's time") << kReply << 40 << qint64(2000) << 4212 << "SUCESS"
                                                                   << "Clock corrected by +2001.3 s (Time Protocol)";
}

void TestSyncNow::internetResult() {
    QFETCH(QByteArray, reply);
    QFETCH(qint32, ms);
    QFETCH(qint64, behindSeconds);
    QFETCH(qint32, questionMs);
    QFETCH(QString, result);
    QFETCH(QString, status);
    ScriptedTimeServer server({S::send(reply), S::close()});
    prepareVespline(server.port(), ms);
    m_platform->setNow(m_platform->now().addSecs(-behindSeconds));
    m_platform->answers = {true};
    m_platform->questionMs = questionMs;
    m_main->Label1->setText(QStringLiteral("127.0.0.1"));
    m_main->SSCommand3_Click();

    QCOMPARE(server.connections(), 1);
    QCOMPARE(m_main->Label13->text(), QStringLiteral("True"));
    QCOMPARE(m_forms->base().InternetState(), QVariant(true));
    // What the synchronization did replaces the connection check's words, and outlives the minute tick.
    QCOMPARE(m_main->SSPanel2[0]->caption(), status);
    QCOMPARE(m_main->syncOutcome(), status);
    m_main->Timer1_Timer();
    QCOMPARE(m_main->SSPanel2[0]->caption(), status);
    QCOMPARE(m_main->Label12->text(), QStringLiteral("1000"));
    QCOMPARE(m_main->Label7->text(), result);
    QVERIFY(m_main->Label7->isVisibleTo(m_main));
    QVERIFY(m_main->Label8->isVisibleTo(m_main));
    QCOMPARE(m_main->SSPanel2[1]->displayStyle(), 12);
    QCOMPARE(m_main->SSPanel2[1]->caption(), QStringLiteral("Server Response Time = %1 Milliseconds").arg(ms));
    QVERIFY(!m_main->SSCommand3->busyLook());
    QVERIFY(m_main->cursor().shape() != Qt::WaitCursor);
    QVERIFY(!m_main->isBusy());
    QCOMPARE(m_forms->vespline().cboURL->currentText(), QStringLiteral("127.0.0.1"));
    QVERIFY(!m_forms->vespline().isVisible());
    QCOMPARE(m_platform->clock.calls.size(), result == QLatin1String("SUCESS") ? 1 : 0);
    QCOMPARE(m_platform->questions.size(), questionMs ? 1 : 0);
    // A click: the clock service may ask the user.
    for (const FakeClockService::Call& call : m_platform->clock.calls)
        QVERIFY(call.interactive);
    // A person saw the outcome: no notification.
    QVERIFY(m_platform->tray == nullptr || m_platform->tray->notes.isEmpty());
    // The result is handed to the worker's result step about 100 ms later; SYNC NOW does not refresh the clock.
    QTimer* timer3 = m_forms->tarnwick().Timer3;
    QVERIFY(timer3->isActive());
    QCOMPARE(timer3->interval(), 100);
    QVERIFY(m_main->Label3->text() != QLatin1String("10:00 AM"));
}

void TestSyncNow::refusedClockChangeIsExplained() {
    m_platform->clock.refusal =
        ClockResult{false, QStringLiteral("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"),
                    QStringLiteral("Interactive authentication required.")};
    ScriptedTimeServer server({S::send(kReply), S::close()});
    prepareVespline(server.port(), 5);
    m_main->Label1->setText(QStringLiteral("127.0.0.1"));
    m_main->SSCommand3_Click();
    QCOMPARE(m_main->Label7->text(), QStringLiteral("FAILED"));
    QCOMPARE(m_main->SSPanel2[0]->caption(),
             QStringLiteral("Clock not set: you are not authorised to change the time"));
}

void TestSyncNow::quittingTheWindowEndsTheWait() {
    // The Time Protocol window is closed by hand while SYNC NOW waits on its silent server.
    ScriptedTimeServer server({S::hold()});
    prepareVespline(server.port(), 0);
    Vespline* v = &m_forms->vespline();
    connect(v->Winsock, &Winsock::connected, v, [v] { QTimer::singleShot(50, v, &Vespline::cmdQuit_Click); });
    m_main->Label1->setText(QStringLiteral("127.0.0.1"));
    QElapsedTimer timer;
    timer.start();
    m_main->SSCommand3_Click();
    QVERIFY2(timer.elapsed() < 4000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(m_main->Label7->text(), QStringLiteral("FAILED"));
    QVERIFY(!m_main->isBusy());
}

void TestSyncNow::secondStartWhileWaitingIsRefused() {
    ScriptedTimeServer server({S::wait(300), S::send(kReply), S::close()});
    prepareVespline(server.port(), 0);
    bool busyDuringSecond = false;
    bool secondTried = false;
    // A timer tick asks for a synchronization while the first one waits for the server.
    connect(m_forms->vespline().Winsock, &Winsock::connected, this, [&] {
        QTimer::singleShot(50, m_main, [&] {
            secondTried = true;
            m_main->SSCommand3_Click();
            busyDuringSecond = m_main->SSCommand3->busyLook();
        });
    });
    m_main->Label1->setText(QStringLiteral("127.0.0.1"));
    m_main->SSCommand3_Click();
    QVERIFY(secondTried);
    QVERIFY(busyDuringSecond);
    QCOMPARE(server.connections(), 1);
    QCOMPARE(m_platform->checkedUrls.size(), 1);
    QCOMPARE(m_main->Label7->text(), QStringLiteral("SUCESS"));
}

void TestSyncNow::networkComputer_data() {
    QTest::addColumn<QString>("caption");
    QTest::newRow("computer") << "\\\\PC1";
    QTest::newRow("a single backslash") << "\\";
}

void TestSyncNow::networkComputer() {
    QFETCH(QString, caption);
    m_main->Label1->setText(caption);
    m_main->Label7->show();
    m_main->Label8->show();
    m_platform->tick = 4242;
    QElapsedTimer timer;
    timer.start();
    m_main->SSCommand3_Click();
    QVERIFY(timer.elapsed() < 1000);
    QVERIFY(!m_main->Label7->isVisibleTo(m_main));
    QVERIFY(!m_main->Label8->isVisibleTo(m_main));
    QCOMPARE(m_main->Label12->text(), QStringLiteral("4242"));
    QCOMPARE(m_forms->tarnwick().Text4->text(), caption);
    // A click: horavane-cmd is told a person started it, on both starts.
    QCOMPARE(m_platform->startedByUser, (QList<bool>{true, true}));
    QCOMPARE(m_main->cursor().shape(), Qt::WaitCursor);
    QVERIFY(m_main->SSCommand3->busyLook());
    QVERIFY(m_platform->checkedUrls.isEmpty());
    QVERIFY(!m_forms->isVesplineLoaded());
    // The clock is refreshed before the result is known.
    QCOMPARE(m_main->Label3->text(), QStringLiteral("10:00 AM"));
    QVERIFY(m_forms->tarnwick().Timer3->isActive());
    // A timer's tick before the result step starts nothing more, and does not take over the person's run.
    m_main->SSCommand3_Click();
    QCOMPARE(m_platform->startedByUser, (QList<bool>{true, true}));
}

void TestSyncNow::connectionCheckButton() {
    QElapsedTimer timer;
    timer.start();
    m_main->Command4->click();
    QVERIFY(timer.elapsed() >= kShortCheckPauseMs);
    QCOMPARE(m_main->SSPanel2[0]->caption(), QStringLiteral("Internet connection detected"));
    QCOMPARE(m_main->Label13->text(), QStringLiteral("True"));
    QCOMPARE(m_platform->checkedUrls, QStringList{ServerLists::internetCheckUrl()});
}

void TestSyncNow::pause_data() {
    QTest::addColumn<double>("seconds");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    QTest::newRow("fraction") << 0.3 << 290 << 800;
    QTest::newRow("zero") << 0.0 << 0 << 100;
    QTest::newRow("negative") << -5.0 << 0 << 100;
    QTest::newRow("not a number") << std::nan("") << 0 << 100;
}

void TestSyncNow::pause() {
    QFETCH(double, seconds);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    // Just before midnight: a pause that counts seconds since midnight would never end.
    m_platform->setNow(QDateTime(QDate(2026, 12, 8), QTime(23, 59, 59, 900)));
    bool ticked = false;
    QTimer::singleShot(0, this, [&] { ticked = true; });
    QElapsedTimer timer;
    timer.start();
    m_main->Pause(seconds);
    const qint64 ms = timer.elapsed();
    QVERIFY2(ms >= minMs && ms < maxMs, qPrintable(QString::number(ms)));
    QVERIFY(ticked); // events run while it pauses
}

void TestSyncNow::pauseUsesNoCpu() {
    const double before = cpuSeconds();
    m_main->Pause(1);
    const double used = cpuSeconds() - before;
    QVERIFY2(used < 0.02, qPrintable(QString::number(used)));
}

QTEST_MAIN(TestSyncNow)
#include "test_sync_now.moc"
