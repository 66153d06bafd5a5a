// The reply conversion: byte order, era, correction rounding and the tooltip.
#include "time_protocol/time_reply.h"

#include <QLocale>
#include <QTest>

class TestTimeReply : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void converts_data();
    void converts();
    void onlyFourBytesConvert_data();
    void onlyFourBytesConvert();
    void correction_data();
    void correction();
    void halfTransitAcrossMidnight();
    void everyValueConvertsInOrder();
    void tooltipShowsReplyAndTime();
};

namespace {
QDateTime utc(int y, int mo, int d, int h, int mi, int s) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}
} // namespace

void TestTimeReply::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestTimeReply::converts_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<double>("delay");
    QTest::addColumn<QDateTime>("expected");
    // The sample: this clock at the close, in ms after the start of the reply's second, and whether the
    // correction is then below what the sample can tell.
    QTest::addColumn<int>("hereMs");
    QTest::addColumn<bool>("right");
    QTest::newRow("E9 6B 1E 80") << QByteArray::fromHex("E96B1E80") << 0.0 << utc(2024, 2, 5, 8, 44, 48) << 0 << false;
    QTest::newRow("blank as last byte") << QByteArray::fromHex("E96B1E20") << 0.0 << utc(2024, 2, 5, 8, 43, 12) << 0
                                        << false;
    QTest::newRow("largest of the old era")
        << QByteArray::fromHex("FFFFFFFF") << 0.0 << utc(2036, 2, 7, 6, 28, 15) << 0 << false;
    QTest::newRow("one past the era start")
        << QByteArray::fromHex("00000001") << 0.0 << utc(2036, 2, 7, 6, 28, 17) << 0 << false;
    QTest::newRow("top bit clear, last of next era")
        << QByteArray::fromHex("7FFFFFFF") << 0.0 << utc(2104, 2, 26, 9, 42, 23) << 0 << false;
    QTest::newRow("top bit set, earliest")
        << QByteArray::fromHex("80000000") << 0.0 << utc(1968, 1, 20, 3, 14, 8) << 0 << false;
    QTest::newRow("correction added") << QByteArray::fromHex("E96B1E80") << 1.5 << utc(2024, 2, 5, 8, 44, 50) << 0
                                      << false;
    QTest::newRow("correction carries over the era")
        << QByteArray::fromHex("FFFFFFFF") << 1.6 << utc(2036, 2, 7, 6, 28, 17) << 0 << false;
    QTest::newRow("this clock in the middle of the second: right")
        << QByteArray::fromHex("E96B1E80") << 0.0 << utc(2024, 2, 5, 8, 44, 48) << 500 << true;
    QTest::newRow("0.9 s into the second, quick exchange: right")
        << QByteArray::fromHex("E96B1E80") << 0.02 << utc(2024, 2, 5, 8, 44, 48) << 900 << true;
    QTest::newRow("1.2 s on: 0.7 s ahead, not right")
        << QByteArray::fromHex("E96B1E80") << 0.0 << utc(2024, 2, 5, 8, 44, 48) << 1200 << false;
    QTest::newRow("whole seconds behind: not right")
        << QByteArray::fromHex("E96B1E80") << 0.1 << utc(2024, 2, 5, 8, 44, 48) << -3000 << false;
    QTest::newRow("3 ms into a second, a coarse server still naming the one before: right")
        << QByteArray::fromHex("E96B1E80") << 0.0005 << utc(2024, 2, 5, 8, 44, 48) << 1003 << true;
    QTest::newRow("the same reply with this clock 0.52 s ahead: not right")
        << QByteArray::fromHex("E96B1E80") << 0.0005 << utc(2024, 2, 5, 8, 44, 48) << 1523 << false;
    QTest::newRow("slow exchange widens what is right")
        << QByteArray::fromHex("E96B1E80") << 1.0 << utc(2024, 2, 5, 8, 44, 49) << 2900 << true;
}

void TestTimeReply::converts() {
    QFETCH(QByteArray, reply);
    QFETCH(double, delay);
    QFETCH(QDateTime, expected);
    QFETCH(int, hereMs);
    QFETCH(bool, right);
    const TimeReply::Conversion c = TimeReply::convert(reply, delay);
    QVERIFY(c.ok);
    QCOMPARE(c.utc, expected);
    QCOMPARE(c.utc.timeSpec(), Qt::UTC);
    // The sample reads the value as the middle of its second, widened by a coarse clock's 10-ms tick, plus half the
    // round trip, not rounded.
    const qint64 secondUsec = utc(1900, 1, 1, 0, 0, 0).secsTo(c.utc.addSecs(-TimeReply::correctionSeconds(delay)));
    const qint64 valueUsec = (secondUsec - 2208988800LL) * 1000000;
    const qint64 roundTripUsec = qRound64(delay * 2e6);
    const Sample s = TimeReply::sample(reply, valueUsec + hereMs * 1000LL, roundTripUsec);
    QVERIFY(s.ok);
    QCOMPARE(s.road, QStringLiteral("Time Protocol"));
    QCOMPARE(s.correctionUsec, 505000 + roundTripUsec / 2 - hereMs * 1000LL);
    QCOMPARE(s.uncertaintyUsec, 505000 + roundTripUsec / 2);
    QCOMPARE(s.roundTripUsec, roundTripUsec);
    QCOMPARE(s.withinUncertainty(), right);
    QCOMPARE(s.serverUtc, QDateTime::fromMSecsSinceEpoch(valueUsec / 1000 + 505 + roundTripUsec / 2000, Qt::UTC));
}

