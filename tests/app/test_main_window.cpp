// The main window's start, settings, tray icon and buttons, driven through a fake platform.
#include "app/forms.h"
#include "app/main_window.h"
#include "app/schedule.h"
#include "data/server_lists.h"
#include "dialogs/log_viewer.h"
#include "dialogs/server_dialog.h"
#include "net_engine/worker_window.h"
#include "platform/controls/mlist.h"
#include "platform/controls/ss_check.h"
#include "platform/controls/ss_command.h"
#include "platform/controls/ss_panel.h"
#include "platform/controls/vb_color.h"
#include "platform/date_text.h"
#include "platform/text_file.h"
#include "tests/support/fake_platform.h"
#include "tests/support/ink.h"
#include "tests/support/own_file_system.h"
#include "time_protocol/vespline.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void startsHiddenInTheTray();
    void secondCopyStopsBeforeAnything();
    void laterStartBringsTheWindowForward();
    void showsTheWindowWhenThereIsNoTray();
    void trayThatAppearsLater_data();
    void trayThatAppearsLater();
    void trayThatGoesAway_data();
    void trayThatGoesAway();
    void clockFollowsTheMinute_data();
    void clockFollowsTheMinute();
    void intervalList();
    void dateLabelShowsTheWholeText();
    void markerFileTicksWithoutRewriting();
    void settingsRestored_data();
    void settingsRestored();
    void badSettingsFilesNeverStopTheStart_data();
    void badSettingsFilesNeverStopTheStart();
    void saveThenStartRoundTrip_data();
    void saveThenStartRoundTrip();
    void failedSaveIsVisible_data();
    void failedSaveIsVisible();
    void outsideNamesNeverShowRaw_data();
    void outsideNamesNeverShowRaw();
    void trayMessages_data();
    void trayMessages();
    void doneAndEnd();
    void closeBox();
    void buttonsOpenWindows();
    void emptyLog();
    void highlight_data();
    void highlight();
};

namespace {
void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList restored(Tarnwick1& w) {
    return {w.Label1->text(), w.Label2->text(), w.Label6->text()};
}
} // namespace

void TestMainWindow::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestMainWindow::startsHiddenInTheTray() {
    FakePlatform platform;
    platform.setNow(QDateTime(QDate(2026, 12, 8), QTime(21, 5, 40)));
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    QVERIFY(w.Form_Load());

    QVERIFY(!w.isVisible());
    QVERIFY(platform.tray && platform.tray->shown);
    QCOMPARE(platform.tray->adds, 1);
    QCOMPARE(platform.tray->tooltip, w.trayTooltip());
    QCOMPARE(w.trayTooltip().left(46), QByteArray("HORAVANE \rNext NOT SCHEDULED at NOT SCHEDULED\0", 46));

    QCOMPARE(w.Label3->text(), QStringLiteral("09:05 PM"));
    QCOMPARE(w.Label5->text(), QStringLiteral("12/08/2026"));
    QCOMPARE(w.Label1->text(), ServerLists::defaultServer());
    QVERIFY(!w.Label1->text().isEmpty());
    QVERIFY(!w.SSCheck1->isChecked());

    // The interval list: 720 whole minutes, and the interval stays at 60.
    QCOMPARE(w.Combo1->count(), 720);
    QCOMPARE(w.Combo1->itemText(0), QStringLiteral("1"));
    QCOMPARE(w.Combo1->itemText(719), QStringLiteral("720"));
    QCOMPARE(w.Combo1->currentText(), QStringLiteral("60"));

    // The clock's first tick comes a second after the start.
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(w.Timer1->interval(), 1000);
    QVERIFY(w.Timer2->isActive());
    QCOMPARE(w.Timer2->interval(), 60000);
    // Nothing is written at start, and no other window is created.
    QVERIFY(!QFile::exists(platform.local(w.settingsPath())));
    QVERIFY(!forms.isTarnwickLoaded() && !forms.isVesplineLoaded() && !forms.isTarnwick2Loaded());
    QVERIFY(platform.messages.isEmpty());
}

