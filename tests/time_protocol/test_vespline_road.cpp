// The choice of road for an Internet server, the file of hosts that offer NTS, and the words of the outcome,
// without a window or a socket; whether other servers' answers let the chosen one's move the clock.
#include "platform/text_file.h"
#include "tests/support/sample_rows.h"
#include "time_protocol/agreement.h"
#include "time_protocol/nts_memory.h"
#include "time_protocol/road.h"
#include "time_protocol/status_words.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(Sample)

Q_DECLARE_METATYPE(Road::Listed)
Q_DECLARE_METATYPE(Road::Next)
Q_DECLARE_METATYPE(Nts::Offer)

class TestVesplineRoad : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void choice_data();
    void choice();
    void memory_data();
    void memory();
    void words_data();
    void words();
    void agreement_data();
    void agreement();
};

namespace {
Sample sample(const QString& road, qint64 correctionUsec, qint64 uncertaintyUsec) {
    return answeredSample(road, correctionUsec, uncertaintyUsec);
}
} // namespace

void TestVesplineRoad::choice_data() {
    QTest::addColumn<Road::Listed>("listed");
    QTest::addColumn<bool>("completedBefore");
    QTest::addColumn<Nts::Offer>("offer");
    QTest::addColumn<bool>("ntsAnswered");
    QTest::addColumn<Road::Next>("first");
    QTest::addColumn<Road::Next>("afterNts");
    using L = Road::Listed;
    using N = Road::Next;
    using O = Nts::Offer;
    QTest::newRow("unknown host, NTS answers") << L::Unknown << false << O::Yes << true << N::Nts << N::Done;
    QTest::newRow("unknown host refuses 4460 at once") << L::Unknown << false << O::No << false << N::Nts << N::Sntp;
    QTest::newRow("unknown host silent on 4460") << L::Unknown << false << O::Unknown << false << N::Nts << N::Sntp;
    QTest::newRow("unknown host answers 4460, TLS fails: no downgrade")
        << L::Unknown << false << O::Yes << false << N::Nts << N::Fail;
    QTest::newRow("unknown host takes the connection on 4460, then silent: no downgrade")
        << L::Unknown << false << O::Connected << false << N::Nts << N::Fail;
    QTest::newRow("listed NTS host silent: no downgrade")
        << L::Nts << false << O::Unknown << false << N::Nts << N::Fail;
    QTest::newRow("listed NTS host refused: no downgrade") << L::Nts << false << O::No << false << N::Nts << N::Fail;
    QTest::newRow("key exchange completed earlier, now blocked")
        << L::Unknown << true << O::No << false << N::Nts << N::Fail;
    QTest::newRow("NIST host starts with SNTP") << L::NoNts << false << O::No << false << N::Sntp << N::Sntp;
    QTest::newRow("NIST host that completed a key exchange")
        << L::NoNts << true << O::Unknown << false << N::Nts << N::Fail;
}

void TestVesplineRoad::choice() {
    QFETCH(Road::Listed, listed);
    QFETCH(bool, completedBefore);
    QFETCH(Nts::Offer, offer);
    QFETCH(bool, ntsAnswered);
    QFETCH(Road::Next, first);
    QFETCH(Road::Next, afterNts);
    QCOMPARE(Road::first(listed, completedBefore), first);
    Nts::Result result;
    result.offer = offer;
    result.sample = ntsAnswered
                        ? sample(Road::kNts, 4000, 1000)
                        : failedSample(Road::kNts, QStringLiteral("the server's certificate is for another host"));
    const Road::Step step = Road::afterNts(listed, completedBefore, result);
    QCOMPARE(step.next, afterNts);
    QCOMPARE(step.why, afterNts == Road::Next::Fail
                           ? QStringLiteral("Clock not set: the server's certificate is for another host")
                           : QString());
    // SNTP either answers or hands over to the Time Protocol, with no refusal to show yet.
    const Road::Step sntp = Road::afterSntp(ntsAnswered ? sample(Road::kSntp, -1250400, 1500)
                                                        : failedSample(Road::kSntp, QStringLiteral("no SNTP reply")));
    QCOMPARE(sntp.next, ntsAnswered ? Road::Next::Done : Road::Next::TimeProtocol);
    QVERIFY(sntp.why.isEmpty());
}

