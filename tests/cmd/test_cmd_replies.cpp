// SNTP replies checked and converted with the era rule, also against a loopback peer that sends bad replies
// ahead of its good one, the "net view" listing's form, and what "net time" does with an answer: the correction
// and the guards against an implausible or large step.
#include "cmd/net_time.h"
#include "cmd/net_view.h"
#include "platform/clock_service.h"
#include "tests/support/process_fixtures.h"
#include "tests/support/scripted_time_server.h"
#include "time_protocol/ntp_time.h"
#include "time_protocol/sntp.h"
#include "time_protocol/sntp_exchange.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>
#include <chrono>
#include <future>

class TestCmdReplies : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void request();
    void sntpReply_data();
    void sntpReply();
    void sntpSample_data();
    void sntpSample();
    void badRepliesFromThePeer_data();
    void badRepliesFromThePeer();
    void exchangeOverAFakeLink_data();
    void exchangeOverAFakeLink();
    void timeProtocolStreams_data();
    void timeProtocolStreams();
    void viewListing();
    void viewWithoutComputers();
    void computerFromResolve_data();
    void computerFromResolve();
    void netTimeGuards_data();
    void netTimeGuards();
    void earlierRun_data();
    void earlierRun();
};

namespace {
constexpr quint64 kNonce = 0x0123456789ABCDEFull;

QByteArray reply(quint8 first, quint8 stratum, quint32 seconds, quint32 fraction, quint64 originate = kNonce) {
    QByteArray r(48, '\0');
    r[0] = static_cast<char>(first);
    r[1] = static_cast<char>(stratum);
    for (int i = 0; i < 4; ++i) {
        r[40 + i] = static_cast<char>(seconds >> (24 - 8 * i));
        r[44 + i] = static_cast<char>(fraction >> (24 - 8 * i));
    }
    for (int i = 0; i < 8; ++i)
        r[24 + i] = static_cast<char>(originate >> (56 - 8 * i));
    return r;
}
// Runs `call` on a thread of its own while this thread's event loop serves the peer, as a server apart would.
template <typename Call> auto besideThePeer(Call call) {
    auto result = std::async(std::launch::async, call);
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QTest::qWait(1);
    return result.get();
}
QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}
} // namespace