void TestMainWindow::secondCopyStopsBeforeAnything() {
    FakePlatform platform;
    platform.anotherCopy = true;
    writeFile(platform.local(QStringLiteral("C:\\HoravaneNRV.ini")), "\"x\"\r\n");
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    QVERIFY(!w.Form_Load());
    QCOMPARE(platform.messages.size(), 1);
    QCOMPARE(platform.messages[0].icon, MessageIcon::Error);
    QCOMPARE(platform.messages[0].title, QStringLiteral("Startup Error"));
    QCOMPARE(platform.messages[0].text, QStringLiteral("The Horavane program is already running! Please Click OK."));
    // It asks the running copy for its window, and never listens for later starts itself.
    QCOMPARE(platform.showRequests, 1);
    QVERIFY(!platform.laterStart);
    QVERIFY(!platform.tray);
    QCOMPARE(w.Combo1->count(), 0);
    QCOMPARE(w.Label1->text(), ServerLists::defaultServer());
    QVERIFY(!w.Timer1->isActive() && !w.Timer2->isActive());
}

void TestMainWindow::laterStartBringsTheWindowForward() {
    FakePlatform platform;
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    QVERIFY(w.Form_Load());
    QCOMPARE(platform.showRequests, 0);
    QVERIFY(platform.laterStart);
    QVERIFY(!w.isVisible());

    platform.laterStart();
    QVERIFY(w.isVisible());
    QVERIFY(!w.isMinimized());

    // Minimized to the task bar, or hidden again by DONE: the next start still brings it back.
    w.showMinimized();
    QVERIFY(w.isMinimized());
    platform.laterStart();
    QVERIFY(w.isVisible());
    QVERIFY(!w.isMinimized());
    w.SSCommand2_Click();
    QVERIFY(!w.isVisible());
    platform.laterStart();
    QVERIFY(w.isVisible());
    QVERIFY(platform.messages.isEmpty());
}

void TestMainWindow::showsTheWindowWhenThereIsNoTray() {
    FakePlatform platform;
    platform.trayAvailable = false;
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    QVERIFY(w.Form_Load());
    QVERIFY(w.isVisible());
    QVERIFY(w.Timer1->isActive());
}

void TestMainWindow::trayThatAppearsLater_data() {
    QTest::addColumn<bool>("used");
    QTest::newRow("untouched window goes to the tray") << false;
    QTest::newRow("window in use stays") << true;
}

void TestMainWindow::trayThatAppearsLater() {
    QFETCH(bool, used);
    FakePlatform platform;
    platform.trayAvailable = false;
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    QVERIFY(w.Form_Load());
    QVERIFY(w.isVisible());
    QVERIFY(!w.isTrayIconShown());
    QCOMPARE(w.SSPanel2[0]->caption(), Tarnwick1::kNoTrayNote);
    if (used) {
        // DONE saves, but with no icon to bring the window back it stays up.
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::mouseClick(w.SSCommand2, Qt::LeftButton);
        QVERIFY(QFile::exists(platform.local(w.settingsPath())));
        QVERIFY(w.isVisible());
        QCOMPARE(w.SSPanel2[0]->caption(), Tarnwick1::kNoTrayNote);
        QCOMPARE(platform.ends, 0);
    }
    // The panel starts: the icon asked for at start appears in it.
    platform.tray->setAvailable(true);
    QVERIFY(w.isTrayIconShown());
    QCOMPARE(platform.tray->adds, 1);
    QCOMPARE(w.SSPanel2[0]->caption(), QStringLiteral("Network Synchronization"));
    QCOMPARE(w.isVisible(), used);
    if (used) {
        w.SSCommand2->click();
        QVERIFY(!w.isVisible());
    }
    platform.tray->click(514);
    QVERIFY(w.isVisible());
}

void TestMainWindow::trayThatGoesAway_data() {
    QTest::addColumn<int>("graceMs"); // 0: the program's own grace
    QTest::addColumn<bool>("restartFirst");
    QTest::addColumn<bool>("comesBack");
    QTest::addColumn<bool>("used"); // the window is used while it is up for lack of a tray
    QTest::newRow("the program's grace, a restart first, gone for good") << 0 << true << false << false;
    QTest::newRow("back later, untouched window goes back into it") << 200 << false << true << false;
    QTest::newRow("back later, window in use stays") << 200 << false << true << true;
}

