// The Time Protocol window against scripted servers on 127.0.0.1: replies in pieces, short and long replies,
// resets, floods, silent servers, refused connections and a clock service that refuses.
#include "app/forms.h"
#include "app/main_window.h"
#include "data/server_lists.h"
#include "platform/controls/ss_panel.h"
#include "platform/date_text.h"
#include "platform/events.h"
#include "tests/support/fake_platform.h"
#include "tests/support/scripted_time_server.h"
#include "tests/support/vespline_sync.h"
#include "time_protocol/vespline.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <functional>

using Script = QList<ScriptedTimeServer::Step>;
using S = ScriptedTimeServer;
Q_DECLARE_METATYPE(Script)

class TestVespline : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void loadFillsTheList();
    void exchange_data();
    void exchange();
    void successWritesTheMainWindow();
    void silentServerFailsAtTheLimit_data();
    void silentServerFailsAtTheLimit();
    void refusedConnectionFails();
    void emptyHostFails();
    void refusedClockChange_data();
    void refusedClockChange();
    void newStartAbandonsTheExchange();
    void sameServerIsNotAskedTooOften();
    void startWhileTheClockIsSetWins();
    void guards_data();
    void guards();
    void automaticSyncOn_data();
    void automaticSyncOn();

private:
    // Runs one synchronization with the server and returns the result word.
    QString sync(const QString& host, quint16 port, int limitMs = 15000);
    // One synchronization with a server that sends the reply, started by a person or a timer.
    QString syncStartedBy(bool userStarted);

    FakePlatform* m_platform = nullptr;
    Forms* m_forms = nullptr;
    qint64 m_elapsedMs = 0;
};

namespace {
const QByteArray kReply = QByteArray::fromHex("E96B1E80");
const QDateTime kReplyTime(QDate(2024, 2, 5), QTime(8, 44, 48), Qt::UTC);
// This clock, 0.8 s behind the reply when it arrives.
const QDateTime kClockAtReply = kReplyTime.toLocalTime().addMSecs(-800);
} // namespace

void TestVespline::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    // Nothing here may reach the real system bus.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/horavane-test-bus");
}

void TestVespline::init() {
    m_platform = new FakePlatform;
    m_platform->setNow(kClockAtReply);
    m_forms = new Forms(*m_platform);
}

void TestVespline::cleanup() {
    delete m_forms;
    delete m_platform;
}

QString TestVespline::sync(const QString& host, quint16 port, int limitMs) {
    m_forms->vespline().setTimePort(port);
    QElapsedTimer timer;
    timer.start();
    const QString result = syncWithVespline(*m_forms, host, limitMs);
    m_elapsedMs = timer.elapsed();
    return result;
}

QString TestVespline::syncStartedBy(bool userStarted) {
    ScriptedTimeServer server({S::send(kReply), S::close()});
    m_forms->vespline().setUserStarted(userStarted);
    return sync(QStringLiteral("127.0.0.1"), server.port());
}

void TestVespline::loadFillsTheList() {
    Vespline* v = &m_forms->vespline();
    QCOMPARE(v->windowTitle(), QStringLiteral("Synchronize Your Clock"));
    QCOMPARE(v->cmdSync->text(), QStringLiteral("&Synch"));
    QCOMPARE(v->cmdQuit->text(), QStringLiteral("&Quit"));
    QCOMPARE(v->Label1->text(), QStringLiteral("Server to Synchronize to:"));
    QCOMPARE(v->cboURL->font().family(), QStringLiteral("Arial"));
    QCOMPARE(v->cmdSync->font().family(), QStringLiteral("Arial"));
    const QStringList servers = ServerLists::timeProtocolServers();
    QCOMPARE(v->cboURL->count(), 22);
    QCOMPARE(v->cboURL->currentText(), servers.first());
    QCOMPARE(v->cboURL->itemText(7), servers.first());
    QCOMPARE(v->cboURL->itemText(14), v->cboURL->itemText(1));

    // Quit discards the window; the next reference loads it afresh with the same 22 entries.
    v->cmdQuit->click();
    QVERIFY(!m_forms->isVesplineLoaded());
    v = &m_forms->vespline();
    QCOMPARE(v->cboURL->count(), 22);
    QCOMPARE(v->cboURL->currentText(), servers.first());
}

