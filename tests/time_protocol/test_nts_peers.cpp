// NTS against real peers on loopback: chronyd as the honest server, and a server of our own that misbehaves in
// the ways chronyd never does.
#include "tests/support/nts_test_server.h"
#include "tests/support/process_fixtures.h"
#include "time_protocol/nts.h"

#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

Q_DECLARE_METATYPE(TestNtsServer::Trick)
Q_DECLARE_METATYPE(Nts::Offer)

class TestNtsPeers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void synchronizesWithChronyd();
    void hostileServer_data();
    void hostileServer();
    void cookiesAreUsedOnceAndRenewed();

private:
    TestCertificates m_certs;
    QString m_address;
};

void TestNtsPeers::initTestCase() {
    m_address = uniqueLoopbackAddress();
    const QString sans = QStringLiteral("DNS:localhost,IP:127.0.0.1,IP:") + m_address;
    QVERIFY2(m_certs.makeAuthority(), qPrintable(m_certs.error()));
    QVERIFY2(m_certs.issue(QStringLiteral("server"), {sans}), qPrintable(m_certs.error()));
    QVERIFY2(m_certs.issue(QStringLiteral("expired"), {sans}, -30, -10), qPrintable(m_certs.error()));
    QVERIFY2(m_certs.issue(QStringLiteral("future"), {sans}, 10, 30), qPrintable(m_certs.error()));
    QVERIFY2(m_certs.issue(QStringLiteral("elsewhere"), {QStringLiteral("DNS:elsewhere.test")}),
             qPrintable(m_certs.error()));
    qputenv("HORAVANE_CA_FILE", m_certs.authority().toLocal8Bit());
}

void TestNtsPeers::synchronizesWithChronyd() {
    ChronydServer chronyd;
    HV_START_FIXTURE(chronyd, m_address, 123, 4460, m_certs.certificate(QStringLiteral("server")),
                     m_certs.key(QStringLiteral("server")));
    qputenv("HORAVANE_NTS_PORT", "4460");
    qputenv("HORAVANE_SNTP_PORT", "123");
    Nts::Client client;
    QVERIFY(!client.completedBefore(m_address));
    const quint64 before = client.keyExchangeCount();
    for (int round = 0; round < 2; ++round) {
        const Nts::Result r = client.synchronize(m_address);
        QVERIFY2(r.sample.ok, qPrintable(r.sample.why));
        QCOMPARE(r.offer, Nts::Offer::Yes);
        QCOMPARE(r.sample.road, QStringLiteral("NTS"));
        // chronyd runs on this very clock.
        QVERIFY2(qAbs(r.sample.correctionUsec) < 5000, qPrintable(QString::number(r.sample.correctionUsec)));
        QVERIFY(r.sample.uncertaintyUsec >= 1000);
        QVERIFY(r.sample.roundTripUsec > 0 && r.sample.roundTripUsec < 1000000);
        QVERIFY(qAbs(r.sample.serverUtc.msecsTo(QDateTime::currentDateTimeUtc())) < 1000);
        QVERIFY(client.completedBefore(m_address));
        // The second round uses a kept cookie: no new key exchange.
        QCOMPARE(client.keyExchangeCount(), before + 1);
    }
}

void TestNtsPeers::hostileServer_data() {
    QTest::addColumn<TestNtsServer::Trick>("trick");
    QTest::addColumn<QString>("cert");
    QTest::addColumn<int>("aheadDays"); // how far the server's clock is ahead of this one
    QTest::addColumn<QString>("why");   // empty: the synchronization succeeds
    QTest::addColumn<Nts::Offer>("offer");
    QTest::addColumn<int>("keyExchanges");
    QTest::addColumn<bool>("completed");
    using T = TestNtsServer::Trick;
    const Nts::Offer yes = Nts::Offer::Yes;
    QTest::newRow("honest") << T::None << "server" << 0 << "" << yes << 1 << true;
    QTest::newRow("tampered authenticator")
        << T::TamperedAuthenticator << "server" << 0 << "the reply's authenticator is not valid" << yes << 1 << true;
    QTest::newRow("NTSN with a wrong identifier")
        << T::RefusalWrongId << "server" << 0 << "a refusal for another request" << yes << 1 << true;
    QTest::newRow("NTSN with the right identifier: one new key exchange")
        << T::RefusalRightId << "server" << 0 << "no longer accepts NTS cookies" << yes << 2 << true;
    QTest::newRow("unknown critical record")
        << T::UnknownCriticalRecord << "server" << 0
        << "NTS key exchange failed: the server sent an unknown critical record (type 10794)" << yes << 0 << false;
    QTest::newRow("TLS 1.2 only") << T::Tls12Only << "server" << 0
                                  << "NTS key exchange refused: the server does not speak TLS 1.3" << yes << 0 << false;
    QTest::newRow("another ALPN") << T::OtherAlpn << "server" << 0
                                  << "NTS key exchange refused: the server does not speak the NTS key exchange protocol"
                                  << yes << 0 << false;
    QTest::newRow("expired certificate, right clock")
        << T::None << "expired" << 0 << "NTS key exchange refused: the server's certificate has expired" << yes << 1
        << false;
    QTest::newRow("this clock far behind: valid at the server's time")
        << T::None << "future" << 20 << "" << yes << 1 << true;
    QTest::newRow("this clock far ahead: valid at the server's time")
        << T::None << "expired" << -20 << "" << yes << 1 << true;
    QTest::newRow("valid neither here nor at the server's time")
        << T::None << "future" << 40 << "NTS key exchange refused: the server's certificate has expired" << yes << 1
        << false;
    QTest::newRow("not yet valid, right clock")
        << T::None << "future" << 0 << "NTS key exchange refused: the server's certificate is not yet valid" << yes << 1
        << false;
    QTest::newRow("certificate for another host")
        << T::None << "elsewhere" << 0 << "NTS key exchange refused: the server's certificate is for another host"
        << yes << 0 << false;
    QTest::newRow("silent after connecting: taken, not remembered")
        << T::Silent << "server" << 0
        << "NTS key exchange refused: the server did not complete the TLS handshake in time" << Nts::Offer::Connected
        << 0 << false;
    QTest::newRow("reply sent 300 s after its request arrived")
        << T::LateTransmit << "server" << 0 << "NTS: the reply is not consistent" << yes << 1 << true;
    QTest::newRow("port refused at once")
        << T::None << "closed port" << 0 << "does not offer NTS" << Nts::Offer::No << 0 << false;
}

