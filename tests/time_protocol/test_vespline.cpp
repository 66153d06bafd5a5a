// The Time Protocol window against scripted servers on 127.0.0.1: replies in pieces, short and long replies,
// resets, floods, silent servers, refused connections and a clock service that refuses.
#include "app/forms.h"
#include "app/main_window.h"
#include "data/server_lists.h"
#include "platform/controls/ss_panel.h"
#include "platform/date_text.h"
#include "platform/events.h"
#include "tests/support/fake_platform.h"
#include "tests/support/sample_rows.h"
#include "tests/support/scripted_time_server.h"
#include "tests/support/vespline_sync.h"
#include "time_protocol/nts_memory.h"
#include "time_protocol/vespline.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QLabel>
#include <QLocale>
#include <QMutex>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QThread>
#include <functional>

using Script = QList<ScriptedTimeServer::Step>;
using S = ScriptedTimeServer;
Q_DECLARE_METATYPE(Script)
Q_DECLARE_METATYPE(Sample)
Q_DECLARE_METATYPE(Nts::Offer)

class TestVespline : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void loadFillsTheList();
    void listMarks_data();
    void listMarks();
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
    void roads_data();
    void roads();
    void lateAnswerOfAnAbandonedStartIsIgnored();

private:
    // Runs one synchronization with the server and returns the result word.
    QString sync(const QString& host, quint16 port, int limitMs = 15000, Starter starter = Starter::Person);
    // One synchronization with a server that sends the reply, started by a person or a timer.
    QString syncStartedBy(bool userStarted);

    FakePlatform* m_platform = nullptr;
    Forms* m_forms = nullptr;
    qint64 m_elapsedMs = 0;
};

namespace {
const QByteArray kReply = QByteArray::fromHex("E96B1E80");
const QDateTime kReplyTime(QDate(2024, 2, 5), QTime(8, 44, 48), Qt::UTC);
// This clock, 0.795 s behind the reply when it arrives.
const QDateTime kClockAtReply = kReplyTime.toLocalTime().addMSecs(-795);
} // namespace

void TestVespline::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    // Nothing here may reach the real system bus.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/horavane-test-bus");
    // The seams of the environment, read once when the first window is made.
    qputenv("HORAVANE_TIME_PORT", "3737");
    qputenv("HORAVANE_SNTP_PORT", "12323");
    qputenv("HORAVANE_NTS_PORT", "14460");
    qputenv("HORAVANE_CA_FILE", "/nonexistent/ca.pem");
}

void TestVespline::init() {
    m_platform = new FakePlatform;
    m_platform->setNow(kClockAtReply);
    m_forms = new Forms(*m_platform);
    useOnlyTimeProtocol(m_forms->vespline());
}

void TestVespline::cleanup() {
    delete m_forms;
    delete m_platform;
}

QString TestVespline::sync(const QString& host, quint16 port, int limitMs, Starter starter) {
    m_forms->vespline().engine().setTimePort(port);
    QElapsedTimer timer;
    timer.start();
    const QString result = syncWithVespline(*m_forms, host, limitMs, starter);
    m_elapsedMs = timer.elapsed();
    return result;
}

QString TestVespline::syncStartedBy(bool userStarted) {
    ScriptedTimeServer server({S::send(kReply), S::close()});
    return sync(QStringLiteral("127.0.0.1"), server.port(), 15000, userStarted ? Starter::Person : Starter::Timer);
}

