// The worker window with a fake platform: the time run, the refresh and the result step with a set "now".
#include "app/forms.h"
#include "app/main_window.h"
#include "net_engine/result_log.h"
#include "net_engine/worker_window.h"
#include "platform/controls/ss_command.h"
#include "platform/controls/ss_panel.h"
#include "platform/controls/vb_color.h"
#include "tests/support/fake_platform.h"
#include "tests/support/own_file_system.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

class TestWorkerWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void loadsWithItsControlsAndRefreshes();
    void timeRunWritesTheFileAndStartsItTwice();
    void twoRunsInARow();
    void refreshSplitsAtCommas();
    void clockTicks();
    void resultStepAfterANetworkRun();
    void resultStepAfterAFailedInternetRun();
    void networkOutcomeStaysOnTheStatusLine();
    void resultStepOnNewYearsEve();
    void resultStepWithoutStatusFile();
    void unwritableCommandFileStillEndsTheRun();
    void refusedNameStartsNothing_data();
    void refusedNameStartsNothing();
    void resultStepWaitsForARunningCommand();
    void unloggedResultShowsOnTheStatusLine_data();
    void unloggedResultShowsOnTheStatusLine();
    void outputBoxIsBounded();
};

namespace {
QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

quint32 backColorOf(const QWidget* w) {
    return w->property("backColor").toUInt();
}

struct Fixture {
    FakePlatform platform;
    Forms forms{platform};
    Tarnwick1& main = forms.tarnwick1();
    QString statusFile() const { return platform.local(QStringLiteral("C:\\StatusTime.txt")); }
    QString logFile() const { return platform.local(ResultLog::path(platform.programFolder())); }
    QStringList logLines() const {
        const QString text = QString::fromUtf8(readBytes(logFile()));
        QStringList lines = text.split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
    // A synchronization under way, as SYNC NOW leaves the main window.
    void markBusy() {
        main.setCursor(Qt::WaitCursor);
        main.SSCommand3->setBusyLook(true);
        main.Label2->setText(QStringLiteral("10:00:00 AM"));
        main.Label6->setText(QStringLiteral("NOT SCHEDULED"));
    }
    bool isBusy() const { return main.cursor().shape() == Qt::WaitCursor || main.SSCommand3->busyLook(); }
    // The worker window with a result step a few milliseconds after a network run's start; its real two seconds
    // are waited out by resultStepAfterANetworkRun alone.
    Tarnwick& quickWorker() {
        Tarnwick& w = forms.tarnwick();
        w.setResultStepMs(20);
        return w;
    }
};
} // namespace

void TestWorkerWindow::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestWorkerWindow::loadsWithItsControlsAndRefreshes() {
    Fixture f;
    writeBytes(f.statusFile(), "Current time at \\\\PC1 is 12/8/2026 10:00:00 AM\r\n");
    Tarnwick& w = f.forms.tarnwick();
    QCOMPARE(w.windowTitle(), QStringLiteral("Form1"));
    QVERIFY(!w.isVisible());
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("Label3_1"))->text(), QStringLiteral("Time Server Name"));
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("Label3_0"))->text(), QStringLiteral("Current at start up"));
    QCOMPARE(w.Text4->text(), QStringLiteral("Text4"));
    QCOMPARE(w.Text3->toPlainText(), QStringLiteral("Waiting\n"));
    QCOMPARE(backColorOf(w.Text1), VbColor::White);
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(w.Timer1->interval(), 3000);
    QVERIFY(!w.Timer3->isActive());
    QCOMPARE(w.Text2->toPlainText(), QStringLiteral("\nCurrent time at \\\\PC1 is 12/8/2026 10:00:00 AM"));
}

