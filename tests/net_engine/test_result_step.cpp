// The result line's literals, the schedule moved to tomorrow and the failure test, with a set "now".
#include "net_engine/result_step.h"
#include "platform/field_reader.h"
#include "time_protocol/status_file.h"

#include <QLocale>
#include <QTest>

class TestResultStep : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void resultLine_data();
    void resultLine();
    void sameTimeTomorrow_data();
    void sameTimeTomorrow();
    void reportsFailure_data();
    void reportsFailure();
    void networkOutcome_data();
    void networkOutcome();
};

void TestResultStep::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestResultStep::resultLine_data() {
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("response");
    QTest::addColumn<QString>("line");
    const QString at = QStringLiteral("Synchronization on 12/8/26 at 2:05:09\u202FPM With ");
    QTest::newRow("failed Internet run") << QStringLiteral("FAILED") << QStringLiteral("time.nist.gov")
                                         << QStringLiteral("Server Response Time = 120 Milliseconds")
                                         << QStringLiteral("FAILED ") + at +
                                                QStringLiteral(
                                                    "time.nist.gov - Server Response Time = 120 Milliseconds");
    QTest::newRow("first network run begins with a blank")
        << QString() << QStringLiteral("\\\\PC1") << QStringLiteral("Synchronize with Server")
        << QStringLiteral(" ") + at + QStringLiteral("\\\\PC1 - Synchronize with Server");
    QTest::newRow("nothing trimmed") << QStringLiteral("SUCESS ") << QStringLiteral(" \\\\PC1  ") << QStringLiteral(" ")
                                     << QStringLiteral("SUCESS  ") + at + QStringLiteral(" \\\\PC1   -  ");
}

void TestResultStep::resultLine() {
    QFETCH(QString, word);
    QFETCH(QString, server);
    QFETCH(QString, response);
    QFETCH(QString, line);
    const QDateTime now(QDate(2026, 12, 8), QTime(14, 5, 9));
    QString made = ResultStep::resultLine(word, now, server, response);
    // Qt's US time form may use a narrow no-break space before the designator; both blanks are acceptable.
    made.replace(QStringLiteral("9 PM"), QStringLiteral("9\u202FPM"));
    QCOMPARE(made, line);
}

void TestResultStep::sameTimeTomorrow_data() {
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("date");
    QTest::newRow("ordinary day") << QDateTime(QDate(2026, 12, 8), QTime(14, 5, 9)) << QStringLiteral("02:05:09 PM")
                                  << QStringLiteral("December 09 2026");
    QTest::newRow("31 December gives 1 January") << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59))
                                                 << QStringLiteral("11:59:59 PM") << QStringLiteral("January 01 2027");
    QTest::newRow("leap day") << QDateTime(QDate(2028, 2, 28), QTime(0, 0, 0)) << QStringLiteral("12:00:00 AM")
                              << QStringLiteral("February 29 2028");
    QTest::newRow("end of February") << QDateTime(QDate(2027, 2, 28), QTime(12, 0, 1)) << QStringLiteral("12:00:01 PM")
                                     << QStringLiteral("March 01 2027");
}

void TestResultStep::sameTimeTomorrow() {
    QFETCH(QDateTime, now);
    QFETCH(QString, time);
    QFETCH(QString, date);
    const ResultStep::Schedule next = ResultStep::sameTimeTomorrow(now);
    QCOMPARE(next.time, time);
    QCOMPARE(next.date, date);
}

void TestResultStep::reportsFailure_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("failure");
    QTest::newRow("FAILED") << QStringLiteral("FAILED Synchronization on") << true;
    QTest::newRow("any upper-case F") << QStringLiteral("Fx") << true;
    QTest::newRow("lower-case f") << QStringLiteral("failed") << false;
    QTest::newRow("SUCESS") << QStringLiteral("SUCESS Synchronization on") << false;
    QTest::newRow("leading blank") << QStringLiteral(" FAILED") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestResultStep::reportsFailure() {
    QFETCH(QString, line);
    QFETCH(bool, failure);
    QCOMPARE(ResultStep::reportsFailure(line), failure);
}

