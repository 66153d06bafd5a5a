// Watching started processes until they end: the wait lets events run, ends with the last process, and is bounded.
// Which date and time panel is started, how both programs read their options, and the name given to the desktop.
#include "platform/date_time_panel.h"
#include "platform/linux_platform.h"
#include "platform/program_options.h"
#include "platform/started_commands.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <csignal>

class TestStartedCommands : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void waitEndsWithTheLastProcess();
    void waitIsBounded();
    void endedProcessIsNotCounted();
    void dateTimePanel_data();
    void dateTimePanel();
    void programOptions_data();
    void programOptions();
    void desktopFileIsTheInstalledEntry();
};

namespace {
qint64 startSleep(const QString& seconds) {
    qint64 pid = 0;
    return QProcess::startDetached(QStringLiteral("sleep"), {seconds}, QString(), &pid) ? pid : 0;
}
} // namespace

void TestStartedCommands::waitEndsWithTheLastProcess() {
    StartedCommands commands;
    const qint64 quick = startSleep(QStringLiteral("0.2"));
    const qint64 slower = startSleep(QStringLiteral("0.8"));
    QVERIFY(quick > 0 && slower > 0);
    commands.add(quick);
    commands.add(slower);
    QVERIFY(commands.anyRunning());
    bool eventsRan = false;
    QTimer::singleShot(50, this, [&] { eventsRan = true; });
    QElapsedTimer t;
    t.start();
    QVERIFY(commands.waitAll(10000));
    QVERIFY2(t.elapsed() >= 500, qPrintable(QString::number(t.elapsed()))); // not done with the first to end
    QVERIFY(t.elapsed() < 8000);
    QVERIFY(eventsRan);
    QVERIFY(!commands.anyRunning());
}

void TestStartedCommands::waitIsBounded() {
    StartedCommands commands;
    const qint64 pid = startSleep(QStringLiteral("30"));
    QVERIFY(pid > 0);
    commands.add(pid);
    QElapsedTimer t;
    t.start();
    const bool ended = commands.waitAll(300);
    const qint64 waited = t.elapsed();
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    QVERIFY(!ended);
    QVERIFY(waited >= 250 && waited < 5000);
    QVERIFY(commands.anyRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!commands.anyRunning(), 5000); // the ending is seen without another wait
}

void TestStartedCommands::endedProcessIsNotCounted() {
    StartedCommands commands;
    const qint64 pid = startSleep(QStringLiteral("0"));
    QVERIFY(pid > 0);
    QTest::qWait(300);
    commands.add(pid); // long gone: nothing to wait for
    commands.add(0);
    QVERIFY(commands.waitAll(100));
}

void TestStartedCommands::dateTimePanel_data() {
    QTest::addColumn<QString>("desktop");      // XDG_CURRENT_DESKTOP
    QTest::addColumn<QStringList>("programs"); // those installed
    QTest::addColumn<QStringList>("started");
    const QStringList all = {"gnome-control-center", "systemsettings", "kcmshell5",      "cinnamon-settings",
                             "mate-time-admin",      "time-admin",     "lxqt-admin-time"};
    QTest::newRow("GNOME") << "GNOME" << all << QStringList{"gnome-control-center", "datetime"};
    QTest::newRow("Ubuntu's GNOME") << "ubuntu:GNOME" << all << QStringList{"gnome-control-center", "datetime"};
    QTest::newRow("KDE") << "KDE" << all << QStringList{"systemsettings", "kcm_clock"};
    QTest::newRow("KDE with kcmshell5 only")
        << "KDE" << QStringList{"kcmshell5", "gnome-control-center"} << QStringList{"kcmshell5", "clock"};
    QTest::newRow("Cinnamon") << "X-Cinnamon" << all << QStringList{"cinnamon-settings", "calendar"};
    QTest::newRow("MATE") << "MATE" << all << QStringList{"mate-time-admin"};
    QTest::newRow("XFCE") << "XFCE" << all << QStringList{"time-admin"};
    QTest::newRow("LXQt, any case") << "lxqt" << all << QStringList{"lxqt-admin-time"};
    QTest::newRow("own panel missing: the others in order")
        << "LXQt" << QStringList{"cinnamon-settings", "systemsettings"} << QStringList{"systemsettings", "kcm_clock"};
    QTest::newRow("unknown desktop") << "Hyprland" << QStringList{"lxqt-admin-time"} << QStringList{"lxqt-admin-time"};
    QTest::newRow("nothing installed") << "GNOME" << QStringList{} << QStringList{};
}

void TestStartedCommands::dateTimePanel() {
    QFETCH(QString, desktop);
    QFETCH(QStringList, programs);
    QFETCH(QStringList, started);
    QCOMPARE(DateTimePanel::choose(desktop, [&](const QString& p) { return programs.contains(p); }), started);
}

void TestStartedCommands::programOptions_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("operands"); // what a run needs
    QTest::addColumn<int>("ask");
    QTest::addColumn<QStringList>("flags");
    const int run = int(ProgramOptions::Ask::Run);
    const int help = int(ProgramOptions::Ask::Help);
    const int version = int(ProgramOptions::Ask::Version);
    const int wrong = int(ProgramOptions::Ask::Wrong);
    QTest::newRow("nothing") << QStringList{} << 0 << run << QStringList{};
    QTest::newRow("--help") << QStringList{"--help"} << 0 << help << QStringList{};
    QTest::newRow("--version") << QStringList{"--version"} << 1 << version << QStringList{};
    QTest::newRow("unknown option") << QStringList{"--helpme"} << 0 << wrong << QStringList{};
    QTest::newRow("unknown option after --help") << QStringList{"--help", "-x"} << 0 << wrong << QStringList{};
    QTest::newRow("operand where none is taken") << QStringList{"file"} << 0 << wrong << QStringList{};
    QTest::newRow("missing operand") << QStringList{"--user-started"} << 1 << wrong << QStringList{"--user-started"};
    QTest::newRow("flag and operand") << QStringList{"--user-started", "gTime.bat"} << 1 << run
                                      << QStringList{"--user-started"};
    QTest::newRow("-- ends the options") << QStringList{"--", "--help"} << 1 << run << QStringList{};
    QTest::newRow("two operands") << QStringList{"a", "b"} << 1 << wrong << QStringList{};
}

void TestStartedCommands::programOptions() {
    QFETCH(QStringList, args);
    QFETCH(int, operands);
    QFETCH(int, ask);
    QFETCH(QStringList, flags);
    const ProgramOptions options = readProgramOptions(args, {QStringLiteral("--user-started")}, operands);
    QCOMPARE(int(options.ask), ask);
    QCOMPARE(options.flags, flags);
}

void TestStartedCommands::desktopFileIsTheInstalledEntry() {
    LinuxPlatform::nameApplication();
    QCOMPARE(QGuiApplication::desktopFileName(), LinuxPlatform::kDesktopFileName);
    // The entry that the package installs carries that name.
    QVERIFY(QFileInfo::exists(QStringLiteral(HV_PACKAGING_DIR "/") + QGuiApplication::desktopFileName() +
                              QStringLiteral(".desktop")));
}

QTEST_GUILESS_MAIN(TestStartedCommands)
#include "test_started_commands.moc"