void TestWorkerWindow::timeRunWritesTheFileAndStartsItTwice() {
    Fixture f;
    Tarnwick& w = f.forms.tarnwick();
    writeBytes(f.statusFile(), "The command completed successfully.\r\n"); // an earlier run's
    w.Text4->setText(QStringLiteral("\\\\PC1  "));
    w.Command1_Click();
    QVERIFY(!QFile::exists(f.statusFile()));
    QCOMPARE(readBytes(f.platform.local(QStringLiteral("C:\\gTime.bat"))),
             QByteArray("net time \\\\PC1   /set /yes >c:\\StatusTime.txt\r\n"));
    const QPair<QString, int> start{QStringLiteral("c:\\gTime.bat"), 6};
    QCOMPARE(f.platform.started, (QList<QPair<QString, int>>{start, start}));
    QVERIFY(w.Text1->toPlainText().isEmpty());
    QCOMPARE(backColorOf(w.Text1), VbColor::Red);
    QVERIFY(w.Timer3->isActive());
    QCOMPARE(w.Timer3->interval(), 2000);
}

void TestWorkerWindow::twoRunsInARow() {
    Fixture f;
    Tarnwick& w = f.forms.tarnwick();
    w.Text4->setText(QStringLiteral("\\\\A-MUCH-LONGER-NAME"));
    w.Command1_Click();
    w.Text4->setText(QString());
    w.Command1_Click();
    QCOMPARE(readBytes(f.platform.local(QStringLiteral("C:\\gTime.bat"))),
             QByteArray("net time  /set /yes >c:\\StatusTime.txt\r\n"));
    QCOMPARE(f.platform.started.size(), 4);
}

void TestWorkerWindow::refreshSplitsAtCommas() {
    Fixture f;
    Tarnwick& w = f.forms.tarnwick();
    QVERIFY(w.Text2->toPlainText().isEmpty()); // no status file at load
    writeBytes(f.statusFile(), "first word,second word\r\n");
    w.Command2_Click();
    QCOMPARE(w.Text2->toPlainText(), QStringLiteral("\nfirst word\nsecond word"));
    QFile::remove(f.statusFile());
    w.Command2_Click();
    QVERIFY(w.Text2->toPlainText().isEmpty());
}

void TestWorkerWindow::clockTicks() {
    Fixture f;
    Tarnwick& w = f.forms.tarnwick();
    QCOMPARE(w.Label1->text(), QStringLiteral("Label1"));
    f.platform.setNow(QDateTime(QDate(2026, 12, 8), QTime(21, 7, 30)));
    w.Timer1_Timer();
    QCOMPARE(w.Label1->text(), QStringLiteral("09:07 PM"));
}

void TestWorkerWindow::resultStepAfterANetworkRun() {
    Fixture f;
    f.platform.setNow(QDateTime(QDate(2026, 12, 8), QTime(14, 5, 9)));
    Tarnwick& w = f.forms.tarnwick();
    w.Text4->setText(QStringLiteral("\\\\PC1"));
    f.main.Label1->setText(QStringLiteral("\\\\PC1"));
    QElapsedTimer started;
    started.start();
    w.Command1_Click();
    f.markBusy();
    writeBytes(f.statusFile(), "line one\r\nline two\r\n\r\nline three\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(!w.Timer3->isActive(), 4000); // the armed step runs by itself, once
    // Two seconds after the start (a coarse timer may fire 5% early).
    QVERIFY2(started.elapsed() >= 1900, qPrintable(QString::number(started.elapsed())));
    QCOMPARE(w.Text1->toPlainText(), QStringLiteral("\nline one\nline two\n\nline three"));
    QCOMPARE(backColorOf(w.Text1), VbColor::White);
    QVERIFY(!f.isBusy());
    QCOMPARE(f.main.Label2->text(), QStringLiteral("02:05:09 PM"));
    QCOMPARE(f.main.Label6->text(), QStringLiteral("December 09 2026"));
    QCOMPARE(f.main.SSPanel4->backColor(), VbColor::LightGreen);
    const QStringList lines = f.logLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].startsWith(QStringLiteral("\" Synchronization on 12/8/26 at 2:05:09")), qPrintable(lines[0]));
    QVERIFY(lines[0].endsWith(QStringLiteral(" With \\\\PC1 - Synchronize with Server\"")));
}

