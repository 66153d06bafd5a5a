// The Time Protocol window and SYNC NOW against xinetd's built-in time service and chronyd (NTP, and NTS with a
// test CA) on loopback addresses, setting the clock through an in-process fake and through the real D-Bus client
// talking to a fake clock service on a private bus.
#include "app/forms.h"
#include "app/main_window.h"
#include "platform/clock_service.h"
#include "platform/controls/ss_panel.h"
#include "platform/events.h"
#include "platform/linux_platform.h"
#include "tests/support/fake_platform.h"
#include "tests/support/nts_test_server.h"
#include "tests/support/process_fixtures.h"
#include "tests/support/vespline_sync.h"
#include "time_protocol/vespline.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// The fake platform with the real clock client, which reaches the fake clock service on the private bus, and the
// real connection check.
class DBusClockPlatform : public FakePlatform {
public:
    // The real clock, which the servers share, less `behindMs`: a clock that is right is left alone, so a
    // test that wants a correction sent runs this one behind.
    static constexpr qint64 kBehindMs = 3000;
    QDateTime now() const override { return QDateTime::currentDateTime().addMSecs(-behindMs); }
    qint64 nowUsec() const override { return m_linux.nowUsec() - behindMs * 1000; }
    // The real tick count: the transit to a real server must be measured, or a right clock read late looks wrong.
    qint32 tickCount() const override { return m_linux.tickCount(); }
    qint64 behindMs = kBehindMs;
    ClockService& clockService() override { return m_service; }
    bool checkInternetConnection(const QString& url) override { return m_linux.checkInternetConnection(url); }

private:
    TimedatedClockService m_service{5000};
    QTemporaryDir m_linuxDrive;
    LinuxPlatform m_linux{DosPaths(m_linuxDrive.path(), QStringLiteral("C:\\Horavane"))};
};

class TestVesplinePeers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void setsTheClockFromXinetd();
    void setsTheClockThroughTheClockService();
    void clockServiceRefusal_data();
    void clockServiceRefusal();
    void syncNowWithXinetd_data();
    void syncNowWithXinetd();
    void lateClockService_data();
    void lateClockService();
    void automaticSyncOnThroughTheService_data();
    void automaticSyncOnThroughTheService();
    void roadsToRealServers_data();
    void roadsToRealServers();

private:
    // SYNC NOW on the main window with xinetd's address, the connection check pointed at `checkUrl`; returns the
    // main window and the time SYNC NOW took.
    Tarnwick1& syncNow(const QByteArray& checkUrl, qint64* elapsedMs);

    TestCertificates m_certs;
    PrivateSystemBus m_bus;
    FakeTimedated m_timedated;
    XinetdTimeServer m_xinetd;
    ChronydServer m_chronyd;
    QString m_address;
    QString m_chronydAddress; // NTP only, on an address of its own
    std::unique_ptr<FakePlatform> m_platform;
    std::unique_ptr<Forms> m_forms;
};

void TestVesplinePeers::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    // The window reads the CA file once, when the first one is made.
    QVERIFY2(m_certs.makeAuthority(), qPrintable(m_certs.error()));
    qputenv("HORAVANE_CA_FILE", m_certs.authority().toLocal8Bit());
    // The private bus replaces the system bus for this process before anything connects to it.
    if (!m_bus.start()) {
        if (m_bus.isMissing())
            QSKIP("dbus-daemon is not installed");
        QFAIL(qPrintable(m_bus.error()));
    }
    QVERIFY2(m_timedated.start(m_bus), qPrintable(m_timedated.error()));
    m_address = uniqueLoopbackAddress();
    if (!m_xinetd.start(m_address)) {
        if (m_xinetd.isMissing())
            QSKIP("xinetd is not installed");
        QFAIL(qPrintable(m_xinetd.error()));
    }
    QVERIFY2(m_certs.issue(QStringLiteral("server"),
                           {QStringLiteral("IP:") + m_address, QStringLiteral("IP:") + uniqueLoopbackAddress(2),
                            QStringLiteral("IP:") + uniqueLoopbackAddress(3)}),
             qPrintable(m_certs.error()));
    QVERIFY2(m_certs.issue(QStringLiteral("elsewhere"), {QStringLiteral("DNS:elsewhere.test")}),
             qPrintable(m_certs.error()));
    m_chronydAddress = uniqueLoopbackAddress(1);
    if (!m_chronyd.start(m_chronydAddress) && !m_chronyd.isMissing())
        QFAIL(qPrintable(m_chronyd.error()));
}

