// A whole network synchronization as the user gets it: the worker window on the real platform writes the command
// file and starts horavane-cmd twice, which asks xinetd's time service or a test SNTP server on loopback and sets
// the time through the fake clock service, whose virtual clock the SNTP server follows; the result step shows the
// output and logs the run once the runs are done.
#include "app/forms.h"
#include "app/main_window.h"
#include "dialogs/server_dialog.h"
#include "net_engine/result_log.h"
#include "net_engine/worker_window.h"
#include "platform/controls/mlist.h"
#include "platform/controls/ss_command.h"
#include "platform/controls/ss_panel.h"
#include "platform/controls/vb_color.h"
#include "platform/linux_platform.h"
#include "tests/support/process_fixtures.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

class TestNetworkSync : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void synchronizesWithAComputerOnTheNetwork_data();
    void synchronizesWithAComputerOnTheNetwork();
    void hostileNameEndsInTheStatusFile();
    void discoveryListsALargeNetwork();

private:
    PrivateSystemBus m_bus;
    FakeTimedated m_timedated;
};

void TestNetworkSync::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    // The platform finds horavane-cmd on PATH, since this test does not stand beside it.
    qputenv("PATH", QByteArray(HV_CMD_DIR) + ':' + qgetenv("PATH"));
    QVERIFY(!LinuxPlatform::commandInterpreter().isEmpty());
    HV_START_FIXTURE(m_bus);
    HV_START_FIXTURE(m_timedated, m_bus);
}

void TestNetworkSync::synchronizesWithAComputerOnTheNetwork_data() {
    QTest::addColumn<bool>("silentSntp");
    QTest::addColumn<bool>("userStarted");
    // -1: xinetd's time service, whose clock is this one; else an SNTP server this far ahead of the
    // virtual clock that the fake clock service moves.
    QTest::addColumn<qint64>("leadMs");
    QTest::addColumn<int>("lateMs"); // how late the clock service answers
    QTest::addColumn<QString>("said");
    const QString right = QStringLiteral("Clock already right (");
    const QString corrected = QStringLiteral("Clock corrected by +");
    QTest::newRow("no SNTP server: the Time Protocol at once, the worker's button")
        << false << true << qint64(-1) << 0 << right;
    QTest::newRow("no SNTP server: the Time Protocol at once, a timer's SYNC NOW")
        << false << false << qint64(-1) << 0 << right;
    // A socket on the SNTP port that never answers: SNTP takes its whole time limit before the Time Protocol, so
    // the command is still running at the two-second tick.
    QTest::newRow("silent SNTP server, then the Time Protocol") << true << true << qint64(-1) << 0 << right;
    // Both starts measure: the second one after the first one's correction is in place.
    QTest::newRow("300 s ahead, a timer's SYNC NOW") << false << false << qint64(300000) << 0 << corrected;
    // Late, yet within the result step's own wait; the real length of a late clock service is the last row's.
    QTest::newRow("300 s ahead, the clock service 1.5 s late") << false << false << qint64(300000) << 1500 << corrected;
    QTest::newRow("300 s ahead, a person's run 1.5 s late: one password prompt")
        << false << true << qint64(300000) << 1500 << corrected;
    QTest::newRow("2.5 s behind, a person's run")
        << false << true << qint64(-2500) << 0 << QStringLiteral("Clock corrected by -");
    // Longer than the result step's own wait: the step waits for the clock service instead of giving up.
    QTest::newRow("the clock service 2 s beyond the result step's wait, a timer's run")
        << false << false << qint64(300000) << Tarnwick::kCommandWaitMs + 2000 << corrected;
}