void TestCmdReplies::request() {
    const QByteArray r = Sntp::request(kNonce);
    QCOMPARE(r.size(), 48);
    QCOMPARE(r[0], char(0x23));
    QCOMPARE(r.mid(1, 39), QByteArray(39, '\0'));
    QCOMPARE(r.mid(40), QByteArray::fromHex("0123456789abcdef"));
    // The nonce is what a forger must guess: never zero, never the same twice.
    const quint64 a = Sntp::newNonce();
    const quint64 b = Sntp::newNonce();
    QVERIFY(a != 0 && b != 0 && a != b);
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
    QTest::newRow("version 3") << reply(0x1C, 2, 3'990'000'000u, 0) << true << utc(2026, 6, 9, 13, 20, 0);
    QTest::newRow("leap indicator 1 (a leap second today)")
        << reply(0x64, 2, 3'990'000'000u, 0) << true << utc(2026, 6, 9, 13, 20, 0);
    QTest::newRow("stratum 15") << reply(0x24, 15, 3'990'000'000u, 0) << true << utc(2026, 6, 9, 13, 20, 0);
    QTest::newRow("mode 3 (a client)") << reply(0x23, 2, 3'990'000'000u, 0) << false << QDateTime();
    QTest::newRow("mode 5 (broadcast)") << reply(0x25, 2, 3'990'000'000u, 0) << false << QDateTime();
    QTest::newRow("version 2") << reply(0x14, 2, 3'990'000'000u, 0) << false << QDateTime();
    QTest::newRow("version 5") << reply(0x2C, 2, 3'990'000'000u, 0) << false << QDateTime();
    QTest::newRow("leap indicator 3 (not synchronized)") << reply(0xE4, 2, 3'990'000'000u, 0) << false << QDateTime();
    QTest::newRow("stratum 0 (kiss-o'-death)") << reply(0x24, 0, 3'990'000'000u, 0) << false << QDateTime();
    QTest::newRow("stratum 16") << reply(0x24, 16, 3'990'000'000u, 0) << false << QDateTime();
    QTest::newRow("stratum 255") << reply(0x24, 255, 3'990'000'000u, 0) << false << QDateTime();
    QTest::newRow("originate zero (forged)") << reply(0x24, 2, 3'990'000'000u, 0, 0) << false << QDateTime();
    QTest::newRow("originate one bit off") << reply(0x24, 2, 3'990'000'000u, 0, kNonce ^ 1u) << false << QDateTime();
    QTest::newRow("originate halves swapped")
        << reply(0x24, 2, 3'990'000'000u, 0, (kNonce << 32) | (kNonce >> 32)) << false << QDateTime();
    QTest::newRow("zero transmit time") << reply(0x24, 2, 0, 0) << false << QDateTime();
    QTest::newRow("short") << reply(0x24, 2, 3'990'000'000u, 0).left(47) << false << QDateTime();
    QTest::newRow("empty") << QByteArray() << false << QDateTime();
}

void TestCmdReplies::sntpReply() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(QDateTime, time);
    const Sntp::Reply r = Sntp::parse(bytes, kNonce);
    QCOMPARE(r.ok, ok);
    QCOMPARE(r.why.isEmpty(), ok);
    if (ok)
        QCOMPARE(r.utc, time);
}

void TestCmdReplies::sntpSample_data() {
    // Microseconds from this clock's send time T1: the server's receive (T2) and transmit (T3) times, 0 for a
    // receive time left blank, and the monotonic time to the reply; the server's root delay and dispersion; then
    // what the sample must say, or why there is none.
    QTest::addColumn<qint64>("t2");
    QTest::addColumn<qint64>("t3");
    QTest::addColumn<qint64>("elapsed");
    QTest::addColumn<qint64>("rootDelay");
    QTest::addColumn<qint64>("rootDispersion");
    QTest::addColumn<qint64>("correction");
    QTest::addColumn<qint64>("uncertainty");
    QTest::addColumn<bool>("right");
    QTest::addColumn<QString>("why");
    const auto row = [](const char* name, qint64 t2, qint64 t3, qint64 elapsed, qint64 delay, qint64 dispersion,
                        qint64 correction, qint64 uncertainty, bool right, const char* why = "") {
        QTest::newRow(name) << t2 << t3 << elapsed << delay << dispersion << correction << uncertainty << right
                            << QString::fromUtf8(why);
    };
    row("300 s ahead, 20 ms on the network", 300'010'000, 300'011'000, 21'000, 0, 0, 300'000'000, 10'000, false);
    row("2.5 s behind", -2'495'000, -2'495'000, 10'000, 0, 0, -2'500'000, 5'000, false);
    row("right clock", 5'000, 5'000, 10'000, 0, 0, 0, 5'000, true);
    row("server's own 500 ms left out", 10'000, 510'000, 520'000, 0, 0, 0, 10'000, true);
    row("asymmetric path: within half the round trip", 18'000, 18'000, 20'000, 0, 0, 8'000, 10'000, true);
    row("just past half the round trip", 20'500, 20'500, 20'000, 0, 0, 10'500, 10'000, false);
    row("quick exchange: 0.8 ms is below the 1 ms floor", 900, 900, 200, 0, 0, 800, 1'000, true);
    row("quick exchange: 1.2 ms is not", 1'300, 1'300, 200, 0, 0, 1'200, 1'000, false);
    row("blank receive time: the transmit time stands in", 0, 300'010'000, 20'000, 0, 0, 300'000'000, 10'000, false);
    // The root distance: half the network's time, the root dispersion and half the root delay.
    row("root delay 0.5 s, dispersion 0.25 s: right to 0.505 s", 5'000, 5'000, 10'000, 500'000, 250'000, 0, 505'000,
        true);
    row("dispersion 0.875 s: ±1.130 s is no answer", 5'000, 5'000, 10'000, 500'000, 875'000, 0, 0, false,
        "cannot be trusted to better than ±1.130 s");
    // The server's own time outside the round trip: 300 s of it in a 1 ms exchange, less than none, 2 us too much.
    row("sent 300 s after it was received", 500, 300'000'500, 1'000, 0, 0, 0, 0, false, "the reply is not consistent");
    row("sent 300 s before it was received", 300'000'500, 500, 1'000, 0, 0, 0, 0, false, "the reply is not consistent");
    row("server's time past the round trip", 100, 1'102, 1'000, 0, 0, 0, 0, false, "the reply is not consistent");
}

void TestCmdReplies::sntpSample() {
    QFETCH(qint64, t2);
    QFETCH(qint64, t3);
    QFETCH(qint64, elapsed);
    QFETCH(qint64, rootDelay);
    QFETCH(qint64, rootDispersion);
    QFETCH(qint64, correction);
    QFETCH(qint64, uncertainty);
    QFETCH(bool, right);
    QFETCH(QString, why);
    const qint64 t1 = 1'781'000'000'000'000LL; // 2026-06-09, this clock when the request left
    QByteArray bytes = reply(0x24, 2, 0, 0);
    const auto put = [&](int at, quint64 value, int size) {
        for (int i = 0; i < size; ++i)
            bytes[at + i] = static_cast<char>(value >> (8 * (size - 1 - i)));
    };
    put(4, quint64(rootDelay) * 65536 / 1000000, 4);
    put(8, quint64(rootDispersion) * 65536 / 1000000, 4);
    put(32, t2 ? NtpTime::timestamp(t1 + t2) : 0, 8);
    put(40, NtpTime::timestamp(t1 + t3), 8);
    const Sntp::Reply r = Sntp::parse(bytes, kNonce);
    QVERIFY2(r.ok, qPrintable(r.why));
    const Sample s = Sntp::sample(r, t1, elapsed);
    QCOMPARE(s.road, QStringLiteral("SNTP"));
    // The real round trip, the server's own time included: what "Server Response Time" shows.
    QCOMPARE(s.roundTripUsec, elapsed);
    QCOMPARE(s.ok, why.isEmpty());
    QVERIFY2(s.why.contains(why), qPrintable(s.why));
    if (!s.ok)
        return;
    // NTP fractions are 2^-32 s: a microsecond either way is the stamps' rounding.
    QVERIFY2(std::llabs(s.correctionUsec - correction) <= 1, qPrintable(QString::number(s.correctionUsec)));
    QVERIFY2(std::llabs(s.uncertaintyUsec - uncertainty) <= 1, qPrintable(QString::number(s.uncertaintyUsec)));
    QCOMPARE(s.withinUncertainty(), right);
    // The server's time when the reply was read.
    QVERIFY(std::llabs(s.serverUtc.toMSecsSinceEpoch() - (t1 + elapsed + correction) / 1000) <= 1);
    // A bad reply gives no sample, and never one that counts as right.
    const Sample none = Sntp::sample(Sntp::parse(bytes.left(47), kNonce), t1, elapsed);
    QVERIFY(!none.ok && !none.withinUncertainty() && !none.why.isEmpty());
}

void TestCmdReplies::badRepliesFromThePeer_data() {
    // Each bad reply comes from the server's own address and port and carries 2030-01-01 as its time; the good
    // one, when sent, carries 2026-06-09 13:20:00. The nonce column is replaced by the request's own nonce.
    QTest::addColumn<QList<QByteArray>>("bad");
    QTest::addColumn<int>("copies");
    QTest::addColumn<bool>("good");
    const quint32 wrong = 4'102'444'800u; // 2030-01-01 00:00:00 UTC
    const QByteArray forged = reply(0x24, 2, wrong, 0, 0);
    const QByteArray echoed = reply(0x24, 2, wrong, 0, 1); // 1: echo the request's nonce
    QTest::newRow("forged reply first") << QList<QByteArray>{forged} << 1 << true;
    QTest::newRow("every kind of bad reply first")
        << QList<QByteArray>{forged,
                             reply(0xE4, 2, wrong, 0, 1),  // not synchronized
                             reply(0x24, 16, wrong, 0, 1), // stratum 16
                             reply(0x24, 0, wrong, 0, 1),  // kiss-o'-death
                             reply(0x23, 2, wrong, 0, 1),  // a client's packet
                             reply(0x14, 2, wrong, 0, 1),  // version 2
                             reply(0x24, 2, 0, 0, 1),      // no time
                             echoed.left(47)}
        << 1 << true;
    QTest::newRow("5,000 forged replies first") << QList<QByteArray>{forged} << 5000 << true;
    QTest::newRow("only forged replies") << QList<QByteArray>{forged} << 50 << false;
}

// The peer answers the request with the bad replies, in bursts that the client must read through, then with
// the good one.
void TestCmdReplies::badRepliesFromThePeer() {
    QFETCH(QList<QByteArray>, bad);
    QFETCH(int, copies);
    QFETCH(bool, good);
    const QHostAddress address(uniqueLoopbackAddress(1));
    QUdpSocket peer;
    QVERIFY(peer.bind(address, 0));
    QList<QByteArray> sends;
    QHostAddress client;
    quint16 clientPort = 0;
    QTimer burst;
    burst.setInterval(1);
    QObject::connect(&burst, &QTimer::timeout, &peer, [&] {
        for (int i = 0; i < 250 && !sends.isEmpty(); ++i)
            peer.writeDatagram(sends.takeFirst(), client, clientPort);
        if (sends.isEmpty())
            burst.stop();
    });
    QObject::connect(&peer, &QUdpSocket::readyRead, &peer, [&] {
        const QNetworkDatagram request = peer.receiveDatagram();
        const QByteArray nonce = request.data().mid(40, 8);
        client = request.senderAddress();
        clientPort = static_cast<quint16>(request.senderPort());
        for (int i = 0; i < copies; ++i) {
            for (QByteArray b : bad) {
                if (b.mid(24, 8) == QByteArray::fromHex("0000000000000001"))
                    b.replace(24, 8, nonce);
                sends << b;
            }
        }
        if (good)
            sends << reply(0x24, 2, 3'990'000'000u, 0).replace(24, 8, nonce);
        burst.start();
    });
    // Nothing listens on port 9 there, so the Time Protocol cannot stand in for SNTP.
    QElapsedTimer t;
    t.start();
    const Sample answer = besideThePeer([&] { return NetTime::ask(address.toString(), {peer.localPort(), 9}, 3000); });
    QVERIFY2(answer.ok == good, qPrintable(answer.why));
    if (good) {
        QCOMPARE(answer.road, QStringLiteral("SNTP"));
        QVERIFY2(answer.serverUtc >= utc(2026, 6, 9, 13, 20, 0) && answer.serverUtc < utc(2026, 6, 9, 13, 20, 3),
                 qPrintable(answer.serverUtc.toString(Qt::ISODateWithMs)));
    } else {
        QVERIFY2(answer.why.contains(QLatin1String("does not answer this request")), qPrintable(answer.why));
        // Kept listening to its limit (a coarse timer may end it up to 5 % early).
        QVERIFY2(t.elapsed() >= 2800, qPrintable(QString::number(t.elapsed())));
    }
    QVERIFY(sends.isEmpty());
}

namespace {
// Hands out scripted datagrams; a reply whose originate stamp is 1 gets the request's own nonce there.
class ScriptedLink : public NetIo::DatagramLink {
public:
    bool sendFails = false;
    QList<Received> script;
    bool send(const QByteArray& bytes) override {
        m_nonce = bytes.mid(40, 8);
        return !sendFails;
    }
    Received receive(int) override {
        if (script.isEmpty())
            return {};
        Received next = script.takeFirst();
        if (next.bytes.mid(24, 8) == QByteArray::fromHex("0000000000000001"))
            next.bytes.replace(24, 8, m_nonce);
        return next;
    }

private:
    QByteArray m_nonce;
};
} // namespace

void TestCmdReplies::exchangeOverAFakeLink_data() {
    using Kind = NetIo::DatagramLink::Received::Kind;
    using R = NetIo::DatagramLink::Received;
    QTest::addColumn<QList<R>>("script");
    QTest::addColumn<bool>("sendFails");
    QTest::addColumn<QString>("why"); // empty: a sample
    const R good{Kind::Datagram, reply(0x24, 2, 3'990'000'000u, 0, 1), {}};
    const R kiss{Kind::Datagram, reply(0x24, 0, 3'990'000'000u, 0, 1), {}};
    QTest::newRow("bad replies read past")
        << QList<R>{kiss, {Kind::Datagram, QByteArray(7, 'x'), {}}, good} << false << QString();
    QTest::newRow("port unreachable ends it") << QList<R>{{Kind::Refused, {}, QStringLiteral("refused")}, good} << false
                                              << QStringLiteral("SNTP: no SNTP server on that computer");
    QTest::newRow("an error ends it") << QList<R>{{Kind::Error, {}, QStringLiteral("No route to host")}, good} << false
                                      << QStringLiteral("SNTP: No route to host");
    QTest::newRow("the first good reply ends it") << QList<R>{good, kiss} << false << QString();
    QTest::newRow("only a kiss-o'-death")
        << QList<R>{kiss} << false << QStringLiteral("SNTP: the server refused the request");
    QTest::newRow("silence") << QList<R>{} << false << QStringLiteral("SNTP: no reply");
    QTest::newRow("nothing sent") << QList<R>{good} << true << QStringLiteral("SNTP: the request could not be sent");
}

void TestCmdReplies::exchangeOverAFakeLink() {
    QFETCH(QList<NetIo::DatagramLink::Received>, script);
    QFETCH(bool, sendFails);
    QFETCH(QString, why);
    ScriptedLink link;
    link.script = script;
    link.sendFails = sendFails;
    const Sample s = Sntp::exchange(link, 3000, [] { return Sntp::systemNowUsec(); });
    QVERIFY2(s.ok == why.isEmpty(), qPrintable(s.why));
    QVERIFY2(s.why.contains(why), qPrintable(s.why));
    if (s.ok)
        QCOMPARE(s.serverUtc.date(), QDate(2026, 6, 9));
}

void TestCmdReplies::timeProtocolStreams_data() {
    using S = ScriptedTimeServer;
    QTest::addColumn<QList<S::Step>>("script");
    QTest::addColumn<QString>("why"); // empty: a sample
    const QByteArray value = QByteArray::fromHex("E96B1E80");
    QTest::newRow("four bytes, then closed") << QList<S::Step>{S::send(value), S::close()} << QString();
    QTest::newRow("four bytes, then reset") << QList<S::Step>{S::send(value), S::reset()} << QString();
    QTest::newRow("five bytes") << QList<S::Step>{S::send(value + 'x'), S::close()}
                                << QStringLiteral("Time Protocol: ");
    QTest::newRow("never closed") << QList<S::Step>{S::send(value), S::hold()}
                                  << QStringLiteral("Time Protocol: the server did not close in time");
    QTest::newRow("a flood") << QList<S::Step>{S::flood()}
                             << QStringLiteral("Time Protocol: the server did not close in time");
}

// Over the shared helper: only the first bytes are kept, and the exchange ends at its limit whatever the server does.
void TestCmdReplies::timeProtocolStreams() {
    QFETCH(QList<ScriptedTimeServer::Step>, script);
    QFETCH(QString, why);
    ScriptedTimeServer server(script);
    // Nothing listens for SNTP on port 9 there.
    const Sample s = besideThePeer([&] { return NetTime::ask(QStringLiteral("127.0.0.1"), {9, server.port()}, 1000); });
    QVERIFY2(s.ok == why.isEmpty(), qPrintable(s.why));
    QVERIFY2(s.why.contains(why), qPrintable(s.why));
    if (s.ok)
        QCOMPARE(s.serverUtc.toSecsSinceEpoch(), utc(2024, 2, 5, 8, 44, 48).toSecsSinceEpoch());
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

void TestCmdReplies::computerFromResolve_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("name");
    const QString ip = QStringLiteral("192.0.2.17");
    QTest::newRow("mDNS name: its one label") << QStringLiteral("pc1.local") << ip << QStringLiteral("pc1");
    QTest::newRow("upper case kept") << QStringLiteral("PC1.LOCAL") << ip << QStringLiteral("PC1");
    QTest::newRow("label of 21 fits") << QStringLiteral("abcdefghijklmnopqrstu.local") << ip
                                      << QStringLiteral("abcdefghijklmnopqrstu");
    QTest::newRow("label of 22: the address") << QStringLiteral("abcdefghijklmnopqrstuv.local") << ip << ip;
    QTest::newRow("office-laptop-01.local")
        << QStringLiteral("office-laptop-01.local") << ip << QStringLiteral("office-laptop-01");
    QTest::newRow("digits alone: whole name, never an address")
        << QStringLiteral("2130706433.local") << ip << QStringLiteral("2130706433.local");
    QTest::newRow("two labels before .local: whole name")
        << QStringLiteral("pc.sub.local") << ip << QStringLiteral("pc.sub.local");
    QTest::newRow("DNS name that fits") << QStringLiteral("nas.example.org") << ip << QStringLiteral("nas.example.org");
    QTest::newRow("DNS name too long: the address") << QStringLiteral("storage-01.branch.example.org") << ip << ip;
    QTest::newRow("too long, IPv6 only") << QStringLiteral("abcdefghijklmnopqrstuv.local") << QStringLiteral("fe80::1")
                                         << QString();
    QTest::newRow("too long, no address") << QStringLiteral("abcdefghijklmnopqrstuv.local") << QString() << QString();
    QTest::newRow("comma in the host") << QStringLiteral("a,b.local") << ip << QString();
    QTest::newRow("quote in the host") << QStringLiteral("a\"b.local") << ip << QString();
    QTest::newRow("backslash in the host") << QStringLiteral("\\\\h.local") << ip << QString();
    QTest::newRow("CR LF in the host") << QStringLiteral("a\r\nb.local") << ip << QString();
    QTest::newRow("blank in the host") << QStringLiteral("Office Laptop.local") << ip << QString();
    QTest::newRow("no host") << QString() << ip << QString();
}

void TestCmdReplies::computerFromResolve() {
    QFETCH(QString, host);
    QFETCH(QString, address);
    QFETCH(QString, name);
    const NetView::Computer c = NetView::computerFromResolve(host, address);
    QCOMPARE(c.name, name);
    if (!name.isEmpty()) {
        QCOMPARE(c.remark, host);
        // The whole name survives discovery's 23-character entry.
        QCOMPARE(NetView::format({c}).split(QStringLiteral("\r\n"))[3].left(23).trimmed(),
                 QStringLiteral("\\\\") + name);
    }
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
    QTest::newRow("on time, a timer's run: nothing sent") << qint64(0) << 0u << false << "Clock already right (";
    QTest::newRow("990 s ahead, a timer's run") << qint64(990) << 0u << false << "Clock corrected by +9";
    QTest::newRow("2 s behind") << qint64(-2) << 0u << false << "Clock corrected by -";
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
    // An SNTP server on loopback, against a clock of this computer that runs behind by the given seconds; no Time
    // Protocol server.
    QUdpSocket server;
    QVERIFY(server.bind(QHostAddress::LocalHost, 0));
    connect(&server, &QUdpSocket::readyRead, this, [&] {
        while (server.hasPendingDatagrams()) {
            const QNetworkDatagram request = server.receiveDatagram();
            // To the microsecond, so that a right clock is found right.
            const quint64 t = NtpTime::timestamp(Sntp::systemNowUsec());
            const quint32 s1900 = seconds ? seconds : static_cast<quint32>(t >> 32);
            const quint32 fraction = seconds ? 0u : static_cast<quint32>(t);
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
    const QString out = besideThePeer([&] {
        return NetTime::run(QStringLiteral("127.0.0.1"), clock, {server.localPort(), closedPort}, userStarted, {}, 0,
                            [aheadSeconds] { return Sntp::systemNowUsec() - aheadSeconds * 1000000; })
            .output;
    });
    QVERIFY2(out.contains(said), qPrintable(out));
    const bool completed = out.contains(QLatin1String("The command completed successfully."));
    const bool set = completed && !out.contains(QLatin1String("Clock already right"));
    QCOMPARE(clock.calls.size(), set ? 1 : 0);
    if (set) {
        // Relative: the server's lead, to within the exchange's few milliseconds.
        QVERIFY2(std::llabs(clock.calls[0].first - aheadSeconds * 1000000) < 200000,
                 qPrintable(QString::number(clock.calls[0].first)));
        QCOMPARE(clock.calls[0].second, userStarted);
        QVERIFY2(out.contains(QLatin1String(" s (SNTP)\r\n")), qPrintable(out));
    } else if (!completed) {
        QVERIFY2(out.contains(QLatin1String("System error")), qPrintable(out));
        QVERIFY(out.contains(QLatin1String("Clock not set: ")));
    }
}

void TestCmdReplies::earlierRun_data() {
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("kind"); // NetTime::Earlier::Kind
    const int nothing = int(NetTime::Earlier::Kind::Nothing);
    const QString current = QStringLiteral("Current time at \\\\pc1 is 12/9/2026 10:00:01 AM\r\n\r\n");
    const QString done = QStringLiteral("The command completed successfully.\r\n\r\n");
    QTest::newRow("a correction made") << current + QStringLiteral("Clock corrected by +300.004 s (SNTP)\r\n\r\n") +
                                              done
                                       << int(NetTime::Earlier::Kind::Corrected);
    QTest::newRow("refused by the clock service")
        << current + QStringLiteral("System error 1314 has occurred.\r\n\r\nA required privilege is not held by the "
                                    "client.\r\nClock not set: you are not authorised to change the time\r\n\r\n")
        << int(NetTime::Earlier::Kind::Refused);
    // Nothing that a second run should keep or be stopped by.
    QTest::newRow("found right") << current + QStringLiteral("Clock already right (x)\r\n\r\n") + done << nothing;
    QTest::newRow("no answer") << QStringLiteral("System error 53 has occurred.\r\n") << nothing;
    QTest::newRow("refused as too large")
        << current + QStringLiteral("System error 87 has occurred.\r\n\r\nClock not set: a step\r\n") << nothing;
    QTest::newRow("still waiting") << QStringLiteral("Waiting for the clock service to set the clock.\r\n") << nothing;
    QTest::newRow("empty") << QString() << nothing;
    QTest::newRow("the words, but not our output")
        << QStringLiteral("Clock corrected by +1.0 s\r\nThe command completed successfully.\r\n") << nothing;
    QTest::newRow("a correction without the completion")
        << current + QStringLiteral("Clock corrected by +1.0 s\r\n") << nothing;
}

void TestCmdReplies::earlierRun() {
    QFETCH(QString, output);
    QFETCH(int, kind);
    const NetTime::Earlier earlier = NetTime::earlierOutcome(output);
    QCOMPARE(int(earlier.kind), kind);
    // What is kept is kept whole.
    QCOMPARE(earlier.output, kind == int(NetTime::Earlier::Kind::Nothing) ? QString() : output);
}

QTEST_GUILESS_MAIN(TestCmdReplies)
#include "test_cmd_replies.moc"