void TestMainWindow::trayThatGoesAway() {
    QFETCH(int, graceMs);
    QFETCH(bool, restartFirst);
    QFETCH(bool, comesBack);
    QFETCH(bool, used);
    FakePlatform platform;
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    if (graceMs > 0)
        w.setTrayLostGraceMs(graceMs);
    else
        graceMs = Tarnwick1::kTrayLostGraceMs;
    QVERIFY(w.Form_Load());
    QVERIFY(!w.isVisible());
    if (restartFirst) {
        // A panel that restarts: the tray is back within moments, and the window stays in it.
        platform.tray->setAvailable(false);
        platform.tray->setAvailable(true);
        QTest::qWait(graceMs + 500);
        QVERIFY(!w.isVisible());
    }
    // A panel that is gone: the window comes up after the grace (a coarse timer may fire 5% early), as nothing
    // else could bring it back.
    QElapsedTimer gone;
    gone.start();
    platform.tray->setAvailable(false);
    QVERIFY(!w.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(w.isVisible(), graceMs + 3000);
    QVERIFY2(gone.elapsed() >= graceMs * 95 / 100, qPrintable(QString::number(gone.elapsed())));
    QCOMPARE(w.SSPanel2[0]->caption(), Tarnwick1::kNoTrayNote);
    if (used) {
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::mouseClick(w.Combo1, Qt::LeftButton);
    }
    if (comesBack) {
        platform.tray->setAvailable(true);
        QCOMPARE(w.isVisible(), used);
        QCOMPARE(w.SSPanel2[0]->caption(), QStringLiteral("Network Synchronization"));
        QCOMPARE(platform.tray->adds, 1);
        return;
    }
    // The close box then ends the program instead of leaving it unreachable.
    QVERIFY(w.close());
    QCOMPARE(platform.ends, 1);
}

void TestMainWindow::clockFollowsTheMinute_data() {
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QDateTime>("then"); // when the tick runs, or the clock has just been corrected
    QTest::addColumn<bool>("corrected"); // a correction instead of a tick
    QTest::addColumn<int>("nextWait");
    QTest::addColumn<QString>("shown"); // the current time label then
    const QDate day(2026, 12, 8);
    const int past = Schedule::kPastMinuteMs;
    const auto at = [day](int h, int m, int s, int ms = 0) { return QDateTime(day, QTime(h, m, s, ms)); };
    QTest::newRow("start mid-minute") << at(21, 5, 40) << at(21, 6, 0, past) << false << 60000 << "09:06 PM";
    QTest::newRow("start on the minute") << at(21, 5, 0) << at(21, 6, 0, past + 1) << false << 59999 << "09:06 PM";
    QTest::newRow("start just before the minute")
        << at(21, 5, 59, 990) << at(21, 6, 0, past) << false << 60000 << "09:06 PM";
    QTest::newRow("late tick is aligned again")
        << at(21, 5, 40) << at(21, 6, 2, 500) << false << 57500 + past << "09:06 PM";
    QTest::newRow("midnight") << at(23, 59, 30) << QDateTime(day.addDays(1), QTime(0, 0, 0, past)) << false << 60000
                              << "12:00 AM";
    QTest::newRow("clock corrected forward") << at(21, 5, 40) << at(21, 7, 10) << true << 50000 + past << "09:07 PM";
    QTest::newRow("clock corrected back") << at(21, 5, 40) << at(21, 4, 50) << true << 10000 + past << "09:04 PM";
}

void TestMainWindow::clockFollowsTheMinute() {
    QFETCH(QDateTime, start);
    QFETCH(QDateTime, then);
    QFETCH(bool, corrected);
    QFETCH(int, nextWait);
    QFETCH(QString, shown);
    FakePlatform platform;
    platform.setNow(start);
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    QVERIFY(w.Form_Load());
    QCOMPARE(w.Timer1->interval(), 1000);
    QCOMPARE(w.Timer1->timerType(), Qt::PreciseTimer);
    platform.setNow(then);
    if (corrected)
        w.showSyncOutcome(true, QStringLiteral("Clock corrected"), false);
    else
        w.Timer1_Timer();
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(w.Timer1->interval(), nextWait);
    QCOMPARE(w.Label3->text(), shown);
    QCOMPARE(w.Label5->text(), DateText::clockDate(then.date()));
    // A failure corrects nothing: the timer keeps its wait. The tray's tooltip follows, its text made safe.
    w.showSyncOutcome(false, QStringLiteral("Clock not set: FAILED\r") + QChar(0x202E), false);
    QCOMPARE(w.Timer1->interval(), nextWait);
    QCOMPARE(platform.tray->tip,
             QStringLiteral("Clock not set at ") + shown + QStringLiteral(": FAILED??\nNo synchronization due"));
}

void TestMainWindow::intervalList() {
    FakePlatform platform;
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    QVERIFY(w.Form_Load());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // Every entry of the drop-down is read whole, the widest ("720") too.
    w.Combo1->showPopup();
    QAbstractItemView* view = w.Combo1->view();
    QTRY_VERIFY(view->isVisible());
    const QModelIndex last = view->model()->index(719, 0);
    QVERIFY(view->sizeHintForIndex(last).width() <= view->viewport()->width());
    w.Combo1->hidePopup();
    // A typed interval is used, but never added to the list.
    w.Combo1->lineEdit()->selectAll();
    QTest::keyClicks(w.Combo1->lineEdit(), QStringLiteral("721"));
    QTest::keyClick(w.Combo1->lineEdit(), Qt::Key_Return);
    QCOMPARE(w.Combo1->count(), 720);
    QCOMPARE(w.Combo1->itemText(719), QStringLiteral("720"));
    QCOMPARE(w.Combo1->currentText(), QStringLiteral("721"));
}

void TestMainWindow::dateLabelShowsTheWholeText() {
    FakePlatform platform;
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    QVERIFY(w.Form_Load());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // What an Internet synchronization writes, in the label's 14-point bold face.
    w.Label5->setText(QStringLiteral("Wednesday 12/09/2026"));
    QCOMPARE(w.Label5->font().pointSize(), 14);
    QVERIFY(w.Label5->font().bold());
    const QImage image = w.Label5->grab().toImage();
    const auto [first, last] = inkColumns(image);
    // Cut text would run into both edges of the label.
    QVERIFY2(first > 0 && last < image.width() - 1,
             qPrintable(QStringLiteral("ink %1..%2 of %3").arg(first).arg(last).arg(image.width())));
    QVERIFY(last - first > image.width() / 2);
}

void TestMainWindow::markerFileTicksWithoutRewriting() {
    FakePlatform platform;
    const QString marker = platform.local(QStringLiteral("C:\\AutoSyncKLOV.txt"));
    writeFile(marker, "left by hand");
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    QVERIFY(w.Form_Load());
    QVERIFY(w.SSCheck1->isChecked());
    QCOMPARE(readFile(marker), QByteArray("left by hand"));
}

void TestMainWindow::settingsRestored_data() {
    QTest::addColumn<QString>("programFolder");
    QTest::addColumn<QString>("file"); // relative to the drive folder
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("labels");
    const QByteArray five("\"\\\\PC7\"\r\n\"07:30:00 AM\"\r\n\"junk\"\r\n\"junk\"\r\n\"January 02 2027\"\r\n");
    const QStringList fiveLabels{"\\\\PC7", "07:30:00 AM", "January 02 2027"};
    QTest::newRow("drive root") << "C:\\"
                                << "NRV.ini" << five << fiveLabels;
    QTest::newRow("sub-folder") << "C:\\Tools\\Clock"
                                << "Tools/ClockNRV.ini" << five << fiveLabels;
    QTest::newRow("one record") << "C:\\"
                                << "NRV.ini" << QByteArray("\"solo\"\r\n") << QStringList{"solo", "solo", "solo"};
    QTest::newRow("four records") << "C:\\"
                                  << "NRV.ini" << QByteArray("\"a\"\r\n\"b\"\r\n\"c\"\r\n\"d\"\r\n")
                                  << QStringList{"a", "b", "d"};
    QTest::newRow("empty file") << "C:\\"
                                << "NRV.ini" << QByteArray() << QStringList{"", "", ""};
    // A first record far longer than the reader keeps is cut, and the four after it are still read.
    const QByteArray longRecord(400 * 1024, 'x');
    QTest::newRow("over-long first record")
        << "C:\\"
        << "NRV.ini"
        << "\"" + longRecord + "\"\r\n" + five.mid(five.indexOf('\n') + 1)
        << QStringList{QString(64 * 1024, QLatin1Char('x')), "07:30:00 AM", "January 02 2027"};
    QTest::newRow("file of another folder is not read")
        << "C:\\Tools\\Clock"
        << "Tools/Clock/NRV.ini" << five << QStringList{ServerLists::defaultServer(), "NOT SCHEDULED", "NOT SCHEDULED"};
}

void TestMainWindow::settingsRestored() {
    QFETCH(QString, programFolder);
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, labels);
    FakePlatform platform(programFolder);
    QDir(platform.drive().paths().driveFolder()).mkpath(QStringLiteral("Tools/Clock"));
    writeFile(platform.drive().paths().driveFolder() + QLatin1Char('/') + file, bytes);
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    QVERIFY(w.Form_Load());
    QCOMPARE(restored(w), labels);
    // The tooltip already shows the restored schedule.
    QVERIFY(w.trayTooltip().startsWith(("HORAVANE \rNext " + labels[2] + " at ").toUtf8().left(64)));
}