void TestWorkerWindow::networkOutcomeStaysOnTheStatusLine() {
    Fixture f;
    QVERIFY(f.main.Form_Load()); // the tray icon, for the notifications
    Tarnwick& w = f.quickWorker();
    const QByteArray failed = "System error 53 has occurred.\r\n\r\nThe network path was not found.\r\n"
                              "\\\\PC1 did not give the time: no SNTP reply\r\n\r\n";
    const QString reason = QStringLiteral("Clock not set: \\\\PC1 did not give the time: no SNTP reply");
    // A timer's failed run: the status line and one notification; the same reason again notifies no more.
    for (int run = 0; run < 2; ++run) {
        w.Text4->setText(QStringLiteral("\\\\PC1"));
        w.Command1_Click(Starter::Timer);
        writeBytes(f.statusFile(), failed);
        QTRY_VERIFY_WITH_TIMEOUT(!w.Timer3->isActive(), 4000);
        QCOMPARE(f.main.SSPanel2[0]->caption(), reason);
        QCOMPARE(f.main.syncOutcome(), reason);
    }
    QCOMPARE(f.platform.tray->notes.size(), 1);
    QCOMPARE(f.platform.tray->notes[0].value(1), reason);
    // A person's run that succeeds shows its correction; nobody is notified.
    w.Text4->setText(QStringLiteral("\\\\PC1"));
    w.Command1_Click();
    writeBytes(f.statusFile(),
               "Current time at \\\\PC1 is 12/9/2026 10:00:01 AM\r\n\r\nClock corrected by -2.5 s\r\n\r\n"
               "The command completed successfully.\r\n\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(!w.Timer3->isActive(), 4000);
    QCOMPARE(f.main.SSPanel2[0]->caption(), QStringLiteral("Clock corrected by -2.5 s"));
    // A person's failed run shows why but raises no notification.
    w.Text4->setText(QStringLiteral("\\\\PC1"));
    w.Command1_Click();
    writeBytes(f.statusFile(), failed);
    QTRY_VERIFY_WITH_TIMEOUT(!w.Timer3->isActive(), 4000);
    QCOMPARE(f.main.SSPanel2[0]->caption(), reason);
    QCOMPARE(f.platform.tray->notes.size(), 1);
}

void TestWorkerWindow::resultStepAfterAFailedInternetRun() {
    Fixture f;
    Tarnwick& w = f.forms.tarnwick();
    f.main.Label7->setText(QStringLiteral("FAILED"));
    f.main.SSPanel2[1]->setCaption(QStringLiteral("Server Response Time = 31 Milliseconds"));
    writeBytes(f.statusFile(), "old output\r\n");
    w.Text1->setPlainText(QStringLiteral("kept"));
    f.markBusy();
    w.Timer3->start(100);
    QTRY_VERIFY(!w.Timer3->isActive());
    QCOMPARE(w.Text1->toPlainText(), QStringLiteral("kept\nold output")); // the Internet branch adds to Text1
    QCOMPARE(f.main.SSPanel4->backColor(), VbColor::LightYellow);
    const QStringList lines = f.logLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines[0].startsWith(QStringLiteral("\"FAILED Synchronization on ")));
    QVERIFY(lines[0].endsWith(QStringLiteral(" - Server Response Time = 31 Milliseconds\"")));
}

void TestWorkerWindow::resultStepOnNewYearsEve() {
    Fixture f;
    f.platform.setNow(QDateTime(QDate(2026, 12, 31), QTime(23, 30, 0)));
    writeBytes(f.statusFile(), "");
    f.forms.tarnwick().Timer3_Timer();
    QCOMPARE(f.main.Label6->text(), QStringLiteral("January 01 2027"));
    QCOMPARE(f.main.Label2->text(), QStringLiteral("11:30:00 PM"));
}