void TestVespline::loadFillsTheList() {
    Vespline* v = &m_forms->vespline();
    QCOMPARE(v->windowTitle(), QStringLiteral("Synchronize Your Clock"));
    QCOMPARE(v->cmdSync->text(), QStringLiteral("&Synch"));
    QCOMPARE(v->cmdQuit->text(), QStringLiteral("&Quit"));
    QCOMPARE(v->Label1->text(), QStringLiteral("Server to Synchronize to:"));
    QCOMPARE(v->cboURL->font().family(), QStringLiteral("Arial"));
    QCOMPARE(v->cmdSync->font().family(), QStringLiteral("Arial"));
    // 22 entries without sorting or removing repeats: 20 distinct, entry 8 repeats entry 1 and entry 15 entry 2,
    // entry 10 the only dotted-decimal address; the text shows entry 1.
    auto entries = [](const Vespline* w) {
        QStringList list;
        for (int i = 0; i < w->cboURL->count(); ++i)
            list << w->cboURL->itemText(i);
        return list;
    };
    const QStringList loaded = entries(v);
    QCOMPARE(loaded.size(), 22);
    QCOMPARE(QSet<QString>(loaded.begin(), loaded.end()).size(), 20);
    QCOMPARE(loaded[7], loaded[0]);
    QCOMPARE(loaded[14], loaded[1]);
    for (int i = 0; i < loaded.size(); ++i)
        QCOMPARE(QHostAddress(loaded[i]).protocol() == QAbstractSocket::IPv4Protocol, i == 9);
    QCOMPARE(v->cboURL->currentText(), loaded[0]);
    QCOMPARE(v->engine().timePort(), 3737);
    QCOMPARE(v->engine().sntpPort(), quint16(12323));
    QCOMPARE(v->engine().ntsOptions().kePort, quint16(14460));
    QCOMPARE(v->engine().ntsOptions().caFile, QStringLiteral("/nonexistent/ca.pem"));

    // Quit discards the window; the next reference loads it afresh with the same 22 entries.
    v->cmdQuit->click();
    QVERIFY(!m_forms->isVesplineLoaded());
    v = &m_forms->vespline();
    QCOMPARE(entries(v), loaded);
    QCOMPARE(v->cboURL->currentText(), loaded[0]);
}

void TestVespline::listMarks_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("mark");              // 1 offers NTS, 0 known not to (NIST), -1 not in the list
    QTest::addColumn<QStringList>("witnesses"); // one host each of three other operators
    const QString cloudflare = QStringLiteral("time.cloudflare.com");
    const QString netnod = QStringLiteral("nts.netnod.se");
    const QString ptb = QStringLiteral("ptbtime1.ptb.de");
    const QStringList first{cloudflare, netnod, ptb};
    QTest::newRow("the default") << ServerLists::defaultServer() << 1
                                 << QStringList{netnod, ptb, QStringLiteral("ntppool1.time.nl")};
    QTest::newRow("the dialog's first") << ServerLists::internetServers().value(0) << 1
                                        << QStringList{netnod, ptb, QStringLiteral("ntppool1.time.nl")};
    QTest::newRow("NTS host: not its own operator's other hosts")
        << "ptbtime3.ptb.de" << 1 << QStringList{cloudflare, netnod, QStringLiteral("ntppool1.time.nl")};
    QTest::newRow("NTS host in capitals with a dot")
        << "NTS.Netnod.SE." << 1 << QStringList{cloudflare, ptb, QStringLiteral("ntppool1.time.nl")};
    QTest::newRow("NIST name") << "time.nist.gov" << 0 << first;
    QTest::newRow("NIST address") << "132.163.96.1" << 0 << first;
    QTest::newRow("NIST with blanks") << "  utcnist2.colorado.edu " << 0 << first;
    QTest::newRow("unknown host") << "localhost" << -1 << first;
    QTest::newRow("unlisted host of a listed operator")
        << "gbg1.nts.netnod.se" << -1 << QStringList{cloudflare, ptb, QStringLiteral("ntppool1.time.nl")};
    QTest::newRow("a name that only ends like one") << "xtime.nist.gov" << -1 << first;
    QTest::newRow("empty") << "" << -1 << first;
}