void TestVespline::exchange_data() {
    QTest::addColumn<Script>("script");
    QTest::addColumn<QString>("result");
    QTest::newRow("whole reply") << Script{S::send(kReply), S::close()} << "SUCESS";
    QTest::newRow("1 byte then 3") << Script{S::send(kReply.left(1)), S::wait(100), S::send(kReply.mid(1)), S::close()}
                                   << "SUCESS";
    QTest::newRow("slow drip") << Script{S::send(kReply.mid(0, 1)),
                                         S::wait(300),
                                         S::send(kReply.mid(1, 1)),
                                         S::wait(300),
                                         S::send(kReply.mid(2, 1)),
                                         S::wait(300),
                                         S::send(kReply.mid(3, 1)),
                                         S::wait(300),
                                         S::close()}
                               << "SUCESS";
    QTest::newRow("3 bytes") << Script{S::send(kReply.left(3)), S::close()} << "FAILED";
    QTest::newRow("5 bytes, kept open") << Script{S::send(kReply + 'x'), S::hold()} << "FAILED";
    QTest::newRow("4 then 1 more") << Script{S::send(kReply), S::wait(100), S::send("x"), S::close()} << "FAILED";
    QTest::newRow("nothing") << Script{S::close()} << "FAILED";
    QTest::newRow("four zero bytes, not 2036") << Script{S::send(QByteArray(4, '\0')), S::close()} << "FAILED";
    QTest::newRow("reset after 2 bytes") << Script{S::send(kReply.left(2)), S::wait(100), S::reset()} << "FAILED";
    QTest::newRow("flood") << Script{S::flood()} << "FAILED";
}

void TestVespline::exchange() {
    QFETCH(Script, script);
    QFETCH(QString, result);
    ScriptedTimeServer server(script);
    QCOMPARE(sync(QStringLiteral("127.0.0.1"), server.port()), result);
    // Every one of these ends well before the exchange limit.
    QVERIFY2(m_elapsedMs < 3000, qPrintable(QString::number(m_elapsedMs)));
    QCOMPARE(server.connections(), 1);
    Vespline& v = m_forms->vespline();
    QVERIFY(!v.isExchanging());
    QVERIFY(v.Received.size() <= 64);
    const QString tooltip = m_forms->tarnwick1().SSPanel4->toolTip();
    if (result == QLatin1String("SUCESS")) {
        // Relative: the server's time minus this clock's, both at the reply.
        QCOMPARE(m_platform->clock.applied, QList<qint64>{800000});
        QCOMPARE(v.lastOutcome(), QStringLiteral("Clock corrected by +0.8 s"));
        QCOMPARE(v.Received, QString::fromLatin1(kReply));
        QVERIFY(tooltip.endsWith(QStringLiteral(" - 2/5/24 8:44:48 AM")));
    } else {
        QVERIFY(m_platform->clock.calls.isEmpty());
        QCOMPARE(tooltip, v.Received + QStringLiteral(" - 12:00:00 AM"));
    }
}

void TestVespline::successWritesTheMainWindow() {
    ScriptedTimeServer server({S::send(kReply), S::close()});
    Tarnwick1& main = m_forms->tarnwick1();
    Vespline& v = m_forms->vespline();
    v.setTimePort(server.port());
    v.cboURL->setEditText(QStringLiteral("127.0.0.1"));
    m_forms->base().setSyncResult(QStringLiteral("WAIT"));
    v.cmdSync_Click();
    QCOMPARE(main.Label7->text(), QStringLiteral("UPDATING"));
    QTRY_COMPARE(m_forms->base().SyncResult(), QStringLiteral("SUCESS"));
    QCOMPARE(main.Label3->text(), DateText::syncedTime(kClockAtReply.time()));
    QCOMPARE(main.Label5->text(), DateText::syncedDate(kClockAtReply.date()));
    QCOMPARE(main.SSPanel4->toolTip(), QString::fromLatin1(kReply) + QStringLiteral(" - 2/5/24 8:44:48 AM"));
    QVERIFY(v.lastRefusal().isEmpty());
}

