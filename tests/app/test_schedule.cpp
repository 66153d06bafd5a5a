// When the schedule is due, and how many minutes lie between automatic synchronizations.
#include "app/schedule.h"
#include "platform/date_text.h"

#include <QLocale>
#include <QTest>

class TestSchedule : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void due_data();
    void due();
    void leadingNumber_data();
    void leadingNumber();
    void ticksBetweenSyncs_data();
    void ticksBetweenSyncs();
    void changedIntervalCountsOn();
};

namespace {
const QDate kToday(2026, 12, 8);
QDateTime at(int dayOffset, int hour, int minute) {
    return QDateTime(kToday.addDays(dayOffset), QTime(hour, minute));
}
} // namespace

void TestSchedule::due_data() {
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<bool>("due");
    const QString yesterday = DateText::scheduleDate(kToday.addDays(-1));
    const QString today = DateText::scheduleDate(kToday);
    const QString tomorrow = DateText::scheduleDate(kToday.addDays(1));
    QTest::newRow("yesterday 3 pm seen at 10 am") << at(0, 10, 0) << yesterday << "03:00:00 PM" << false;
    QTest::newRow("yesterday 3 pm seen at 3:01 pm") << at(0, 15, 1) << yesterday << "03:00:00 PM" << true;
    QTest::newRow("exactly at the time") << at(0, 15, 0) << today << "03:00:00 PM" << true;
    QTest::newRow("a minute early") << at(0, 14, 59) << today << "03:00:00 PM" << false;
    QTest::newRow("tomorrow 8 am seen at 11 pm") << at(0, 23, 0) << tomorrow << "08:00:00 AM" << false;
    QTest::newRow("tomorrow 8 am seen then") << at(1, 8, 0) << tomorrow << "08:00:00 AM" << true;
    QTest::newRow("midnight schedule") << at(0, 0, 0) << today << "12:00:00 AM" << true;
    QTest::newRow("noon is not midnight") << at(0, 0, 30) << today << "12:00:00 PM" << false;
    QTest::newRow("not scheduled") << at(0, 23, 59) << "NOT SCHEDULED"
                                   << "NOT SCHEDULED" << false;
    QTest::newRow("time not scheduled") << at(0, 23, 59) << today << "NOT SCHEDULED" << false;
    QTest::newRow("empty texts") << at(0, 23, 59) << ""
                                 << "" << false;
}

void TestSchedule::due() {
    QFETCH(QDateTime, now);
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(bool, due);
    QCOMPARE(Schedule::isDue(now, date, time), due);
}

void TestSchedule::leadingNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("number");
    QTest::newRow("plain") << "60" << qint64(60);
    QTest::newRow("blanks first") << "  15" << qint64(15);
    QTest::newRow("words after") << "30 minutes" << qint64(30);
    QTest::newRow("letters") << "abc" << qint64(0);
    QTest::newRow("empty") << "" << qint64(0);
    QTest::newRow("negative") << "-5" << qint64(-5);
    QTest::newRow("huge stays finite") << QString(40, QLatin1Char('9')) << qint64(1'000'000'000'000LL);
}

void TestSchedule::leadingNumber() {
    QFETCH(QString, text);
    QFETCH(qint64, number);
    QCOMPARE(Schedule::leadingNumber(text), number);
}

void TestSchedule::ticksBetweenSyncs_data() {
    QTest::addColumn<QString>("interval");
    QTest::addColumn<int>("ticks");
    QTest::newRow("1") << "1" << 1;
    QTest::newRow("2") << "2" << 2;
    QTest::newRow("60") << "60" << 60;
    QTest::newRow("720") << "720" << 720;
    QTest::newRow("abc") << "abc" << 1;
    QTest::newRow("0") << "0" << 1;
    QTest::newRow("negative") << "-3" << 1;
}

void TestSchedule::ticksBetweenSyncs() {
    QFETCH(QString, interval);
    QFETCH(int, ticks);
    // From the start ("1") count the ticks up to each of three completed cycles.
    QString counter = QStringLiteral("1");
    QList<int> completedAt;
    for (int tick = 1; tick <= 3 * ticks; ++tick) {
        const Schedule::IntervalTick step = Schedule::intervalTick(counter, interval);
        counter = step.counter;
        if (step.cycleComplete) {
            QCOMPARE(counter, QStringLiteral("1"));
            completedAt << tick;
        }
    }
    QCOMPARE(completedAt, (QList<int>{ticks, 2 * ticks, 3 * ticks}));
}

void TestSchedule::changedIntervalCountsOn() {
    // The counter shows 1 to N and a change of interval applies against the current count.
    QCOMPARE(Schedule::intervalTick("1", "60").counter, QStringLiteral("2"));
    QCOMPARE(Schedule::intervalTick("59", "60").counter, QStringLiteral("60"));
    QVERIFY(!Schedule::intervalTick("59", "60").cycleComplete);
    QVERIFY(Schedule::intervalTick("60", "60").cycleComplete);
    QVERIFY(Schedule::intervalTick("40", "10").cycleComplete);
    QCOMPARE(Schedule::intervalTick("not a number", "60").counter, QStringLiteral("1"));
}

QTEST_GUILESS_MAIN(TestSchedule)
#include "test_schedule.moc"