void TestNtsPeers::hostileServer() {
    QFETCH(TestNtsServer::Trick, trick);
    QFETCH(QString, cert);
    QFETCH(int, aheadDays);
    QFETCH(QString, why);
    QFETCH(Nts::Offer, offer);
    QFETCH(int, keyExchanges);
    QFETCH(bool, completed);
    const QString name = cert == QStringLiteral("closed port") ? QStringLiteral("server") : cert;
    TestNtsServer server;
    server.setClockAheadSecs(qint64(aheadDays) * 86400);
    QVERIFY2(server.start(m_address, m_certs.certificate(name), m_certs.key(name), trick), qPrintable(server.error()));
    Nts::Options options;
    options.caFile = m_certs.authority();
    // Nothing listens for TCP on the server's UDP port: the connection is refused at once.
    options.kePort = cert == QStringLiteral("closed port") ? server.ntpPort() : server.kePort();
    options.ntpPort = 9; // the key exchange names the server's port; this one must not be used
    options.keLimitMs = 2000;
    options.ntpLimitMs = 1000;
    Nts::Client client;
    const quint64 before = client.keyExchangeCount();
    QElapsedTimer timer;
    timer.start();
    const Nts::Result r = client.synchronize(m_address, options);
    const qint64 ms = timer.elapsed();
    QCOMPARE(r.sample.ok, why.isEmpty());
    QVERIFY2(r.sample.why.contains(why), qPrintable(r.sample.why));
    if (!why.isEmpty())
        QVERIFY2(!r.sample.why.isEmpty(), "a failure without a reason");
    QCOMPARE(r.offer, offer);
    if (r.sample.ok)
        QVERIFY2(qAbs(r.sample.correctionUsec - qint64(aheadDays) * 86400000000) < 100000,
                 qPrintable(QString::number(r.sample.correctionUsec)));
    // Expired by this clock, valid only at the server's: the sample says so, for the guard; not yet valid here
    // counts as valid.
    QCOMPARE(r.sample.certificateExpiredUtc.isValid(), r.sample.ok && cert == QStringLiteral("expired"));
    QCOMPARE(int(client.keyExchangeCount() - before), keyExchanges);
    QVERIFY(server.keyExchanges() >= keyExchanges);
    QCOMPARE(client.completedBefore(m_address), completed);
    // At most one key exchange and one NTP wait for each key exchange, and a refusal costs nothing.
    QVERIFY2(ms < (offer == Nts::Offer::No ? 500 : (2000 + 1000) * std::max(1, keyExchanges) + 500),
             qPrintable(QString::number(ms)));
}

void TestNtsPeers::cookiesAreUsedOnceAndRenewed() {
    // The test server answers a cookie once only, so a cookie used twice shows as a failed synchronization.
    TestNtsServer server;
    QVERIFY2(server.start(m_address, m_certs.certificate(QStringLiteral("server")),
                          m_certs.key(QStringLiteral("server")), TestNtsServer::Trick::None),
             qPrintable(server.error()));
    Nts::Options options;
    options.caFile = m_certs.authority();
    options.kePort = server.kePort();
    options.ntpLimitMs = 1000;
    Nts::Client client;
    const quint64 before = client.keyExchangeCount();
    QVERIFY(client.synchronize(m_address, options).sample.ok);
    std::atomic<int> ok{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 5; ++i)
                ok += client.synchronize(m_address, options).sample.ok ? 1 : 0;
        });
    for (std::thread& t : threads)
        t.join();
    QCOMPARE(ok.load(), 20);
    // Twenty-one synchronizations, more than the eight cookies of one key exchange, and still only that one.
    QCOMPARE(client.keyExchangeCount() - before, quint64(1));
    QCOMPARE(server.keyExchanges(), 1);
}

QTEST_GUILESS_MAIN(TestNtsPeers)
#include "test_nts_peers.moc"