void TestVespline::silentServerFailsAtTheLimit_data() {
    QTest::addColumn<int>("limitMs");
    QTest::newRow("the program's limit") << 0;
    QTest::newRow("a shorter limit set") << 500;
}

void TestVespline::silentServerFailsAtTheLimit() {
    QFETCH(int, limitMs);
    if (limitMs > 0)
        m_forms->vespline().setExchangeLimitMs(limitMs);
    else
        limitMs = Vespline::kExchangeLimitMs;
    // A full reply that is never followed by a close cannot be trusted, and must not hold the caller forever.
    ScriptedTimeServer server({S::send(kReply), S::hold()});
    QCOMPARE(sync(QStringLiteral("127.0.0.1"), server.port(), 20000), QStringLiteral("FAILED"));
    QVERIFY2(m_elapsedMs >= limitMs - 100 && m_elapsedMs < limitMs + 1500, qPrintable(QString::number(m_elapsedMs)));
    QVERIFY(m_platform->clock.calls.isEmpty());
}

void TestVespline::refusedConnectionFails() {
    quint16 port = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    QCOMPARE(sync(QStringLiteral("127.0.0.1"), port), QStringLiteral("FAILED"));
    QVERIFY(m_elapsedMs < 3000);
    QVERIFY(m_platform->clock.calls.isEmpty());
}

void TestVespline::emptyHostFails() {
    QCOMPARE(sync(QString(), 37), QStringLiteral("FAILED"));
    QVERIFY(m_elapsedMs < 3000);
}

void TestVespline::refusedClockChange_data() {
    QTest::addColumn<QString>("errorName");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("status");
    QTest::newRow("not authorised") << "org.freedesktop.DBus.Error.AccessDenied"
                                    << "Permission denied"
                                    << "Clock not set: you are not authorised to change the time";
    QTest::newRow("automatic sync on") << "org.freedesktop.DBus.Error.Failed"
                                       << "Automatic time synchronization is enabled"
                                       << "Clock not set: automatic time synchronization (NTP) is on";
}

void TestVespline::refusedClockChange() {
    QFETCH(QString, errorName);
    QFETCH(QString, message);
    QFETCH(QString, status);
    m_platform->clock.refusal = ClockResult{false, errorName, message};
    ScriptedTimeServer server({S::send(kReply), S::close()});
    Tarnwick1& main = m_forms->tarnwick1();
    const QString clockBefore = main.Label3->text();
    QCOMPARE(sync(QStringLiteral("127.0.0.1"), server.port()), QStringLiteral("FAILED"));
    QCOMPARE(m_platform->clock.calls.size(), 1);
    QCOMPARE(m_forms->vespline().lastRefusal(), status);
    // With no SYNC NOW waiting, the window itself puts the reason on the status line.
    QCOMPARE(main.SSPanel2[0]->caption(), status);
    QCOMPARE(main.Label3->text(), clockBefore);
}

void TestVespline::newStartAbandonsTheExchange() {
    ScriptedTimeServer silent({S::hold()});
    ScriptedTimeServer good({S::send(kReply), S::close()});
    Vespline& v = m_forms->vespline();
    // Short enough to wait past the abandoned exchange's limit, long enough for the good one on a busy machine.
    v.setExchangeLimitMs(1000);
    v.setTimePort(silent.port());
    v.cboURL->setEditText(QStringLiteral("127.0.0.1"));
    v.cmdSync_Click();
    QTRY_COMPARE(silent.connections(), 1);
    QCOMPARE(sync(QStringLiteral("localhost"), good.port()), QStringLiteral("SUCESS"));
    // The abandoned exchange's limit never fires afterwards.
    waitMs(1300);
    QCOMPARE(m_forms->base().SyncResult(), QStringLiteral("SUCESS"));
    QVERIFY(!v.isExchanging());
}