void TestMainWindow::badSettingsFilesNeverStopTheStart_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("binary") << "binary";
    QTest::newRow("huge, no line end") << "huge";
    QTest::newRow("unterminated quote") << "unterminated";
    QTest::newRow("named pipe") << "fifo";
    QTest::newRow("folder") << "folder";
    QTest::newRow("no read permission") << "unreadable";
}

void TestMainWindow::badSettingsFilesNeverStopTheStart() {
    QFETCH(QString, kind);
    FakePlatform platform(QStringLiteral("C:\\"));
    const QString path = platform.local(QStringLiteral("C:\\NRV.ini"));
    QStringList expected{ServerLists::defaultServer(), "NOT SCHEDULED", "NOT SCHEDULED"};
    if (kind == QLatin1String("binary")) {
        QByteArray bytes;
        for (int i = 0; i < 4096; ++i)
            bytes.append(static_cast<char>((i * 151) % 256));
        writeFile(path, bytes);
        expected.clear();
    } else if (kind == QLatin1String("huge")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(100LL * 1024 * 1024)); // sparse: 100 MB of NUL bytes, no line end
        expected.clear();
    } else if (kind == QLatin1String("unterminated")) {
        writeFile(path, "\"srv\"\r\n\"07:30:00 AM");
        expected = QStringList{"srv", "07:30:00 AM", "07:30:00 AM"};
    } else if (kind == QLatin1String("fifo")) {
        QVERIFY(QProcess::execute(QStringLiteral("mkfifo"), {path}) == 0);
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
    } else {
        writeFile(path, "\"secret\"\r\n");
        QFile::setPermissions(path, QFileDevice::Permissions());
        QFile probe(path);
        if (probe.open(QIODevice::ReadOnly))
            QSKIP("this user reads files whatever their permissions");
    }
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(w.Form_Load());
    QVERIFY2(clock.elapsed() < 10000, "the start took too long");
    QCOMPARE(w.Combo1->count(), 720);
    QVERIFY(platform.tray->shown);
    QCOMPARE(w.trayTooltip().size(), 64);
    if (!expected.isEmpty())
        QCOMPARE(restored(w), expected);
    else
        QVERIFY(w.Label1->text().size() <= 64 * 1024);
}