void TestVesplinePeers::init() {
    m_timedated.refuse(QString());
    m_timedated.answerLate(0);
    m_timedated.setNtp(false);
}

void TestVesplinePeers::cleanup() {
    m_forms.reset();
    m_platform.reset();
}

void TestVesplinePeers::setsTheClockFromXinetd() {
    m_platform = std::make_unique<FakePlatform>();
    // Three seconds behind, so that there is a correction to send.
    const QDateTime start = QDateTime::currentDateTime();
    m_platform->setNow(start.addSecs(-3));
    m_forms = std::make_unique<Forms>(*m_platform);
    QCOMPARE(m_forms->vespline().engine().timePort(), 37);
    QCOMPARE(syncWithVespline(*m_forms, m_address), QStringLiteral("SUCESS"));
    const qint64 spentMs = start.msecsTo(QDateTime::currentDateTime());
    QCOMPARE(m_platform->clock.applied.size(), 1);
    // The server's second is read at its middle (widened by a coarse clock's tick), so within 0.505 s plus the
    // exchange; this clock stood still while the exchange took spentMs.
    const qint64 usec = m_platform->clock.applied[0] - 3000000;
    QVERIFY2(usec > -505000 && usec <= 505000 + spentMs * 1000, qPrintable(QString::number(usec)));
    QCOMPARE(m_forms->vespline().lastRoad(), QStringLiteral("Time Protocol"));
}

void TestVesplinePeers::setsTheClockThroughTheClockService() {
    m_platform = std::make_unique<DBusClockPlatform>();
    m_forms = std::make_unique<Forms>(*m_platform);
    const int before = static_cast<int>(m_timedated.calls().size());
    const QDateTime start = QDateTime::currentDateTimeUtc();
    QCOMPARE(syncWithVespline(*m_forms, m_address), QStringLiteral("SUCESS"));
    const QDateTime end = QDateTime::currentDateTimeUtc();
    const QList<SetTimeCall> calls = m_timedated.calls();
    QCOMPARE(calls.size(), before + 1);
    // The fake clock service runs on the real clock, which this program's platform reads kBehindMs behind.
    const QDateTime clock = calls.last().clockAfter().addMSecs(-DBusClockPlatform::kBehindMs);
    QVERIFY2(clock > start.addMSecs(-1000) && clock <= end.addMSecs(1000),
             qPrintable(clock.toString(Qt::ISODateWithMs)));
    QVERIFY(calls.last().relative);
    QVERIFY(calls.last().interactive);
    QVERIFY(m_forms->vespline().lastRefusal().isEmpty());
}

void TestVesplinePeers::clockServiceRefusal_data() {
    QTest::addColumn<QString>("errorName");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("status");
    QTest::newRow("automatic sync on") << "org.freedesktop.timedate1.AutomaticTimeSyncEnabled"
                                       << "Automatic time synchronization is enabled"
                                       << "Clock not set: automatic time synchronization (NTP) is on";
    QTest::newRow("not authorised") << "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"
                                    << "Interactive authentication required."
                                    << "Clock not set: you are not authorised to change the time";
}

