// SNTP replies checked and converted with the era rule, the "net view" listing's form, and what "net time" does
// with an answer: the correction and the guards against an implausible or large step.
#include "platform/clock_service.h"
#include "platform/cmd/net_time.h"
#include "platform/cmd/net_view.h"
#include "platform/cmd/sntp.h"

#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTest>
#include <QUdpSocket>

class TestCmdReplies : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void request();
    void sntpReply_data();
    void sntpReply();
    void viewListing();
    void viewWithoutComputers();
    void nameFromService_data();
    void nameFromService();
    void netTimeGuards_data();
    void netTimeGuards();
};

namespace {
QByteArray reply(quint8 first, quint8 stratum, quint32 seconds, quint32 fraction) {
    QByteArray r(48, '\0');
    r[0] = static_cast<char>(first);
    r[1] = static_cast<char>(stratum);
    for (int i = 0; i < 4; ++i) {
        r[40 + i] = static_cast<char>(seconds >> (24 - 8 * i));
        r[44 + i] = static_cast<char>(fraction >> (24 - 8 * i));
    }
    return r;
}
QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}
} // namespace

void TestCmdReplies::request() {
    const QByteArray r = Sntp::request();
    QCOMPARE(r.size(), 48);
    QCOMPARE(r[0], char(0x23));
    QCOMPARE(r.mid(1), QByteArray(47, '\0'));
}