void TestMainWindow::saveThenStartRoundTrip_data() {
    QTest::addColumn<QStringList>("labels");
    QTest::newRow("sentinels") << QStringList{"NONE SELECTED", "NOT SCHEDULED", "NOT SCHEDULED"};
    QTest::newRow("network computer and schedule") << QStringList{"\\\\OFFICE-PC", "11:45:00 PM", "March 09 2027"};
    QTest::newRow("blanks and commas kept") << QStringList{" time.nist.gov ", "a, b", ""};
}

void TestMainWindow::saveThenStartRoundTrip() {
    QFETCH(QStringList, labels);
    FakePlatform platform;
    {
        Forms forms(platform);
        Tarnwick1& w = forms.tarnwick1();
        QVERIFY(w.Form_Load());
        w.Label1->setText(labels[0]);
        w.Label2->setText(labels[1]);
        w.Label6->setText(labels[2]);
        QVERIFY(w.SaveSettings());
    }
    const QByteArray bytes = readFile(platform.local(QStringLiteral("C:\\HoravaneNRV.ini")));
    QCOMPARE(bytes.count("\r\n"), 5);
    QVERIFY(bytes.contains("\"10:00 AM\"\r\n\"12/08/2026\"\r\n"));
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    QVERIFY(w.Form_Load());
    QCOMPARE(restored(w), labels);
}