void TestVespline::listMarks() {
    QFETCH(QString, host);
    QFETCH(int, mark);
    QFETCH(QStringList, witnesses);
    QCOMPARE(ServerLists::ntsWitnesses(host), witnesses);
    const std::optional<bool> offers = ServerLists::offersNts(host);
    QCOMPARE(offers.has_value() ? int(*offers) : -1, mark);
    // Every built-in entry says which road it starts with.
    for (const QString& entry : ServerLists::internetServers() + ServerLists::timeProtocolServers())
        QVERIFY2(ServerLists::offersNts(entry).has_value(), qPrintable(entry));
    const QStringList list = ServerLists::timeProtocolServers();
    QCOMPARE(QSet<QString>(list.begin(), list.end()).size(), 20);
    static const QRegularExpression ipv4(QStringLiteral("^\\d{1,3}(\\.\\d{1,3}){3}$"));
    QList<int> ipv4At;
    for (int i = 0; i < list.size(); ++i) {
        if (ipv4.match(list.at(i)).hasMatch())
            ipv4At << i + 1;
    }
    QCOMPARE(ipv4At, QList<int>{10});
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
        // The reply's second is read at its middle, widened by a coarse clock's 10-ms tick: 0.795 s behind N is
        // 1.3 s behind the server.
        QCOMPARE(m_platform->clock.applied, QList<qint64>{1300000});
        QCOMPARE(v.lastOutcome(), QStringLiteral("Clock corrected by +1.3 s (Time Protocol)"));
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
    v.engine().setTimePort(server.port());
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
        m_forms->vespline().engine().setExchangeLimitMs(limitMs);
    else
        limitMs = SyncEngine::kExchangeLimitMs;
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
    v.engine().setExchangeLimitMs(1000);
    v.engine().setTimePort(silent.port());
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
    Vespline& v = m_forms->vespline();
    v.engine().setQueryGapMs(800);
    // The other server asked beside it waits for the gap too, rather than be left out of the second check.
    QElapsedTimer clock;
    clock.start();
    QMutex mutex;
    QList<qint64> witnessAskedAtMs;
    v.engine().setWitnesses(QStringList{QStringLiteral("other.example")});
    v.engine().setNtsCall([&](const QString& host, const Nts::Options&) {
        Nts::Result r;
        r.sample.road = Road::kNts;
        r.sample.why = QStringLiteral("no answer");
        QMutexLocker lock(&mutex);
        if (host == QLatin1String("other.example"))
            witnessAskedAtMs << clock.elapsed();
        else
            r.offer = Nts::Offer::No;
        return r;
    });
    QCOMPARE(sync(QStringLiteral("127.0.0.1"), server.port()), QStringLiteral("SUCESS"));
    // Nor when the window was discarded and opened again in between.
    v.cmdQuit_Click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!m_forms->isVesplineLoaded());
    QCOMPARE(sync(QStringLiteral("127.0.0.1"), server.port()), QStringLiteral("SUCESS"));
    QCOMPARE(server.connections(), 2);
    QVERIFY2(server.acceptedAtMs[1] - server.acceptedAtMs[0] >= 750,
             qPrintable(QString::number(server.acceptedAtMs[1] - server.acceptedAtMs[0])));
    QMutexLocker lock(&mutex);
    QCOMPARE(witnessAskedAtMs.size(), 2);
    QVERIFY2(witnessAskedAtMs[1] - witnessAskedAtMs[0] >= 750, qPrintable(QString::number(witnessAskedAtMs[1])));
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
    useOnlyTimeProtocol(forms.vespline());
    ScriptedTimeServer first({S::send(kReply), S::close()});
    ScriptedTimeServer second({S::wait(200), S::send(QByteArray::fromHex("E96B1E20")), S::close()});
    Vespline& v = forms.vespline();
    platform.service.restart = [&] {
        v.engine().setTimePort(second.port());
        v.cmdSync_Click();
    };
    v.engine().setTimePort(first.port());
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
    QTest::newRow("built the day of the reply, a right clock left alone")
        << qint64(0) << 0 << false << none << "SUCESS" << 0 << "Clock already right (±0.5 s)";
    QTest::newRow("reply before the build date")
        << qint64(0) << 1 << true << none << "FAILED" << 0
        << "Clock not set: the server's time 2/5/24 8:44:48 AM is before this program was built";
    QTest::newRow("1000 s by a timer") << qint64(1000) << -1 << false << none << "SUCESS" << 0
                                       << "Clock corrected by +1000.0 s (Time Protocol)";
    QTest::newRow("1001 s by a timer")
        << qint64(1001) << -1 << false << none << "FAILED" << 0
        << "Clock not set: a step of +1001.0 s is too large for an automatic synchronization";
    QTest::newRow("-1001 s by a timer")
        << qint64(-1001) << -1 << false << none << "FAILED" << 0
        << "Clock not set: a step of -1001.0 s is too large for an automatic synchronization";
    QTest::newRow("-1000 s by a person") << qint64(-1000) << -1 << true << none << "SUCESS" << 0
                                         << "Clock corrected by -1000.0 s (Time Protocol)";
    QTest::newRow("1001 s by a person who agrees") << qint64(1001) << -1 << true << QList<bool>{true} << "SUCESS" << 1
                                                   << "Clock corrected by +1001.0 s (Time Protocol)";
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
    // This clock at the middle of the reply's second (widened by a coarse tick), where the server's time is read.
    m_platform->setNow(kReplyTime.toLocalTime().addSecs(-stepSeconds).addMSecs(505));
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
    QCOMPARE(v.lastOutcome(), status);
    if (result == QLatin1String("SUCESS")) {
        QCOMPARE(m_platform->clock.applied, stepSeconds ? QList<qint64>{stepSeconds * 1000000} : QList<qint64>());
        QCOMPARE(m_platform->clock.calls.size(), stepSeconds ? 1 : 0);
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
        QCOMPARE(call.usec, qint64(1300000));
        QCOMPARE(call.interactive, userStarted);
    }
    if (result == QLatin1String("SUCESS")) {
        // Switched off, then the same correction again.
        QCOMPARE(m_platform->clock.ntpCalls.size(), 1);
        QCOMPARE(m_platform->clock.ntpCalls[0].usec, qint64(0));
        QVERIFY(m_platform->clock.ntpCalls[0].interactive);
        QCOMPARE(m_platform->clock.calls.size(), 2);
        QCOMPARE(m_platform->clock.applied, QList<qint64>{1300000});
    } else {
        QVERIFY(m_platform->clock.ntpCalls.isEmpty());
        QCOMPARE(m_platform->clock.calls.size(), 1);
        QCOMPARE(v.lastRefusal(), QStringLiteral("Clock not set: automatic time synchronization (NTP) is on"));
    }
}