void TestResultStep::networkOutcome_data() {
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<bool>("succeeded");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("waiting"); // the run is still handing its correction to the clock service
    const QString current = QStringLiteral("Current time at \\\\pc1 is 12/9/2026 10:00:01 AM");
    const QString done = QStringLiteral("The command completed successfully.");
    QTest::newRow("corrected") << QStringList{current, {}, QStringLiteral("Clock corrected by +0.8 s"), {}, done, {}}
                               << true << QStringLiteral("Clock corrected by +0.8 s") << false;
    QTest::newRow("success without a correction line")
        << QStringList{current, {}, done} << true << QStringLiteral("Clock set from the network computer") << false;
    QTest::newRow("refused by the clock service")
        << QStringList{current,
                       {},
                       QStringLiteral("System error 1314 has occurred."),
                       {},
                       QStringLiteral("A required privilege is not held by the client."),
                       QStringLiteral("Clock not set: you are not authorised to change the time")}
        << false << QStringLiteral("Clock not set: you are not authorised to change the time") << false;
    QTest::newRow("no answer: the computer's line")
        << QStringList{QStringLiteral("System error 53 has occurred."),
                       {},
                       QStringLiteral("The network path was not found."),
                       QStringLiteral("\\\\pc1 did not give the time: no SNTP reply")}
        << false << QStringLiteral("Clock not set: \\\\pc1 did not give the time: no SNTP reply") << false;
    QTest::newRow("some other message") << QStringList{QStringLiteral("The syntax of this command is:")} << false
                                        << QStringLiteral("Clock not set: The syntax of this command is:") << false;
    QTest::newRow("nothing read") << QStringList{} << false
                                  << QStringLiteral("Clock not set: the network computer's run gave no result")
                                  << false;
    // A success word inside a reason is no success.
    QTest::newRow("only an error") << QStringList{QStringLiteral("System error 5 has occurred.")} << false
                                   << QStringLiteral("Clock not set: the network computer's run gave no result")
                                   << false;
    QTest::newRow("found right") << QStringList{current, {},   QString::fromUtf8("Clock already right (\u00b10.5 s)"),
                                                {},      done, {}}
                                 << true << QString::fromUtf8("Clock already right (\u00b10.5 s)") << false;
    QTest::newRow("corrected, the road named")
        << QStringList{current, {}, QStringLiteral("Clock corrected by +300.004 s (SNTP)"), {}, done, {}} << true
        << QStringLiteral("Clock corrected by +300.004 s (SNTP)") << false;
    // Still with the clock service when the wait ended: not "no result", and not a success either.
    QTest::newRow("still with the clock service")
        << QStringList{QStringLiteral("Waiting for the clock service to set the clock."), {}} << false
        << QStringLiteral("Clock not set: the clock service did not answer in time") << true;
    QTest::newRow("the waiting words inside another line are no waiting")
        << QStringList{QStringLiteral("\\\\pc1 did not give the time: Waiting for the clock service to set the clock.")}
        << false
        << QStringLiteral(
               "Clock not set: \\\\pc1 did not give the time: Waiting for the clock service to set the clock.")
        << false;
    // What horavane-cmd writes, read back through the field reader as the worker window reads the file.
    using Kind = StatusFile::Report::Kind;
    const auto written = [](Kind kind, const QString& line) {
        StatusFile::Report report{kind, QStringLiteral("pc1"), QDateTime(QDate(2026, 12, 9), QTime(10, 0, 1)), line};
        return FieldReader(StatusFile::write(report).toUtf8()).fields();
    };
    const QString notSet = QStringLiteral("Clock not set: you are not authorised to change the time");
    for (const auto& [kind, line, succeeded, shown] :
         {std::tuple{Kind::Corrected, QStringLiteral("Clock corrected by +0.004 s (SNTP)"), true, QString()},
          std::tuple{Kind::AlreadyRight, QString::fromUtf8("Clock already right (\u00b10.5 s)"), true, QString()},
          std::tuple{Kind::NotReached, QStringLiteral("\\\\pc1 did not give the time: no reply"), false,
                     QStringLiteral("Clock not set: \\\\pc1 did not give the time: no reply")},
          std::tuple{Kind::Refused, notSet, false, QString()}, std::tuple{Kind::NotPermitted, notSet, false, QString()},
          std::tuple{Kind::Waiting, QString(), false,
                     QStringLiteral("Clock not set: the clock service did not answer in time")}})
        QTest::addRow("written, kind %d", int(kind))
            << written(kind, line) << succeeded << (shown.isEmpty() ? line : shown) << (kind == Kind::Waiting);
}

void TestResultStep::networkOutcome() {
    QFETCH(QStringList, fields);
    QFETCH(bool, succeeded);
    QFETCH(QString, text);
    QFETCH(bool, waiting);
    QCOMPARE(ResultStep::stillSettingClock(fields), waiting);
    const ResultStep::Outcome outcome = ResultStep::networkOutcome(fields);
    QCOMPARE(outcome.succeeded, succeeded);
    QCOMPARE(outcome.text, text);
}

QTEST_GUILESS_MAIN(TestResultStep)
#include "test_result_step.moc"