void TestCmdReplies::sntpReply_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QDateTime>("time");
    // 3,990,000,000 s after 1900 is 2026-06-09 13:20:00 UTC.
    QTest::newRow("server reply") << reply(0x24, 2, 3'990'000'000u, 0) << true << utc(2026, 6, 9, 13, 20, 0);
    QTest::newRow("half a second of fraction")
        << reply(0x24, 2, 3'990'000'000u, 0x80000000u) << true << utc(2026, 6, 9, 13, 20, 0, 500);
    QTest::newRow("top bit clear: after 2036") << reply(0x24, 1, 0, 1) << true << utc(2036, 2, 7, 6, 28, 16);
    QTest::newRow("one second into the next era") << reply(0x1C, 1, 1, 0) << true << utc(2036, 2, 7, 6, 28, 17);
    QTest::newRow("last second of this era") << reply(0x24, 1, 0xFFFFFFFFu, 0) << true << utc(2036, 2, 7, 6, 28, 15);
    QTest::newRow("mode 3 (a client)") << reply(0x23, 2, 3'990'000'000u, 0) << false << QDateTime();
    QTest::newRow("mode 5 (broadcast)") << reply(0x25, 2, 3'990'000'000u, 0) << false << QDateTime();
    QTest::newRow("stratum 0 (kiss-o'-death)") << reply(0x24, 0, 3'990'000'000u, 0) << false << QDateTime();
    QTest::newRow("zero transmit time") << reply(0x24, 2, 0, 0) << false << QDateTime();
    QTest::newRow("short") << reply(0x24, 2, 3'990'000'000u, 0).left(47) << false << QDateTime();
    QTest::newRow("empty") << QByteArray() << false << QDateTime();
}

void TestCmdReplies::sntpReply() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(QDateTime, time);
    const Sntp::Reply r = Sntp::parse(bytes);
    QCOMPARE(r.ok, ok);
    QCOMPARE(r.why.isEmpty(), ok);
    if (ok)
        QCOMPARE(r.utc, time);
}

void TestCmdReplies::viewListing() {
    const QString out = NetView::format({{QStringLiteral("pc1.local"), QStringLiteral("PC1 [00:11:22:33:44:55]")},
                                         {QStringLiteral("a-very-long-name.local"), QStringLiteral("x\ry")}});
    const QStringList lines = out.split(QStringLiteral("\r\n"));
    QCOMPARE(lines[0], QStringLiteral("Server Name            Remark"));
    QCOMPARE(lines[2], QString(79, QLatin1Char('-')));
    // Discovery keeps the first 23 characters of a "\\" line: the name and blanks, never the remark.
    QCOMPARE(lines[3], QStringLiteral("\\\\pc1.local            PC1 [00:11:22:33:44:55]"));
    QCOMPARE(lines[3].left(23).trimmed(), QStringLiteral("\\\\pc1.local"));
    QCOMPARE(lines[4], QStringLiteral("\\\\a-very-long-name.local x y"));
    QCOMPARE(lines[5], QStringLiteral("The command completed successfully."));
}

void TestCmdReplies::viewWithoutComputers() {
    const QString out = NetView::format({});
    QVERIFY(out.contains(QLatin1String("There are no entries in the list.")));
    QVERIFY(!out.contains(QLatin1String("\\\\")));
    QVERIFY(NetView::unavailable(QStringLiteral("no bus")).contains(QLatin1String("is not currently available")));
}

void TestCmdReplies::nameFromService_data() {
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("name");
    QTest::newRow("workstation") << QStringLiteral("pc1 [00:11:22:aa:bb:cc]") << QStringLiteral("pc1.local");
    QTest::newRow("file server") << QStringLiteral("NAS") << QStringLiteral("NAS.local");
    QTest::newRow("blank inside") << QStringLiteral("Office Laptop") << QString();
    QTest::newRow("comma") << QStringLiteral("a,b") << QString();
}

void TestCmdReplies::nameFromService() {
    QFETCH(QString, service);
    QFETCH(QString, name);
    QCOMPARE(NetView::nameFromService(service), name);
}

namespace {
// Records the corrections instead of setting a clock.
class RecordingClock : public ClockService {
public:
    ClockResult setTime(qint64 usec, bool userInteraction) override {
        calls << qMakePair(usec, userInteraction);
        return {true, {}, {}};
    }
    ClockResult setNtp(bool, bool) override { return {true, {}, {}}; }
    QList<QPair<qint64, bool>> calls;
};
} // namespace

void TestCmdReplies::netTimeGuards_data() {
    QTest::addColumn<qint64>("aheadSeconds"); // the server's clock against this one; 0 with `seconds` set
    QTest::addColumn<quint32>("seconds");     // a fixed transmit time instead
    QTest::addColumn<bool>("userStarted");
    QTest::addColumn<QString>("said");
    QTest::newRow("on time, a timer's run") << qint64(0) << 0u << false << "The command completed successfully.";
    QTest::newRow("990 s ahead, a timer's run") << qint64(990) << 0u << false << "Clock corrected by +9";
    QTest::newRow("1010 s ahead, a timer's run") << qint64(1010) << 0u << false << "is too large";
    QTest::newRow("1010 s behind, a timer's run") << qint64(-1010) << 0u << false << "is too large";
    QTest::newRow("1010 s ahead, a person's /yes") << qint64(1010) << 0u << true << "Clock corrected by +10";
    QTest::newRow("0x80000000 is 1968") << qint64(0) << 0x80000000u << true << "before this program was built";
}

void TestCmdReplies::netTimeGuards() {
    QFETCH(qint64, aheadSeconds);
    QFETCH(quint32, seconds);
    QFETCH(bool, userStarted);
    QFETCH(QString, said);
    // An SNTP server on loopback whose clock runs ahead by the given seconds; no Time Protocol server.
    QUdpSocket server;
    QVERIFY(server.bind(QHostAddress::LocalHost, 0));
    connect(&server, &QUdpSocket::readyRead, this, [&] {
        while (server.hasPendingDatagrams()) {
            const QNetworkDatagram request = server.receiveDatagram();
            const QDateTime t = QDateTime::currentDateTimeUtc().addSecs(aheadSeconds);
            const quint32 s1900 = seconds ? seconds : static_cast<quint32>(t.toSecsSinceEpoch() + 2208988800LL);
            const quint32 fraction =
                seconds ? 0u : static_cast<quint32>((static_cast<quint64>(t.time().msec()) << 32) / 1000);
            QByteArray answer = reply(0x24, 2, s1900, fraction);
            answer.replace(24, 8, request.data().mid(40, 8)); // the request's own stamp as the originate time
            server.writeDatagram(request.makeReply(answer));
        }
    });
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    RecordingClock clock;
    const QString out = NetTime::run(QStringLiteral("127.0.0.1"), clock, {server.localPort(), closedPort}, userStarted);
    QVERIFY2(out.contains(said), qPrintable(out));
    const bool set = out.contains(QLatin1String("The command completed successfully."));
    QCOMPARE(clock.calls.size(), set ? 1 : 0);
    if (set) {
        // Relative: the server's lead, to within the exchange's few milliseconds.
        QVERIFY2(std::llabs(clock.calls[0].first - aheadSeconds * 1000000) < 200000,
                 qPrintable(QString::number(clock.calls[0].first)));
        QCOMPARE(clock.calls[0].second, userStarted);
    } else {
        QVERIFY2(out.contains(QLatin1String("System error")), qPrintable(out));
        QVERIFY(out.contains(QLatin1String("Clock not set: ")));
    }
}

QTEST_GUILESS_MAIN(TestCmdReplies)
#include "test_cmd_replies.moc"
