// The quarter-hour list, the two-character preselection and the reading of a chosen time.
#include "dialogs/schedule_times.h"

#include <QLocale>
#include <QTest>

class TestScheduleTimes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void listIndexes_data();
    void listIndexes();
    void everyEntryIsItsQuarterHour();
    void matches_data();
    void matches();
    void parses_data();
    void parses();
};

void TestScheduleTimes::listIndexes_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::newRow("midnight") << 0 << "12:00 am";
    QTest::newRow("after midnight") << 1 << "12:15 am";
    QTest::newRow("one o'clock") << 4 << "1:00 am";
    QTest::newRow("last morning") << 47 << "11:45 am";
    QTest::newRow("noon") << 48 << "12:00 pm";
    QTest::newRow("one pm") << 52 << "1:00 pm";
    QTest::newRow("last") << 95 << "11:45 pm";
}

void TestScheduleTimes::listIndexes() {
    QFETCH(int, index);
    QFETCH(QString, text);
    const QStringList list = ScheduleTimes::quarterHours();
    QCOMPARE(list.size(), 96);
    QCOMPARE(list.at(index), text);
}

void TestScheduleTimes::everyEntryIsItsQuarterHour() {
    const QStringList list = ScheduleTimes::quarterHours();
    for (int n = 0; n < list.size(); ++n)
        QCOMPARE(ScheduleTimes::parseChosenTime(list.at(n)), QTime(0, 0).addSecs(n * 15 * 60));
}

void TestScheduleTimes::matches_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("index");
    QTest::newRow("12 skips index 0") << "12:00 AM" << 1;
    QTest::newRow("12 pm still the first 12") << "12:30 PM" << 1;
    QTest::newRow("10") << "10:05 PM" << 40;
    QTest::newRow("11") << "11:59 AM" << 44;
    QTest::newRow("one digit and colon") << "9:41 AM" << 36;
    QTest::newRow("one o'clock") << "1:30 pm" << 4;
    QTest::newRow("leading zero matches nothing") << "09:41 AM" << -1;
    QTest::newRow("empty matches nothing") << "" << -1;
    QTest::newRow("one character matches nothing") << "9" << -1;
    QTest::newRow("design text matches nothing") << "NONE SELECTED" << -1;
}

void TestScheduleTimes::matches() {
    QFETCH(QString, text);
    QFETCH(int, index);
    QCOMPARE(ScheduleTimes::matchingIndex(ScheduleTimes::quarterHours(), text), index);
}

void TestScheduleTimes::parses_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QTime>("time");
    QTest::newRow("list form pm") << "1:15 pm" << QTime(13, 15);
    QTest::newRow("midnight") << "12:00 am" << QTime(0, 0);
    QTest::newRow("noon quarter") << "12:45 pm" << QTime(12, 45);
    QTest::newRow("clock form") << "09:41 AM" << QTime(9, 41);
    QTest::newRow("clock form pm") << "11:45 PM" << QTime(23, 45);
    QTest::newRow("mixed case") << "3:00 Pm" << QTime(15, 0);
    QTest::newRow("surrounding blanks") << "  7:30 am " << QTime(7, 30);
    QTest::newRow("clock after an Internet sync") << "10:00:37 AM" << QTime(10, 0, 37);
    QTest::newRow("clock after an Internet sync pm") << "12:05:00 PM" << QTime(12, 5);
    QTest::newRow("second 60") << "10:00:60 AM" << QTime();
    QTest::newRow("one-digit seconds") << "10:00:7 AM" << QTime();
    QTest::newRow("empty") << "" << QTime();
    QTest::newRow("hour 0") << "0:15 am" << QTime();
    QTest::newRow("hour 13") << "13:00 pm" << QTime();
    QTest::newRow("minute 60") << "1:60 am" << QTime();
    QTest::newRow("one-digit minutes") << "1:5 am" << QTime();
    QTest::newRow("no designator") << "10:00" << QTime();
    QTest::newRow("other word") << "10:00 xm" << QTime();
    QTest::newRow("design text") << "NONE SELECTED" << QTime();
}

void TestScheduleTimes::parses() {
    QFETCH(QString, text);
    QFETCH(QTime, time);
    QCOMPARE(ScheduleTimes::parseChosenTime(text), time);
}

QTEST_GUILESS_MAIN(TestScheduleTimes)
#include "test_schedule_times.moc"