void TestVespline::sameServerIsNotAskedTooOften() {
    ScriptedTimeServer server({S::send(kReply), S::close()});
    m_forms->vespline().setQueryGapMs(800);
    QCOMPARE(sync(QStringLiteral("127.0.0.1"), server.port()), QStringLiteral("SUCESS"));
    QCOMPARE(sync(QStringLiteral("127.0.0.1"), server.port()), QStringLiteral("SUCESS"));
    QCOMPARE(server.connections(), 2);
    QVERIFY2(server.acceptedAtMs[1] - server.acceptedAtMs[0] >= 750,
             qPrintable(QString::number(server.acceptedAtMs[1] - server.acceptedAtMs[0])));
}

namespace {
// A clock service during whose answer the user starts the window again.
class RestartingClockService : public ClockService {
public:
    ClockResult setTime(qint64 usec, bool) override {
        calls << usec;
        if (calls.size() == 1 && restart)
            restart();
        return {true, {}, {}};
    }
    ClockResult setNtp(bool, bool) override { return {true, {}, {}}; }
    QList<qint64> calls;
    std::function<void()> restart;
};

class RestartingPlatform : public FakePlatform {
public:
    ClockService& clockService() override { return service; }
    RestartingClockService service;
};
} // namespace

void TestVespline::startWhileTheClockIsSetWins() {
    RestartingPlatform platform;
    platform.setNow(kClockAtReply);
    Forms forms(platform);
    ScriptedTimeServer first({S::send(kReply), S::close()});
    ScriptedTimeServer second({S::wait(200), S::send(QByteArray::fromHex("E96B1E20")), S::close()});
    Vespline& v = forms.vespline();
    platform.service.restart = [&] {
        v.setTimePort(second.port());
        v.cmdSync_Click();
    };
    v.setTimePort(first.port());
    v.cboURL->setEditText(QStringLiteral("127.0.0.1"));
    int results = 0;
    connect(&forms.base(), &TarnBase::syncResultChanged, this, [&] { ++results; });
    v.cmdSync_Click();
    QTRY_COMPARE(platform.service.calls.size(), 2);
    QTRY_VERIFY(!v.isExchanging());
    // Only the second exchange reports, with its own reply in the tooltip.
    QCOMPARE(results, 1);
    QCOMPARE(forms.base().SyncResult(), QStringLiteral("SUCESS"));
    QVERIFY(forms.tarnwick1().SSPanel4->toolTip().endsWith(QStringLiteral(" - 2/5/24 8:43:12 AM")));
}

void TestVespline::guards_data() {
    QTest::addColumn<qint64>("stepSeconds"); // the reply minus this clock
    QTest::addColumn<int>("buildDaysAfterReply");
    QTest::addColumn<bool>("userStarted");
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<QString>("result");
    QTest::addColumn<int>("questions");
    QTest::addColumn<QString>("status");
    const QList<bool> none;
    QTest::newRow("built the day of the reply")
        << qint64(0) << 0 << false << none << "SUCESS" << 0 << "Clock corrected by +0.0 s";
    QTest::newRow("reply before the build date")
        << qint64(0) << 1 << true << none << "FAILED" << 0 << "Clock not set: the server's time 2/5/24";
    QTest::newRow("1000 s by a timer") << qint64(1000) << -1 << false << none << "SUCESS" << 0
                                       << "Clock corrected by +1000.0 s";
    QTest::newRow("1001 s by a timer") << qint64(1001) << -1 << false << none << "FAILED" << 0
                                       << "Clock not set: a step of +1001.0 s is too large";
    QTest::newRow("-1001 s by a timer") << qint64(-1001) << -1 << false << none << "FAILED" << 0
                                        << "Clock not set: a step of -1001.0 s is too large";
    QTest::newRow("-1000 s by a person") << qint64(-1000) << -1 << true << none << "SUCESS" << 0
                                         << "Clock corrected by -1000.0 s";
    QTest::newRow("1001 s by a person who agrees")
        << qint64(1001) << -1 << true << QList<bool>{true} << "SUCESS" << 1 << "Clock corrected by +1001.0 s";
    QTest::newRow("a year by a person who declines")
        << qint64(365 * 86400) << -1 << true << QList<bool>{false} << "FAILED" << 1
        << "Clock not set: a step of +31536000.0 s was not confirmed";
}