void TestWorkerWindow::resultStepWithoutStatusFile() {
    Fixture f;
    Tarnwick& w = f.forms.tarnwick();
    w.Text4->setText(QStringLiteral("\\\\PC1"));
    w.Command1_Click();
    f.markBusy();
    f.main.SSPanel4->setBackColor(VbColor::ButtonFace);
    QVERIFY(!QFile::exists(f.statusFile()));
    // A scheduled synchronization at 14:05 on a computer that never wrote a status file: the schedule still
    // moves to tomorrow, or it would run again every minute.
    f.platform.setNow(QDateTime(QDate(2026, 12, 8), QTime(14, 5, 9)));
    w.Timer3_Timer();
    QCOMPARE(f.logLines().size(), 1);
    QCOMPARE(f.main.Label2->text(), QStringLiteral("02:05:09 PM"));
    QCOMPARE(f.main.Label6->text(), QStringLiteral("December 09 2026"));
    QCOMPARE(f.main.SSPanel4->backColor(), VbColor::ButtonFace);
    QCOMPARE(backColorOf(w.Text1), VbColor::Red);
    QVERIFY(!f.isBusy()); // never left with the hourglass and a busy SYNC NOW

    f.main.Label7->setText(QStringLiteral("FAILED"));
    w.Timer3_Timer();
    QCOMPARE(f.logLines().size(), 2);
    QCOMPARE(f.main.SSPanel4->backColor(), VbColor::LightYellow);
}

void TestWorkerWindow::unwritableCommandFileStillEndsTheRun() {
    Fixture f;
    Tarnwick& w = f.quickWorker();
    // A folder where the command file should be: it cannot be replaced, whoever runs the test.
    QVERIFY(QDir().mkpath(f.platform.local(QStringLiteral("C:\\gTime.bat"))));
    w.Text4->setText(QStringLiteral("\\\\PC1"));
    f.markBusy();
    w.Command1_Click();
    QVERIFY(f.platform.started.isEmpty()); // nothing stale is started
    QVERIFY(w.Text1->toPlainText().startsWith(QStringLiteral("The command file C:\\gTime.bat could not be written")));
    QVERIFY(w.Timer3->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!w.Timer3->isActive(), 4000);
    QCOMPARE(f.logLines().size(), 1);
    QVERIFY(!f.isBusy());
}

void TestWorkerWindow::refusedNameStartsNothing_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("CR LF makes a second line") << QStringLiteral("\\\\PC1 /set /yes\r\nnet view >c:\\XY");
    QTest::newRow("longer than a host name") << QStringLiteral("\\\\") + QString(32765, QLatin1Char('a'));
}

void TestWorkerWindow::refusedNameStartsNothing() {
    QFETCH(QString, name);
    Fixture f;
    Tarnwick& w = f.quickWorker();
    const QByteArray earlierLine = "net time \\\\OLD /set /yes >c:\\StatusTime.txt\r\n";
    writeBytes(f.platform.local(QStringLiteral("C:\\gTime.bat")), earlierLine);
    writeBytes(f.statusFile(), "The command completed successfully.\r\n");
    w.Text4->setText(name);
    f.markBusy();
    w.Command1_Click();
    QVERIFY(f.platform.started.isEmpty());
    QCOMPARE(readBytes(f.platform.local(QStringLiteral("C:\\gTime.bat"))), earlierLine);
    QVERIFY2(w.Text1->toPlainText().startsWith(QStringLiteral("The name cannot be used: ")),
             qPrintable(w.Text1->toPlainText()));
    QVERIFY(w.Timer3->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!w.Timer3->isActive(), 4000);
    // The earlier run's success is not shown as this run's.
    QVERIFY(!w.Text1->toPlainText().contains(QLatin1String("completed successfully")));
    QCOMPARE(f.logLines().size(), 1);
    QVERIFY(!f.isBusy());
}