namespace {
Sample answered(const QString& road, qint64 correctionUsec, qint64 uncertaintyUsec, qint64 roundTripUsec) {
    return answeredSample(road, correctionUsec, uncertaintyUsec, roundTripUsec, kReplyTime);
}
Sample unanswered(const QString& road, const QString& why) {
    return failedSample(road, why);
}

// The roads' exchanges as the window's seams, answering from the row and recording which were asked.
struct Roads {
    Nts::Offer offer = Nts::Offer::No;
    Sample nts;
    Sample sntp;
    int ntsDelayMs = 0;
    QMutex mutex;
    QStringList asked;

    void attach(Vespline& v) {
        v.engine().setNtsCall([this](const QString&, const Nts::Options&) {
            QThread::msleep(ntsDelayMs);
            record(Road::kNts);
            Nts::Result result;
            result.offer = offer;
            result.sample = nts;
            return result;
        });
        v.engine().setSntpCall([this](const QString&, quint16, int) {
            record(Road::kSntp);
            return sntp;
        });
    }
    void record(const QString& road) {
        QMutexLocker lock(&mutex);
        asked << road;
    }
    int askedCount() {
        QMutexLocker lock(&mutex);
        return static_cast<int>(asked.size());
    }
};
} // namespace

void TestVespline::roads_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<Nts::Offer>("offer");
    QTest::addColumn<Sample>("nts");
    QTest::addColumn<Sample>("sntp");
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QList<qint64>>("applied");
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<qint64>("responseMs");
    const QString local = QStringLiteral("127.0.0.1");
    const Sample none = unanswered(Road::kSntp, QStringLiteral("no answer"));
    const Sample sntp = answered(Road::kSntp, -250000, 1500, 3000);
    const Sample bigStep = answered(Road::kSntp, 1001000000, 1500, 3000);
    const QString certificate =
        QStringLiteral("NTS key exchange refused: the server's certificate is for another host");
    const QStringList ntsOnly{Road::kNts};
    const QStringList sntpOnly{Road::kSntp};
    const QStringList ntsThenSntp{Road::kNts, Road::kSntp};
    QTest::newRow("NTS answers") << local << Nts::Offer::Yes << answered(Road::kNts, 4000, 1000, 2000) << none
                                 << QList<bool>() << "SUCESS"
                                 << "Clock corrected by +0.004 s (NTS)" << QList<qint64>{4000} << ntsOnly << qint64(2);
    QTest::newRow("NTS finds the clock right")
        << local << Nts::Offer::Yes << answered(Road::kNts, -300, 1000, 2000) << none << QList<bool>() << "SUCESS"
        << "Clock already right (±0.001 s)" << QList<qint64>() << ntsOnly << qint64(2);
    QTest::newRow("4460 refused at once, SNTP answers")
        << local << Nts::Offer::No << unanswered(Road::kNts, "refused") << sntp << QList<bool>() << "SUCESS"
        << "Clock corrected by -0.250 s (SNTP)" << QList<qint64>{-250000} << ntsThenSntp << qint64(3);
    QTest::newRow("4460 answers but TLS fails: no downgrade")
        << local << Nts::Offer::Yes << unanswered(Road::kNts, certificate) << sntp << QList<bool>() << "FAILED"
        << "Clock not set: " + certificate +
               " (127.0.0.1 is remembered as offering NTS; to forget it, delete its line in %file)"
        << QList<qint64>() << ntsOnly << qint64(-1);
    QTest::newRow("listed NTS host silent: no downgrade")
        << "time.cloudflare.com" << Nts::Offer::Unknown
        << unanswered(Road::kNts, "the NTS key exchange port did not answer") << sntp << QList<bool>() << "FAILED"
        << "Clock not set: the NTS key exchange port did not answer" << QList<qint64>() << ntsOnly << qint64(-1);
    QTest::newRow("NIST host starts with SNTP")
        << "time.nist.gov" << Nts::Offer::Yes << answered(Road::kNts, 4000, 1000, 2000) << sntp << QList<bool>()
        << "SUCESS"
        << "Clock corrected by -0.250 s (SNTP)" << QList<qint64>{-250000} << sntpOnly << qint64(3);
    QTest::newRow("no NTS, no SNTP: the Time Protocol")
        << local << Nts::Offer::No << unanswered(Road::kNts, "refused") << none << QList<bool>() << "SUCESS"
        << "Clock corrected by +1.3 s (Time Protocol)" << QList<qint64>{1300000}
        << QStringList{Road::kNts, Road::kSntp, Road::kTimeProtocol} << qint64(0);
    QTest::newRow("SNTP large step, confirmed")
        << "time.nist.gov" << Nts::Offer::No << none << bigStep << QList<bool>{true} << "SUCESS"
        << "Clock corrected by +1001.000 s (SNTP)" << QList<qint64>{1001000000} << sntpOnly << qint64(3);
    QTest::newRow("SNTP large step, declined")
        << "time.nist.gov" << Nts::Offer::No << none << bigStep << QList<bool>{false} << "FAILED"
        << "Clock not set: a step of +1001.0 s was not confirmed" << QList<qint64>() << sntpOnly << qint64(3);
    // Valid only at the server's time: its certificate expired by this clock 5 minutes before.
    Sample expired = answered(Road::kNts, 4000, 1000, 2000);
    expired.certificateExpiredUtc = kReplyTime.addSecs(-300);
    QTest::newRow("NTS, certificate expired by this clock: a timer never applies it")
        << local << Nts::Offer::Yes << expired << none << QList<bool>() << "FAILED"
        << "Clock not set: the server's certificate expired on " +
               DateText::generalDate(expired.certificateExpiredUtc.toLocalTime())
        << QList<qint64>() << ntsOnly << qint64(2);
    QTest::newRow("NTS, certificate expired by this clock: a person agrees")
        << local << Nts::Offer::Yes << expired << none << QList<bool>{true} << "SUCESS"
        << "Clock corrected by +0.004 s (NTS)" << QList<qint64>{4000} << ntsOnly << qint64(2);
}