void TestVespline::guards() {
    QFETCH(qint64, stepSeconds);
    QFETCH(int, buildDaysAfterReply);
    QFETCH(bool, userStarted);
    QFETCH(QList<bool>, answers);
    QFETCH(QString, result);
    QFETCH(int, questions);
    QFETCH(QString, status);
    m_platform->setNow(kReplyTime.toLocalTime().addSecs(-stepSeconds));
    m_platform->build = kReplyTime.date().addDays(buildDaysAfterReply);
    m_platform->answers = answers;
    QCOMPARE(syncStartedBy(userStarted), result);
    const Vespline& v = m_forms->vespline();
    QCOMPARE(m_platform->questions.size(), questions);
    if (questions) {
        // The question shows both clocks and the difference.
        const QString text = m_platform->questions[0][1];
        QVERIFY2(text.contains(QStringLiteral("2/5/24")) && text.contains(QStringLiteral("s.")), qPrintable(text));
    }
    QVERIFY2(v.lastOutcome().startsWith(status), qPrintable(v.lastOutcome()));
    if (result == QLatin1String("SUCESS")) {
        QCOMPARE(m_platform->clock.applied, QList<qint64>{stepSeconds * 1000000});
        QVERIFY(v.lastRefusal().isEmpty());
    } else {
        QVERIFY(m_platform->clock.calls.isEmpty());
        QCOMPARE(v.lastRefusal(), v.lastOutcome());
        QCOMPARE(m_forms->tarnwick1().SSPanel2[0]->caption(), v.lastOutcome());
    }
}

void TestVespline::automaticSyncOn_data() {
    QTest::addColumn<bool>("userStarted");
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<QString>("result");
    QTest::addColumn<int>("questions");
    QTest::newRow("a person switches it off") << true << QList<bool>{true} << "SUCESS" << 1;
    QTest::newRow("a person keeps it") << true << QList<bool>{false} << "FAILED" << 1;
    QTest::newRow("a timer never asks") << false << QList<bool>{true} << "FAILED" << 0;
}

void TestVespline::automaticSyncOn() {
    QFETCH(bool, userStarted);
    QFETCH(QList<bool>, answers);
    QFETCH(QString, result);
    QFETCH(int, questions);
    m_platform->clock.ntp = true;
    m_platform->answers = answers;
    QCOMPARE(syncStartedBy(userStarted), result);
    const Vespline& v = m_forms->vespline();
    QCOMPARE(m_platform->questions.size(), questions);
    if (questions)
        QVERIFY(m_platform->questions[0][1].contains(QStringLiteral("automatic time synchronization")));
    for (const FakeClockService::Call& call : m_platform->clock.calls) {
        QCOMPARE(call.usec, qint64(800000));
        QCOMPARE(call.interactive, userStarted);
    }
    if (result == QLatin1String("SUCESS")) {
        // Switched off, then the same correction again.
        QCOMPARE(m_platform->clock.ntpCalls.size(), 1);
        QCOMPARE(m_platform->clock.ntpCalls[0].usec, qint64(0));
        QVERIFY(m_platform->clock.ntpCalls[0].interactive);
        QCOMPARE(m_platform->clock.calls.size(), 2);
        QCOMPARE(m_platform->clock.applied, QList<qint64>{800000});
    } else {
        QVERIFY(m_platform->clock.ntpCalls.isEmpty());
        QCOMPARE(m_platform->clock.calls.size(), 1);
        QCOMPARE(v.lastRefusal(), QStringLiteral("Clock not set: automatic time synchronization (NTP) is on"));
    }
}

QTEST_MAIN(TestVespline)
#include "test_vespline.moc"