void TestNetworkSync::synchronizesWithAComputerOnTheNetwork() {
    QFETCH(bool, silentSntp);
    QFETCH(bool, userStarted);
    QFETCH(qint64, leadMs);
    QFETCH(int, lateMs);
    QFETCH(QString, said);
    const bool xinetdRow = leadMs == -1;
    const QString address = uniqueLoopbackAddress();
    XinetdTimeServer xinetd;
    FakeSntpServer sntp;
    m_timedated.setVirtualLead(0);
    m_timedated.answerLate(lateMs);
    if (xinetdRow) {
        HV_START_FIXTURE(xinetd, address);
        qunsetenv("HORAVANE_SNTP_PORT");
        qunsetenv("HORAVANE_TIME_PORT");
    } else {
        HV_START_FIXTURE(sntp, address, leadMs * 1000, m_timedated.clockFile());
        qputenv("HORAVANE_SNTP_PORT", QByteArray::number(sntp.port()));
        qputenv("HORAVANE_TIME_PORT", "9"); // nothing there: the SNTP server alone answers
    }
    QUdpSocket silent;
    if (silentSntp)
        QVERIFY2(silent.bind(QHostAddress(address), 123), qPrintable(silent.errorString()));
    const int callsBefore = m_timedated.calls().size();
    QTemporaryDir drive;
    // The program hands its own drive folder to the interpreter, whatever the environment says.
    LinuxPlatform platform(DosPaths(drive.path(), QStringLiteral("C:\\Horavane")));
    Forms forms(platform);
    Tarnwick1& main = forms.tarnwick1();
    Tarnwick& worker = forms.tarnwick();
    // The result step comes at once and waits for the commands still running, as it does after its 2 s.
    worker.setResultStepMs(20);
    const QString name = QStringLiteral("\\\\") + address;
    main.Label1->setText(name);
    main.setCursor(Qt::WaitCursor);
    main.SSCommand3->setBusyLook(true);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    worker.Text4->setText(name);
    worker.Command1_Click(userStarted ? Starter::Person : Starter::Timer);
    const auto logged = [&] { return platform.drive().exists(ResultLog::path(platform.programFolder())); };
    QTRY_VERIFY_WITH_TIMEOUT(logged(), Tarnwick::kResultStepMs + Tarnwick::kCommandWaitMs + lateMs + 8000);
    const QDateTime after = QDateTime::currentDateTimeUtc();
    m_timedated.answerLate(0);

    const QString shown = worker.Text1->toPlainText();
    QVERIFY2(shown.contains(QStringLiteral("Current time at ") + name), qPrintable(shown));
    QVERIFY(shown.contains(QLatin1String("The command completed successfully.")));
    QCOMPARE(main.SSPanel4->backColor(), VbColor::LightGreen);
    QVERIFY(!main.SSCommand3->busyLook());
    QVERIFY2(main.SSPanel2[0]->caption().startsWith(said), qPrintable(main.SSPanel2[0]->caption()));
    // Started twice, yet one correction at most: the second run measures after the first one's correction and
    // finds the clock right. Only a person's run lets the clock service ask for a password.
    const QList<SetTimeCall> calls = m_timedated.calls().mid(callsBefore);
    QCOMPARE(calls.size(), xinetdRow ? 0 : 1);
    for (const SetTimeCall& call : calls) {
        QVERIFY(call.relative);
        QCOMPARE(call.interactive, userStarted);
        QVERIFY2(std::llabs(call.usec - leadMs * 1000) < 100000, qPrintable(QString::number(call.usec)));
        // What the status line tells is what happened: shown after the clock service answered.
        QVERIFY(call.appliedAt <= after);
        QVERIFY(call.appliedAt >= before.addMSecs(lateMs - 1000));
    }
    QVERIFY2(main.SSPanel2[0]->caption().endsWith(xinetdRow ? QStringLiteral(" s)") : QStringLiteral(" s (SNTP)")),
             qPrintable(main.SSPanel2[0]->caption()));
    // The virtual clock ends within half a second of the server's.
    const qint64 leftUsec = (xinetdRow ? 0 : leadMs * 1000) - m_timedated.virtualLeadUsec();
    QVERIFY2(std::llabs(leftUsec) < 500000, qPrintable(QString::number(leftUsec)));
    const auto log = platform.drive().readFields(ResultLog::path(platform.programFolder()));
    QVERIFY(log);
    QCOMPARE(log->size(), 1);
    QVERIFY(log->first().startsWith(QLatin1String(" Synchronization on ")));
}

void TestNetworkSync::hostileNameEndsInTheStatusFile() {
    QTemporaryDir drive;
    // The program hands its own drive folder to the interpreter, whatever the environment says.
    LinuxPlatform platform(DosPaths(drive.path(), QStringLiteral("C:\\Horavane")));
    Forms forms(platform);
    Tarnwick& worker = forms.tarnwick();
    worker.setResultStepMs(20);
    const int before = m_timedated.calls().size();
    // A redirection inside the name: were the first ">" of the line taken as the redirection, the interpreter
    // would write its output to c:\owned.txt instead of the status file.
    worker.Text4->setText(QStringLiteral("\\\\pc >c:\\owned.txt"));
    worker.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!worker.Timer3->isActive(), 5000);
    QVERIFY2(worker.Text1->toPlainText().contains(QLatin1String("must not contain blanks")),
             qPrintable(worker.Text1->toPlainText()));
    QFile status(drive.filePath(QStringLiteral("StatusTime.txt")));
    QVERIFY(status.open(QIODevice::ReadOnly));
    QVERIFY(status.readAll().contains("must not contain blanks"));
    QVERIFY(!QFile::exists(drive.filePath(QStringLiteral("owned.txt"))));
    QCOMPARE(m_timedated.calls().size(), before);
}

void TestNetworkSync::discoveryListsALargeNetwork() {
    QStringList names;
    for (int i = 0; i < 10000; ++i)
        names << QStringLiteral("pc%1").arg(i, 5, 10, QLatin1Char('0'));
    FakeAvahi avahi;
    HV_START_FIXTURE(avahi, m_bus, names);
    QTemporaryDir drive;
    LinuxPlatform platform(DosPaths(drive.path(), QStringLiteral("C:\\Horavane")));
    Forms forms(platform);
    // The selection dialog starts discovery by itself half a second after it loads.
    Tarnwick2& dialog = forms.tarnwick2();
    QTRY_COMPARE_WITH_TIMEOUT(dialog.Label1->text(), QStringLiteral("List Is Complete"),
                              500 + 2000 + Tarnwick::kCommandWaitMs + Tarnwick::kListingExtraWaitMs + 3000);
    QCOMPARE(dialog.MList1->entryCount(), 10000);
    QCOMPARE(dialog.MList1->entryText(0), QStringLiteral("\\\\pc00000").leftJustified(23));
    QCOMPARE(forms.tarnwick().List1->count(), 10000);
}

QTEST_MAIN(TestNetworkSync)
#include "test_network_sync.moc"