void TestMainWindow::failedSaveIsVisible_data() {
    QTest::addColumn<bool>("fullDisk");
    QTest::addColumn<QString>("status"); // its start
    QTest::newRow("folder where the file should be") << false << "Settings not saved: ";
    // Run on a small file system of its own by small_file_system.sh.
    QTest::newRow("full disk") << true << "Settings not saved: No space left on device";
}

void TestMainWindow::failedSaveIsVisible() {
    QFETCH(bool, fullDisk);
    QFETCH(QString, status);
    if (fullDisk && OwnFileSystem::path().isEmpty())
        QSKIP("needs a file system of its own: run by the full_disk_done test");
    FakePlatform platform;
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    QVERIFY(w.Form_Load());
    const QString settings = platform.local(w.settingsPath());
    QByteArray kept;
    if (fullDisk) {
        QVERIFY(w.SaveSettings());
        kept = readFile(settings);
        QVERIFY(kept.startsWith(TextFile::quotedRecord(w.Label1->text())));
        QVERIFY(OwnFileSystem::fillUp());
        w.Label1->setText(QStringLiteral("\\\\PC2"));
    } else {
        // A folder where the settings file should be: no rename can replace it, whoever runs the test.
        QVERIFY(QDir().mkpath(settings));
    }
    w.Form_MouseMove(514);
    w.SSCommand2->click();
    QVERIFY2(w.SSPanel2[0]->caption().startsWith(status), qPrintable(w.SSPanel2[0]->caption()));
    QVERIFY(w.isVisible()); // DONE keeps the window up so the status line can be read
    if (fullDisk)
        QCOMPARE(readFile(settings), kept);
    else
        QVERIFY(QFileInfo(settings).isDir());
    // No temporary file is left beside it.
    QCOMPARE(QDir(platform.drive().paths().driveFolder()).entryList(QDir::Files),
             fullDisk ? QStringList{QFileInfo(settings).fileName()} : QStringList());
}

void TestMainWindow::outsideNamesNeverShowRaw_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("refusal"); // the end of the reason the name is refused for
    const QString control = QStringLiteral("it holds a line break or another control character (%1).");
    const QString direction = QStringLiteral("it holds %1, a control that turns the direction of the text around.");
    QTest::newRow("LF") << QStringLiteral("\\\\PC\n1") << QStringLiteral("\\\\PC?1") << control.arg("U+000A");
    QTest::newRow("CR LF") << QStringLiteral("\\\\PC\r\n1") << QStringLiteral("\\\\PC??1") << control.arg("U+000D");
    QTest::newRow("U+202E") << QStringLiteral("\\\\PC") + QChar(0x202e) + QStringLiteral("1gpj.exe")
                            << QStringLiteral("\\\\PC?1gpj.exe") << direction.arg("U+202E");
    QTest::newRow("U+2066") << QStringLiteral("\\\\") + QChar(0x2066) + QStringLiteral("PC1")
                            << QStringLiteral("\\\\?PC1") << direction.arg("U+2066");
    QTest::newRow("DEL") << QStringLiteral("\\\\PC\x7f") << QStringLiteral("\\\\PC?") << control.arg("U+007F");
    QTest::newRow("C1 U+009B") << QStringLiteral("\\\\PC") + QChar(0x9b) + QStringLiteral("2J")
                               << QStringLiteral("\\\\PC?2J") << control.arg("U+009B");
}