void TestVesplinePeers::clockServiceRefusal() {
    QFETCH(QString, errorName);
    QFETCH(QString, message);
    QFETCH(QString, status);
    m_timedated.refuse(errorName, message);
    m_platform = std::make_unique<DBusClockPlatform>();
    m_forms = std::make_unique<Forms>(*m_platform);
    QCOMPARE(syncWithVespline(*m_forms, m_address), QStringLiteral("FAILED"));
    QCOMPARE(m_forms->vespline().lastRefusal(), status);
    QCOMPARE(m_forms->tarnwick1().SSPanel2[0]->caption(), status);
}

void TestVesplinePeers::syncNowWithXinetd_data() {
    QTest::addColumn<bool>("online");
    QTest::newRow("check reaches the time server") << true;
    QTest::newRow("check finds nobody") << false;
}

Tarnwick1& TestVesplinePeers::syncNow(const QByteArray& checkUrl, qint64* elapsedMs) {
    const QByteArray previousUrl = qgetenv("HORAVANE_CHECK_URL");
    qputenv("HORAVANE_CHECK_URL", checkUrl);
    m_platform = std::make_unique<DBusClockPlatform>();
    m_forms = std::make_unique<Forms>(*m_platform);
    Tarnwick1& main = m_forms->tarnwick1();
    main.setCheckPauseMs(20); // its real two seconds are the main window's test's
    main.Label1->setText(m_address);
    QElapsedTimer timer;
    timer.start();
    main.SSCommand3_Click();
    *elapsedMs = timer.elapsed();
    qputenv("HORAVANE_CHECK_URL", previousUrl);
    return main;
}

void TestVesplinePeers::syncNowWithXinetd() {
    QFETCH(bool, online);
    const int before = static_cast<int>(m_timedated.calls().size());
    qint64 ms = 0;
    // The connection check tries a loopback address: xinetd's own port, or the discard port where nothing listens.
    Tarnwick1& main = syncNow(online ? "http://" + m_address.toLatin1() + ":37/" : "http://127.0.0.1:9/", &ms);
    // The connection check, then one quick exchange.
    QVERIFY2(ms < 2000, qPrintable(QString::number(ms)));
    if (online) {
        QCOMPARE(main.Label13->text(), QStringLiteral("True"));
        QCOMPARE(main.Label7->text(), QStringLiteral("SUCESS"));
        QCOMPARE(m_timedated.calls().size(), before + 1);
        QVERIFY(main.SSPanel2[1]->caption().startsWith(QLatin1String("Server Response Time = ")));
    } else {
        QCOMPARE(main.Label13->text(), QStringLiteral("False"));
        QCOMPARE(main.SSPanel2[0]->caption(), QStringLiteral("No internet connection ..."));
        QCOMPARE(m_timedated.calls().size(), before);
    }
}

void TestVesplinePeers::lateClockService_data() {
    QTest::addColumn<int>("lateMs");
    QTest::newRow("1.5 s, a short password prompt") << 1500;
    QTest::newRow("2 s beyond SYNC NOW's own limit") << Tarnwick1::kSyncWaitLimitMs + 2000;
}

void TestVesplinePeers::lateClockService() {
    QFETCH(int, lateMs);
    m_timedated.answerLate(lateMs);
    const int before = static_cast<int>(m_timedated.calls().size());
    qint64 ms = 0;
    Tarnwick1& main = syncNow("http://" + m_address.toLatin1() + ":37/", &ms);
    // The fake answers on a coarse timer, which may fire 5% early.
    QVERIFY2(ms >= lateMs * 95 / 100, qPrintable(QString::number(ms)));
    const QList<SetTimeCall> calls = m_timedated.calls();
    QCOMPARE(calls.size(), before + 1);
    // Applied late, the correction still leaves the clock within the server's one-second resolution.
    const SetTimeCall& call = calls.last();
    QVERIFY(call.relative);
    QVERIFY(call.interactive);
    const qint64 errorMs = call.appliedAt.msecsTo(call.clockAfter()) - DBusClockPlatform::kBehindMs;
    QVERIFY2(errorMs > -1000 && errorMs < 1000, qPrintable(QString::number(errorMs)));
    // What SYNC NOW shows and hands to the result log is what happened.
    QCOMPARE(main.Label7->text(), QStringLiteral("SUCESS"));
    QVERIFY2(main.SSPanel2[0]->caption().startsWith(QLatin1String("Clock corrected by ")),
             qPrintable(main.SSPanel2[0]->caption()));
}

