// Date and time texts: the fixed patterns, and reading back what was written.
#include "platform/date_text.h"

#include <QLocale>
#include <QTest>

class TestDateText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void patterns_data();
    void patterns();
    void scheduleRoundTrip_data();
    void scheduleRoundTrip();
    void notADateOrTime_data();
    void notADateOrTime();
    void otherLocaleRoundTrip();
    void userSeparators_data();
    void userSeparators();
};

void TestDateText::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestDateText::patterns_data() {
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("clockTime");
    QTest::addColumn<QString>("clockDate");
    QTest::addColumn<QString>("scheduleTime");
    QTest::addColumn<QString>("scheduleDate");
    QTest::newRow("morning") << QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7)) << "09:05 AM"
                             << "12/08/2026"
                             << "09:05:07 AM"
                             << "December 08 2026";
    QTest::newRow("midnight is 12 AM") << QDateTime(QDate(2027, 1, 2), QTime(0, 0)) << "12:00 AM"
                                       << "01/02/2027"
                                       << "12:00:00 AM"
                                       << "January 02 2027";
    QTest::newRow("noon is 12 PM") << QDateTime(QDate(2028, 2, 29), QTime(12, 30)) << "12:30 PM"
                                   << "02/29/2028"
                                   << "12:30:00 PM"
                                   << "February 29 2028";
    QTest::newRow("last second") << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59)) << "11:59 PM"
                                 << "12/31/2026"
                                 << "11:59:59 PM"
                                 << "December 31 2026";
}

void TestDateText::patterns() {
    QFETCH(QDateTime, when);
    QFETCH(QString, clockTime);
    QFETCH(QString, clockDate);
    QFETCH(QString, scheduleTime);
    QFETCH(QString, scheduleDate);
    QCOMPARE(DateText::clockTime(when.time()), clockTime);
    QCOMPARE(DateText::clockDate(when.date()), clockDate);
    QCOMPARE(DateText::scheduleTime(when.time()), scheduleTime);
    QCOMPARE(DateText::scheduleDate(when.date()), scheduleDate);
    // The date caption of 16 characters and the time caption of 11 that the tooltip is sized for.
    QCOMPARE(DateText::scheduleTime(when.time()).size(), 11);
}

void TestDateText::scheduleRoundTrip_data() {
    QTest::addColumn<QDateTime>("when");
    for (int month = 1; month <= 12; ++month)
        QTest::addRow("month %d", month) << QDateTime(QDate(2026, month, month + 10), QTime(month * 2 - 1, 15, 0));
    QTest::newRow("quarter to midnight") << QDateTime(QDate(2030, 6, 1), QTime(23, 45));
}

void TestDateText::scheduleRoundTrip() {
    QFETCH(QDateTime, when);
    QCOMPARE(DateText::parseScheduleTime(DateText::scheduleTime(when.time())), when.time());
    QCOMPARE(DateText::parseScheduleDate(DateText::scheduleDate(when.date())), when.date());
    // Blanks around a caption do not stop it being read.
    QCOMPARE(DateText::parseScheduleDate(QLatin1Char(' ') + DateText::scheduleDate(when.date()) + QLatin1Char(' ')),
             when.date());
}

void TestDateText::notADateOrTime_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("sentinel") << "NOT SCHEDULED";
    QTest::newRow("empty") << "";
    QTest::newRow("other pattern") << "12/08/2026";
    QTest::newRow("impossible day") << "February 30 2026";
}

void TestDateText::notADateOrTime() {
    QFETCH(QString, text);
    QVERIFY(!DateText::parseScheduleDate(text).isValid());
    QVERIFY(!DateText::parseScheduleTime(text).isValid());
}

void TestDateText::otherLocaleRoundTrip() {
    // Month names and AM/PM designators come from the user's locale, and still read back.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QDate date(2026, 3, 9);
    const QTime time(15, 45);
    QCOMPARE(DateText::scheduleDate(date), QStringLiteral("März 09 2026"));
    QCOMPARE(DateText::parseScheduleDate(DateText::scheduleDate(date)), date);
    QCOMPARE(DateText::parseScheduleTime(DateText::scheduleTime(time)), time);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestDateText::userSeparators_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("clockDate");
    QTest::addColumn<QString>("syncedDate");
    QTest::addColumn<QString>("timeStart"); // the hours, the separator and the minutes of 15:45:10
    QTest::newRow("United States") << "en_US"
                                   << "09/12/2026"
                                   << "Saturday 09/12/2026"
                                   << "03:45";
    // The pattern keeps its order, month first; only the separator is the user's.
    QTest::newRow("Germany") << "de_DE"
                             << "09.12.2026"
                             << "Samstag 09.12.2026"
                             << "03:45";
    QTest::newRow("Sweden") << "sv_SE"
                            << "09-12-2026"
                            << "lördag 09-12-2026"
                            << "03:45";
    QTest::newRow("Finland") << "fi_FI"
                             << "09.12.2026"
                             << "lauantaina 09.12.2026"
                             << "03.45";
}

void TestDateText::userSeparators() {
    QFETCH(QString, locale);
    QFETCH(QString, clockDate);
    QFETCH(QString, syncedDate);
    QFETCH(QString, timeStart);
    QLocale::setDefault(QLocale(locale));
    const QDate date(2026, 9, 12);
    const QTime time(15, 45, 10);
    const QStringList made{DateText::clockDate(date),    DateText::syncedDate(date), DateText::clockTime(time),
                           DateText::scheduleTime(time), DateText::syncedTime(time), DateText::scheduleDate(date)};
    const QTime readTime = DateText::parseScheduleTime(made[3]);
    const QDate readDate = DateText::parseScheduleDate(made[5]);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(made[0], clockDate);
    QCOMPARE(made[1], syncedDate);
    QVERIFY2(made[2].startsWith(timeStart + QLatin1Char(' ')), qPrintable(made[2]));
    QVERIFY2(made[3].startsWith(timeStart + timeStart.mid(2, 1) + QStringLiteral("10 ")), qPrintable(made[3]));
    QCOMPARE(made[4], made[3]);
    // What one window writes, another reads back.
    QCOMPARE(readTime, time);
    QCOMPARE(readDate, date);
}

QTEST_GUILESS_MAIN(TestDateText)
#include "test_date_text.moc"