void TestMainWindow::outsideNamesNeverShowRaw() {
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QFETCH(QString, refusal);
    FakePlatform platform;
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    QVERIFY(w.Form_Load());
    Tarnwick& worker = forms.tarnwick();
    // A name restored from the settings file: refused before anything runs, and logged on one line.
    w.Label1->setText(name);
    w.SSCommand3_Click();
    QVERIFY(platform.started.isEmpty());
    worker.Timer3_Timer();
    QCOMPARE(w.SSPanel2[0]->caption(), QStringLiteral("Clock not set: The name cannot be used: ") + refusal);
    const QByteArray log = readFile(platform.local(QStringLiteral("C:\\Horavane\\ResultLog.txt")));
    QCOMPARE(log.count('\n'), 1);
    QVERIFY2(
        log.endsWith(
            QString(QStringLiteral(" With ") + shown + QStringLiteral(" - Synchronize with Server\"\r\n")).toUtf8()),
        log.constData());
    // In the selection dialog's list: shown with "?", chosen as it is (and then refused as above).
    Tarnwick2& dialog = forms.tarnwick2();
    dialog.MList1->addEntry(name);
    QCOMPARE(dialog.MList1->item(0)->text(), shown);
    QCOMPARE(dialog.MList1->entryText(0), name);
    // The same name in what a computer's run reports reaches the status line and the notification as shown; a
    // line break there already splits the status file's fields.
    if (name.contains(QLatin1Char('\n')))
        return;
    worker.Text4->setText(QStringLiteral("\\\\PC1"));
    worker.Command1_Click(Starter::Timer);
    writeFile(platform.local(QStringLiteral("C:\\StatusTime.txt")),
              (name + QStringLiteral(" did not give the time: no SNTP reply\r\n")).toUtf8());
    worker.Timer3_Timer();
    const QString reason =
        QStringLiteral("Clock not set: ") + shown + QStringLiteral(" did not give the time: no SNTP reply");
    QCOMPARE(w.SSPanel2[0]->caption(), reason);
    QCOMPARE(platform.tray->notes.value(0).value(1), reason);
    QCOMPARE(readFile(platform.local(QStringLiteral("C:\\Horavane\\ResultLog.txt"))).count('\n'), 2);
}

void TestMainWindow::trayMessages_data() {
    QTest::addColumn<int>("message");
    QTest::addColumn<bool>("shows");
    QTest::newRow("512 move") << 512 << false;
    QTest::newRow("513 left down") << 513 << true;
    QTest::newRow("514 left up") << 514 << true;
    QTest::newRow("515 left double") << 515 << true;
    QTest::newRow("516 right down") << 516 << true;
    QTest::newRow("517 right up") << 517 << true;
    QTest::newRow("518 right double") << 518 << true;
    QTest::newRow("519 middle") << 519 << false;
}

void TestMainWindow::trayMessages() {
    QFETCH(int, message);
    QFETCH(bool, shows);
    FakePlatform platform;
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    QVERIFY(w.Form_Load());
    platform.tray->click(message);
    QCOMPARE(w.isVisible(), shows);
    // A visible window stays visible and in place.
    w.show();
    const QRect before = w.geometry();
    platform.tray->click(message);
    QVERIFY(w.isVisible());
    QCOMPARE(w.geometry(), before);
}

void TestMainWindow::doneAndEnd() {
    FakePlatform platform;
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    QVERIFY(w.Form_Load());
    const QString settings = platform.local(w.settingsPath());

    platform.tray->click(514);
    w.Label1->setText(QStringLiteral("\\\\PC2"));
    w.SSCommand2->click(); // DONE
    QVERIFY(!w.isVisible());
    QVERIFY(platform.tray->shown);
    QVERIFY(w.Timer1->isActive() && w.Timer2->isActive());
    QVERIFY(readFile(settings).startsWith("\"\\\\PC2\"\r\n"));
    QCOMPARE(platform.ends, 0);

    platform.tray->click(514);
    w.Label1->setText(QStringLiteral("\\\\PC3"));
    w.SSCommand1->click(); // END
    QVERIFY(readFile(settings).startsWith("\"\\\\PC3\"\r\n"));
    QVERIFY(!platform.tray->shown);
    QCOMPARE(platform.tray->removes, 1);
    QCOMPARE(platform.ends, 1);
}