void TestVesplinePeers::automaticSyncOnThroughTheService_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("switched off, then set") << true;
    QTest::newRow("kept on") << false;
}

void TestVesplinePeers::automaticSyncOnThroughTheService() {
    QFETCH(bool, yes);
    m_timedated.setNtp(true);
    m_platform = std::make_unique<DBusClockPlatform>();
    m_platform->answers = {yes};
    m_forms = std::make_unique<Forms>(*m_platform);
    const int before = static_cast<int>(m_timedated.calls().size());
    const int ntpBefore = static_cast<int>(m_timedated.ntpCalls().size());
    QCOMPARE(syncWithVespline(*m_forms, m_address), yes ? QStringLiteral("SUCESS") : QStringLiteral("FAILED"));
    QCOMPARE(m_platform->questions.size(), 1);
    const QList<SetNtpCall> ntp = m_timedated.ntpCalls();
    QCOMPARE(ntp.size(), ntpBefore + (yes ? 1 : 0));
    if (yes) {
        QVERIFY(!ntp.last().on);
        QVERIFY(ntp.last().interactive);
        QCOMPARE(m_timedated.calls().size(), before + 1);
    } else {
        QCOMPARE(m_timedated.calls().size(), before);
    }
}

void TestVesplinePeers::roadsToRealServers_data() {
    // chronyd with NTP only on an address of its own; xinetd, with no SNTP; or, given a certificate's name,
    // chronyd with NTS (and NTP) on xinetd's address.
    QTest::addColumn<QString>("peer");
    QTest::addColumn<qint64>("behindMs");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("road");
    QTest::addColumn<QString>("status");
    QTest::addColumn<qint64>("toleranceUsec"); // of the correction sent
    // With two more NTS chronyds asked beside `peer`, the one 100 s ahead: 0 `peer`, 2 the second of the
    // others; -1: no others.
    QTest::addColumn<int>("ahead");
    const QString ok = QStringLiteral("SUCESS");
    const QString sntp = QStringLiteral("SNTP");
    const QString time = QStringLiteral("Time Protocol");
    QTest::newRow("SNTP from chronyd") << "chronyd" << qint64(3000) << ok << sntp << "(SNTP)" << qint64(20000) << -1;
    QTest::newRow("SNTP, a right clock left alone")
        << "chronyd" << qint64(0) << ok << sntp << "Clock already right (±" << qint64(0) << -1;
    QTest::newRow("no SNTP, the Time Protocol from xinetd")
        << "xinetd" << qint64(3000) << ok << time << "(Time Protocol)" << qint64(600000) << -1;
    QTest::newRow("Time Protocol, a right clock left alone")
        << "xinetd" << qint64(0) << ok << time << "Clock already right (±0.5 s)" << qint64(0) << -1;
    // chronyd serves this very clock, which NTS reads as it is.
    QTest::newRow("NTS from chronyd, a right clock left alone") << "server" << qint64(0) << ok << "NTS"
                                                                << "Clock already right (±" << qint64(0) << -1;
    QTest::newRow("NTS refused for another host's certificate: no SNTP although chronyd answers it")
        << "elsewhere" << qint64(3000) << "FAILED"
        << "NTS"
        << "Clock not set: NTS key exchange refused: the server's certificate is for another host" << qint64(0) << -1;
    // The three agree but for one whose clock runs 100 s ahead: the falseticker, then the chosen server.
    QTest::newRow("NTS from chronyd, one of the others 100 s ahead") << "server" << qint64(3000) << ok << "NTS"
                                                                     << "(NTS, 2 servers agree)" << qint64(20000) << 2;
    QTest::newRow("NTS from chronyd 100 s ahead of the others")
        << "server" << qint64(3000) << "FAILED"
        << "NTS"
        << "is 100.0 s away from 2 other servers" << qint64(0) << 0;
}