void TestVesplineRoad::memory_data() {
    QTest::addColumn<QByteArray>("bytes"); // the file as found; "folder": a folder in its place
    QTest::addColumn<QStringList>("hosts");
    // Case and a trailing dot ignored; what is no host name passed over, and so is a last record cut off.
    static const char damaged[] = "\"A.Example.\"\r\n\"x\0y\"\r\n\"a.example no\"\r\n\"\xff\"\r\n\"cut";
    QTest::newRow("damaged") << QByteArray(damaged, sizeof damaged - 1) << QStringList{"a.example"};
    QTest::newRow("hostile: a folder in its place") << QByteArray("folder") << QStringList();
}

void TestVesplineRoad::memory() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, hosts);
    QTemporaryDir dir;
    const DriveC drive(DosPaths(dir.path(), QStringLiteral("C:\\")));
    QFile file(dir.path() + QStringLiteral("/NtsHosts.txt"));
    QVERIFY(bytes == "folder" ? QDir(dir.path()).mkdir(QStringLiteral("NtsHosts.txt"))
                              : file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush());
    QCOMPARE(NtsMemory::read(drive, QStringLiteral("C:\\")), QSet<QString>(hosts.begin(), hosts.end()));
    // Remembering adds to what could be read, for the next start.
    QCOMPARE(NtsMemory::remember(drive, QStringLiteral("C:\\"), QStringLiteral(" New.Example. ")), bytes != "folder");
    if (bytes != "folder")
        hosts << QStringLiteral("new.example");
    QCOMPARE(NtsMemory::read(drive, QStringLiteral("C:\\")), QSet<QString>(hosts.begin(), hosts.end()));
}

void TestVesplineRoad::words_data() {
    QTest::addColumn<Sample>("sample");
    QTest::addColumn<QString>("words");
    QTest::newRow("NTS to the millisecond") << sample(Road::kNts, 4000, 1000) << "Clock corrected by +0.004 s (NTS)";
    QTest::newRow("SNTP behind") << sample(Road::kSntp, -1250400, 1500) << "Clock corrected by -1.250 s (SNTP)";
    QTest::newRow("Time Protocol in tenths")
        << sample(Road::kTimeProtocol, 1317000, 500500) << "Clock corrected by +1.3 s (Time Protocol)";
    QTest::newRow("within the Time Protocol's half second")
        << sample(Road::kTimeProtocol, -499000, 500000) << "Clock already right (±0.5 s)";
    QTest::newRow("within the NTS round trip") << sample(Road::kNts, 999, 1000) << "Clock already right (±0.001 s)";
    QTest::newRow("at the uncertainty: corrected")
        << sample(Road::kSntp, 1000, 1000) << "Clock corrected by +0.001 s (SNTP)";
    QTest::newRow("no correction at all") << sample(Road::kSntp, 0, 1000) << "Clock already right (±0.001 s)";
    QTest::newRow("a failure with its reason")
        << failedSample(Road::kSntp, QStringLiteral("the server is not synchronized"))
        << "Clock not set: the server is not synchronized";
    QTest::newRow("a failure without one")
        << failedSample(Road::kNts, QString()) << "Clock not set: the NTS exchange failed";
}

void TestVesplineRoad::words() {
    QFETCH(Sample, sample);
    QFETCH(QString, words);
    QCOMPARE(sample.ok ? Road::outcomeText(sample) : Road::failureText(sample), words);
}