void TestTimeReply::onlyFourBytesConvert_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("three bytes") << QByteArray::fromHex("E96B1E");
    QTest::newRow("five bytes") << QByteArray::fromHex("E96B1E8000");
    QTest::newRow("text line") << QByteArray("E96B1E80\r\n");
    QTest::newRow("zero: no time, not 2036") << QByteArray::fromHex("00000000");
}

void TestTimeReply::onlyFourBytesConvert() {
    QFETCH(QByteArray, reply);
    const TimeReply::Conversion c = TimeReply::convert(reply, 0.0);
    QVERIFY(!c.ok);
    QVERIFY(!c.utc.isValid());
    QVERIFY(!c.why.isEmpty());
    const Sample s = TimeReply::sample(reply, 1'700'000'000'000'000LL, 1000);
    QVERIFY(!s.ok);
    QVERIFY(!s.withinUncertainty());
    QCOMPARE(s.why, c.why);
}

void TestTimeReply::correction_data() {
    QTest::addColumn<double>("transit");
    QTest::addColumn<qint64>("seconds");
    QTest::newRow("1.0 s") << 1.0 << qint64(0);
    QTest::newRow("3.0 s") << 3.0 << qint64(2);
    QTest::newRow("3.2 s") << 3.2 << qint64(2);
    QTest::newRow("5.0 s") << 5.0 << qint64(2);
    QTest::newRow("7.0 s") << 7.0 << qint64(4);
    QTest::newRow("a quick exchange") << 0.04 << qint64(0);
}

void TestTimeReply::correction() {
    QFETCH(double, transit);
    QFETCH(qint64, seconds);
    // The transit time as the close handler measures it, from two points on the wall clock.
    const QDateTime start(QDate(2026, 12, 8), QTime(10, 0));
    const double delay = TimeReply::halfTransit(start, start.addMSecs(qRound64(transit * 1000)));
    QCOMPARE(delay, transit / 2);
    QCOMPARE(TimeReply::correctionSeconds(delay), seconds);
}

void TestTimeReply::halfTransitAcrossMidnight() {
    const QDateTime before(QDate(2026, 12, 8), QTime(23, 59, 59, 500));
    QCOMPARE(TimeReply::halfTransit(before, before.addMSecs(3000)), 1.5);
    // A clock stepped back between connect and close gives no negative correction.
    QCOMPARE(TimeReply::halfTransit(before, before.addSecs(-60)), 0.0);
    QCOMPARE(TimeReply::halfTransit(QDateTime(), before), 0.0);
}

void TestTimeReply::everyValueConvertsInOrder() {
    // Walking the 32-bit range from the old era's first value round to the new era's last one never goes back
    // and never leaves 1968..2104.
    QDateTime previous;
    for (quint64 step = 0; step <= 0xFFFFFFFFull; step += 0x00FFFFFFull) {
        const quint32 value = static_cast<quint32>(0x80000000u + step);
        const QDateTime t = TimeReply::utcFromSeconds1900(value);
        QVERIFY2(t.date().year() >= 1968 && t.date().year() <= 2104, qPrintable(QString::number(value, 16)));
        if (previous.isValid())
            QVERIFY2(t > previous, qPrintable(QString::number(value, 16)));
        previous = t;
    }
}

void TestTimeReply::tooltipShowsReplyAndTime() {
    const QByteArray reply = QByteArray::fromHex("E96B1E20");
    QCOMPARE(TimeReply::tooltip(reply, utc(2024, 2, 5, 8, 43, 12)),
             QString::fromLatin1(reply) + QStringLiteral(" - 2/5/24 8:43:12 AM"));
    // A failure has no time: midnight without a date.
    QCOMPARE(TimeReply::tooltip(QByteArray("abc"), QDateTime()), QStringLiteral("abc - 12:00:00 AM"));
    // Exactly midnight prints the date alone.
    QCOMPARE(TimeReply::tooltip(QByteArray(), utc(2036, 2, 7, 0, 0, 0)), QStringLiteral(" - 2/7/36"));
}

QTEST_GUILESS_MAIN(TestTimeReply)
#include "test_time_reply.moc"