void TestVesplinePeers::roadsToRealServers() {
    QFETCH(QString, peer);
    QFETCH(qint64, behindMs);
    QFETCH(QString, result);
    QFETCH(QString, road);
    QFETCH(QString, status);
    QFETCH(qint64, toleranceUsec);
    QFETCH(int, ahead);
    const bool nts = peer != QLatin1String("chronyd") && peer != QLatin1String("xinetd");
    if (peer == QLatin1String("chronyd") && m_chronyd.isMissing())
        QSKIP("chronyd is not installed");
    ChronydServer ntsServer;
    ChronydServer others[2];
    QStringList witnesses;
    for (int i = 0; ahead >= 0 && i < 2; ++i) {
        witnesses << uniqueLoopbackAddress(2 + i);
        others[i].setAheadSeconds(ahead == i + 1 ? 100 : 0);
        HV_START_FIXTURE(others[i], witnesses.last(), 123, 4460, m_certs.certificate(peer), m_certs.key(peer));
    }
    ntsServer.setAheadSeconds(ahead == 0 ? 100 : 0);
    if (nts)
        HV_START_FIXTURE(ntsServer, m_address, 123, 4460, m_certs.certificate(peer), m_certs.key(peer));
    auto platform = std::make_unique<DBusClockPlatform>();
    platform->behindMs = behindMs;
    m_platform = std::move(platform);
    m_forms = std::make_unique<Forms>(*m_platform);
    if (ahead >= 0)
        m_forms->vespline().engine().setWitnesses(witnesses);
    const int before = static_cast<int>(m_timedated.calls().size());
    const QString got = syncWithVespline(*m_forms, peer == QLatin1String("chronyd") ? m_chronydAddress : m_address);
    QVERIFY2(got == result, qPrintable(m_forms->vespline().lastOutcome()));
    const Vespline& v = m_forms->vespline();
    QVERIFY2(v.lastOutcome().contains(status), qPrintable(v.lastOutcome()));
    QCOMPARE(v.lastRoad(), road);
    if (result == QLatin1String("SUCESS"))
        QVERIFY(v.lastRoundTripMs() >= 0 && v.lastRoundTripMs() < 1000);
    const bool sent = behindMs && result == QLatin1String("SUCESS");
    const QList<SetTimeCall> calls = m_timedated.calls();
    QCOMPARE(calls.size(), before + (sent ? 1 : 0));
    if (sent) {
        const qint64 error = calls.last().usec - behindMs * 1000;
        QVERIFY2(qAbs(error) <= toleranceUsec, qPrintable(QString::number(error)));
    }
    if (nts && result == QLatin1String("FAILED") && ahead < 0) {
        // Its port 4460 spoke TLS: after a new start on the same drive folder, with that port now refused and the
        // Time Protocol answering, the host is still asked by NTS alone.
        ntsServer.stop();
        m_forms.reset();
        m_forms = std::make_unique<Forms>(*m_platform);
        QCOMPARE(syncWithVespline(*m_forms, m_address), QStringLiteral("FAILED"));
        const QString again = m_forms->vespline().lastOutcome();
        QVERIFY2(again.contains(QStringLiteral("does not offer NTS (%1 is remembered as offering NTS").arg(m_address)),
                 qPrintable(again));
        QVERIFY2(again.endsWith(QStringLiteral("Horavane/NtsHosts.txt)")), qPrintable(again));
        QCOMPARE(m_timedated.calls().size(), before);
    }
}

QTEST_MAIN(TestVesplinePeers)
#include "test_vespline_peers.moc"