void TestVesplineRoad::agreement_data() {
    QTest::addColumn<Sample>("chosen");
    QTest::addColumn<QList<Sample>>("others"); // the answers that came back
    QTest::addColumn<int>("asked");
    QTest::addColumn<QString>("words");
    const QString& nts = Road::kNts;
    QTest::newRow("all agree") << sample(nts, 4000, 1000)
                               << QList<Sample>{sample(nts, 4500, 800), sample(nts, 3800, 600)} << 2
                               << "Clock corrected by +0.004 s (NTS, 3 servers agree)";
    QTest::newRow("one falseticker among the others")
        << sample(nts, 4000, 1000) << QList<Sample>{sample(nts, 4200, 500), sample(nts, 100004000, 1000)} << 2
        << "Clock corrected by +0.004 s (NTS, 2 servers agree)";
    QTest::newRow("the chosen one false")
        << sample(nts, 412300000, 1000) << QList<Sample>{sample(nts, 0, 1000), sample(nts, 500, 1000)} << 2
        << "Clock not set: time.example.com is 412.3 s away from 2 other servers";
    QTest::newRow("no majority") << sample(nts, 0, 1000)
                                 << QList<Sample>{sample(nts, 10000000, 1000), sample(nts, 20000000, 1000)} << 2
                                 << "Clock not set: the time servers disagree";
    QTest::newRow("two majorities share a member; the chosen one is in the second")
        << sample(nts, 16000, 4000) << QList<Sample>{sample(nts, 5000, 5000), sample(nts, 10000, 5000)} << 2
        << "Clock corrected by +0.016 s (NTS, 2 servers agree)";
    QTest::newRow("one other answer, and it differs: no majority of two")
        << sample(nts, 4000, 1000) << QList<Sample>{sample(nts, 9000, 1000)} << 2
        << "Clock not set: the time servers disagree";
    QTest::newRow("no other answer") << sample(nts, 4000, 1000) << QList<Sample>() << 2
                                     << "Clock corrected by +0.004 s (NTS, unconfirmed)";
    QTest::newRow("none asked") << sample(nts, 4000, 1000) << QList<Sample>() << 0
                                << "Clock corrected by +0.004 s (NTS)";
    QTest::newRow("a right clock, confirmed") << sample(nts, 400, 1000) << QList<Sample>{sample(nts, 0, 1000)} << 1
                                              << "Clock already right (±0.001 s; NTS, 2 servers agree)";
    QTest::newRow("SNTP inside the NTS agreement")
        << sample(Road::kSntp, -1250400, 1500)
        << QList<Sample>{sample(nts, -1250000, 1000), sample(nts, -1251000, 1000)} << 2
        << "Clock corrected by -1.250 s (SNTP, 3 servers agree)";
    QTest::newRow("SNTP outside it") << sample(Road::kSntp, 100000000, 1500)
                                     << QList<Sample>{sample(nts, 0, 1000), sample(nts, 300, 1000)} << 2
                                     << "Clock not set: time.example.com is 100.0 s away from 2 other servers";
    QTest::newRow("SNTP does not vote where the NTS servers disagree")
        << sample(Road::kSntp, 0, 1500) << QList<Sample>{sample(nts, 0, 1000), sample(nts, 10000000, 1000)} << 2
        << "Clock not set: the time servers disagree";
}

void TestVesplineRoad::agreement() {
    QFETCH(Sample, chosen);
    QFETCH(QList<Sample>, others);
    QFETCH(int, asked);
    QFETCH(QString, words);
    const Agreement::Verdict verdict = Agreement::judge(chosen, others, asked);
    QCOMPARE(verdict.movesClock() ? Road::outcomeText(chosen, Agreement::roadLabel(chosen.road, verdict))
                                  : QLatin1String(StatusWords::kNotSet) +
                                        Agreement::refusal(QStringLiteral(" time.example.com "), verdict),
             words);
}

QTEST_GUILESS_MAIN(TestVesplineRoad)
#include "test_vespline_road.moc"