void TestWorkerWindow::resultStepWaitsForARunningCommand() {
    Fixture f;
    Tarnwick& w = f.quickWorker();
    // Silent SNTP, then the Time Protocol: the command ends after the result step's tick.
    f.platform.commandRunMs = 300;
    f.platform.commandEnds = [&] {
        writeBytes(f.statusFile(), "Current time at \\\\PC1 is 12/8/2026 10:00:03 AM\r\n\r\n"
                                   "The command completed successfully.\r\n");
    };
    w.Text4->setText(QStringLiteral("\\\\PC1"));
    f.markBusy();
    w.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(f.logLines().size() == 1, 8000);
    QVERIFY2(w.Text1->toPlainText().contains(QLatin1String("The command completed successfully.")),
             qPrintable(w.Text1->toPlainText()));
    QCOMPARE(backColorOf(w.Text1), VbColor::White);
    QCOMPARE(f.main.SSPanel4->backColor(), VbColor::LightGreen);
    QVERIFY(!f.isBusy());
    QCOMPARE(f.platform.waitLimits, QList<int>{10000});
}

void TestWorkerWindow::unloggedResultShowsOnTheStatusLine_data() {
    QTest::addColumn<QString>("drive");  // what is wrong with the log's place
    QTest::addColumn<QByteArray>("run"); // the network run's output; empty: no network run
    QTest::addColumn<QString>("status");
    const QByteArray corrected = "Current time at \\\\PC1 is 12/9/2026 10:00:01 AM\r\n\r\nClock corrected by +0.3 s\r\n"
                                 "\r\nThe command completed successfully.\r\n";
    const QByteArray failed = "\\\\PC1 did not give the time: no SNTP reply\r\n";
    QTest::newRow("folder, no run") << "folder" << QByteArray() << "Result not logged: Is a directory";
    QTest::newRow("folder, clock corrected")
        << "folder" << corrected << "Clock corrected by +0.3 s; result not logged: Is a directory";
    // Run on a small file system of its own by small_file_system.sh.
    QTest::newRow("read-only, clock corrected")
        << "read-only" << corrected << "Clock corrected by +0.3 s; result not logged: Read-only file system";
    QTest::newRow("read-only, clock not set")
        << "read-only" << failed
        << "Clock not set: \\\\PC1 did not give the time: no SNTP reply; result not logged: Read-only file system";
}

void TestWorkerWindow::unloggedResultShowsOnTheStatusLine() {
    QFETCH(QString, drive);
    QFETCH(QByteArray, run);
    QFETCH(QString, status);
    const bool readOnly = drive == QLatin1String("read-only");
    if (readOnly && OwnFileSystem::path().isEmpty())
        QSKIP("needs a file system of its own: run by the read_only_result_step test");
    Fixture f;
    Tarnwick& w = f.forms.tarnwick();
    if (!run.isEmpty()) {
        w.Text4->setText(QStringLiteral("\\\\PC1"));
        w.Command1_Click();
    }
    writeBytes(f.statusFile(), run.isEmpty() ? QByteArray("output\r\n") : run);
    // A folder where the log should be: the record cannot be appended, whoever runs the test.
    if (!readOnly)
        QVERIFY(QDir().mkpath(f.logFile()));
    else
        QVERIFY(OwnFileSystem::setReadOnly(true));
    w.Timer3_Timer();
    if (readOnly)
        QVERIFY(OwnFileSystem::setReadOnly(false));
    QCOMPARE(f.main.SSPanel2[0]->caption(), status);
    QCOMPARE(f.main.SSPanel4->backColor(), VbColor::LightGreen);
}

void TestWorkerWindow::outputBoxIsBounded() {
    Fixture f;
    Tarnwick& w = f.forms.tarnwick();
    w.Text1->setPlainText(QString(Tarnwick::kText1MaxChars, QLatin1Char('x')));
    writeBytes(f.statusFile(), "tail end\r\n");
    w.Timer3_Timer();
    const QString text = w.Text1->toPlainText();
    QVERIFY(text.size() <= Tarnwick::kText1MaxChars);
    QVERIFY(text.endsWith(QStringLiteral("\ntail end")));
}

QTEST_MAIN(TestWorkerWindow)
#include "test_worker_window.moc"