void TestVespline::roads() {
    QFETCH(QString, host);
    QFETCH(Nts::Offer, offer);
    QFETCH(Sample, nts);
    QFETCH(Sample, sntp);
    QFETCH(QList<bool>, answers);
    QFETCH(QString, result);
    QFETCH(QString, status);
    QFETCH(QList<qint64>, applied);
    QFETCH(QStringList, asked);
    QFETCH(qint64, responseMs);
    Roads roads;
    roads.offer = offer;
    roads.nts = nts;
    roads.sntp = sntp;
    Vespline& v = m_forms->vespline();
    roads.attach(v);
    m_platform->answers = answers;
    ScriptedTimeServer server({S::send(kReply), S::close()});
    // A row that asks no question runs as a timer's.
    QCOMPARE(sync(host, server.port(), 15000, answers.isEmpty() ? Starter::Timer : Starter::Person), result);
    QStringList taken = roads.asked;
    if (server.connections())
        taken << Road::kTimeProtocol;
    QCOMPARE(taken, asked);
    const QString memory = m_platform->local(NtsMemory::path(m_platform->programFolder()));
    QCOMPARE(v.lastOutcome(), QString(status).replace(QStringLiteral("%file"), memory));
    if (nts.certificateExpiredUtc.isValid() && !answers.isEmpty())
        QVERIFY(m_platform->questions[0][1].contains(QStringLiteral("certificate expired on")));
    QCOMPARE(m_platform->clock.applied, applied);
    QCOMPARE(m_platform->clock.calls.size(), applied.size());
    QCOMPARE(m_platform->questions.size(), answers.size());
    QCOMPARE(v.lastRoundTripMs(), responseMs);
    QCOMPARE(v.lastRoad(), asked.last());
    QVERIFY(!v.isExchanging());
}

void TestVespline::lateAnswerOfAnAbandonedStartIsIgnored() {
    Roads slow;
    slow.offer = Nts::Offer::Yes;
    slow.nts = answered(Road::kNts, 4000, 1000, 2000);
    slow.sntp = answered(Road::kSntp, -250000, 1500, 3000);
    slow.ntsDelayMs = 300;
    Vespline& v = m_forms->vespline();
    slow.attach(v);
    v.cboURL->setEditText(QStringLiteral("127.0.0.1"));
    v.cmdSync_Click();
    // Started again at once with a NIST host, which takes SNTP while the first NTS exchange still runs.
    QCOMPARE(sync(QStringLiteral("time.nist.gov"), 37), QStringLiteral("SUCESS"));
    QTRY_COMPARE(slow.askedCount(), 2);
    waitMs(100);
    QCOMPARE(m_platform->clock.applied, QList<qint64>{-250000});
    QCOMPARE(v.lastOutcome(), QStringLiteral("Clock corrected by -0.250 s (SNTP)"));
}

QTEST_MAIN(TestVespline)
#include "test_vespline.moc"