void TestMainWindow::closeBox() {
    {
        FakePlatform platform;
        Forms forms(platform);
        Tarnwick1& w = forms.tarnwick1();
        QVERIFY(w.Form_Load());
        platform.tray->click(514);
        QVERIFY(w.close() == false); // only hidden: the icon brings it back
        QVERIFY(!w.isVisible());
        QVERIFY(platform.tray->shown);
        QCOMPARE(platform.ends, 0);
        QVERIFY(!QFile::exists(platform.local(w.settingsPath())));
    }
    {
        FakePlatform platform;
        platform.trayAvailable = false;
        Forms forms(platform);
        Tarnwick1& w = forms.tarnwick1();
        QVERIFY(w.Form_Load());
        QVERIFY(w.close());
        QCOMPARE(platform.tray->removes, 1);
        QCOMPARE(platform.ends, 1); // nothing would reach a program without window or icon
        QVERIFY(!QFile::exists(platform.local(w.settingsPath())));
    }
}

void TestMainWindow::buttonsOpenWindows() {
    FakePlatform platform;
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    QVERIFY(w.Form_Load());
    platform.tray->click(514);

    w.SSCommand5->click();
    QVERIFY(forms.isTarnwick2Loaded());
    QWidget* first = &forms.tarnwick2();
    QVERIFY(first->isVisible());
    emit w.SSPanel3->clicked();
    QCOMPARE(static_cast<QWidget*>(&forms.tarnwick2()), first);

    w.SSCommand6->click();
    QVERIFY(forms.isTarnwick4Loaded() && forms.tarnwick4().isVisible());
    w.Command1_Click();
    QVERIFY(forms.isTarnwickLoaded() && forms.tarnwick().isVisible());
    w.Command3_Click();
    QVERIFY(forms.isVesplineLoaded() && forms.vespline().isVisible());

    w.Command2->click();
    QCOMPARE(platform.started.size(), 1);
    QCOMPARE(platform.started[0].first, QStringLiteral("rundll32.exe shell32.dll,Control_RunDLL timedate.cpl"));
    QCOMPARE(platform.started[0].second, 1);
}

void TestMainWindow::emptyLog() {
    FakePlatform platform;
    Forms forms(platform);
    Tarnwick1& w = forms.tarnwick1();
    const QString log = platform.local(QStringLiteral("C:\\Horavane\\ResultLog.txt"));
    w.EmptyLog();
    QVERIFY(QFile::exists(log));
    QCOMPARE(QFileInfo(log).size(), 0);
    writeFile(log, "\"FAILED ...\"\r\n");
    w.EmptyLog();
    QCOMPARE(QFileInfo(log).size(), 0);

    // A log that is a link to a file outside the drive folder: that file stays, and the status line says why.
    QTemporaryDir outside;
    const QString victim = outside.filePath(QStringLiteral("kept.txt"));
    writeFile(victim, "someone else's\r\n");
    QVERIFY(QFile::remove(log) && QFile::link(victim, log));
    w.EmptyLog();
    QCOMPARE(QFileInfo(victim).size(), qint64(16));
    QVERIFY2(w.SSPanel2[0]->caption().startsWith(QStringLiteral("Log not emptied: ")),
             qPrintable(w.SSPanel2[0]->caption()));
}

void TestMainWindow::highlight_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<quint32>("entered");
    QTest::newRow("END") << "SSCommand1" << quint32(VbColor::Red);
    QTest::newRow("DONE") << "SSCommand2" << quint32(VbColor::ButtonFace);
    QTest::newRow("SYNC NOW") << "SSCommand3" << quint32(VbColor::ButtonFace);
}

void TestMainWindow::highlight() {
    QFETCH(QString, button);
    QFETCH(quint32, entered);
    FakePlatform platform;
    Forms forms(platform);
    auto* b = forms.tarnwick1().findChild<SSCommand*>(button);
    QVERIFY(b);
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(b, &enter);
    QCOMPARE(b->backColor(), entered);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(b, &leave);
    QCOMPARE(b->backColor(), quint32(VbColor::Black));
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
