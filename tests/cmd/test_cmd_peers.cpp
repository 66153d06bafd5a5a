// horavane-cmd as the worker window runs it, against real time servers on loopback (chronyd -x for SNTP, xinetd's
// time service), the fake clock service and the fake Avahi on a private bus. The drive folder and the working
// folder sit side by side in one folder of the test's own, so a file written outside the drive folder is seen.
#include "net_engine/discovery_rules.h"
#include "platform/text_file.h"
#include "tests/support/process_fixtures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestCmdPeers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void sntpFromChronyd_data();
    void sntpFromChronyd();
    void timeProtocolFromXinetd();
    void refusedSetIsAFailure_data();
    void refusedSetIsAFailure();
    void deadHostEndsQuickly();
    void commandLineManners_data();
    void commandLineManners();
    void hostileNamesRunNothing_data();
    void hostileNamesRunNothing();
    void twoRunsAtOnceLeaveOneCompleteOutput_data();
    void twoRunsAtOnceLeaveOneCompleteOutput();
    void netViewWithoutAvahi();
    void netViewListsTheComputers();
    void netViewIgnoresWhatServiceNamesHold();
    void everyListedComputerCanBeAsked();

private:
    struct Run {
        int exitCode = -1;
        qint64 ms = 0;
        QString status; // the status file after the run
    };
    Run run(const QByteArray& commandFile, bool userStarted = false);
    // Starts horavane-cmd with these arguments on the test's drive folder and private bus.
    void start(QProcess& cmd, const QStringList& args) const;
    // The environment of a run: this test's drive folder and bus, and the SNTP server when one is given.
    QProcessEnvironment environment(quint16 sntpPort = 0) const;
    QString drive() const { return m_outer->path() + QStringLiteral("/drive_c"); }
    QString workFolder() const { return m_outer->path() + QStringLiteral("/work"); }
    QStringList driveFiles() const { return QDir(drive()).entryList(QDir::Files); }
    // Everything outside the drive folder: the working folder's files and whatever sits beside the two folders.
    QStringList filesOutside() const {
        QStringList found = QDir(workFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        for (const QString& e : QDir(m_outer->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            if (e != QLatin1String("drive_c") && e != QLatin1String("work"))
                found << e;
        return found;
    }
    // The computers that discovery takes from the status file, read as the worker window reads it.
    QStringList listed() const;

    PrivateSystemBus m_bus;
    FakeTimedated m_timedated;
    std::unique_ptr<QTemporaryDir> m_outer;
    quint16 m_sntpPort = 0; // the test SNTP server that run() points horavane-cmd at, when set
};

namespace {
QByteArray timeLine(const QString& name) {
    return (QStringLiteral("net time ") + name + QStringLiteral(" /set /yes >c:\\StatusTime.txt\r\n")).toUtf8();
}
} // namespace

void TestCmdPeers::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    HV_START_FIXTURE(m_bus);
    HV_START_FIXTURE(m_timedated, m_bus);
}

void TestCmdPeers::init() {
    m_outer = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir().mkpath(drive()) && QDir().mkpath(workFolder()));
    m_timedated.refuse(QString());
    m_timedated.setNtp(false);
    m_timedated.setVirtualLead(0);
    m_sntpPort = 0;
}

QProcessEnvironment TestCmdPeers::environment(quint16 sntpPort) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HORAVANE_DRIVE_C"), drive());
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_bus.address());
    if (sntpPort) {
        env.insert(QStringLiteral("HORAVANE_SNTP_PORT"), QString::number(sntpPort));
        env.insert(QStringLiteral("HORAVANE_TIME_PORT"), QStringLiteral("9"));
    }
    return env;
}

QStringList TestCmdPeers::listed() const {
    const DriveC c(DosPaths(drive(), QStringLiteral("C:\\")));
    bool unterminated = false;
    const auto fields = c.readFields(QStringLiteral("C:\\StatusTime.txt"), -1, &unterminated);
    QStringList names;
    for (const QString& entry : Discovery::computers(fields.value_or(QStringList()), unterminated))
        names << entry.trimmed();
    return names;
}

void TestCmdPeers::start(QProcess& cmd, const QStringList& args) const {
    cmd.setProcessEnvironment(environment(m_sntpPort));
    cmd.setWorkingDirectory(workFolder());
    cmd.start(QStringLiteral(HV_HORAVANE_CMD), args);
}

TestCmdPeers::Run TestCmdPeers::run(const QByteArray& commandFile, bool userStarted) {
    const QString file = drive() + QStringLiteral("/gTime.bat");
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    f.write(commandFile);
    f.close();
    QProcess cmd;
    QElapsedTimer t;
    t.start();
    start(cmd, userStarted ? QStringList{QStringLiteral("--user-started"), file} : QStringList{file});
    if (!cmd.waitForFinished(20000))
        cmd.kill();
    Run r{cmd.exitCode(), t.elapsed(), {}};
    QFile status(drive() + QStringLiteral("/StatusTime.txt"));
    if (status.open(QIODevice::ReadOnly))
        r.status = QString::fromUtf8(status.readAll());
    return r;
}

void TestCmdPeers::sntpFromChronyd_data() {
    QTest::addColumn<bool>("userStarted");
    QTest::newRow("started by a person") << true;
    QTest::newRow("started by a timer") << false;
}

void TestCmdPeers::sntpFromChronyd() {
    QFETCH(bool, userStarted);
    ChronydServer chronyd;
    const QString address = uniqueLoopbackAddress(0);
    HV_START_FIXTURE(chronyd, address);
    const int already = static_cast<int>(m_timedated.calls().size());
    const Run r = run(timeLine(QStringLiteral("\\\\") + address), userStarted);
    QVERIFY2(r.status.startsWith(QStringLiteral("Current time at \\\\") + address + QStringLiteral(" is ")),
             qPrintable(r.status));
    QVERIFY2(r.status.contains(QLatin1String("\r\n\r\nThe command completed successfully.\r\n")), qPrintable(r.status));
    QCOMPARE(r.exitCode, 0);
    // chronyd serves this very clock: found right to the millisecond, nothing is sent to the clock service.
    QVERIFY2(r.status.contains(QStringLiteral("\r\n\r\nClock already right (") + QChar(0x00B1) + QStringLiteral("0.0")),
             qPrintable(r.status));
    QCOMPARE(m_timedated.calls().size(), already);
}

void TestCmdPeers::timeProtocolFromXinetd() {
    XinetdTimeServer xinetd;
    const QString address = uniqueLoopbackAddress(1); // no NTP here: SNTP is refused and the Time Protocol answers
    HV_START_FIXTURE(xinetd, address);
    const int before = m_timedated.calls().size();
    const Run r = run(timeLine(QStringLiteral("\\\\") + address + QStringLiteral("   ")));
    QVERIFY2(r.status.contains(QLatin1String("The command completed successfully.")), qPrintable(r.status));
    // Whole seconds from a server whose clock is this one: read as the middle of its second, that is right to
    // within half a second, so nothing is sent (rounding to whole seconds moved a right clock by up to one).
    QVERIFY2(r.status.contains(QStringLiteral("Clock already right (") + QChar(0x00B1) + QStringLiteral("0.5 s)")),
             qPrintable(r.status));
    QCOMPARE(m_timedated.calls().size(), before);
}

void TestCmdPeers::refusedSetIsAFailure_data() {
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("ntpOn"); // the service's own NTP flag instead of a refusal
    QTest::newRow("not authorised") << QStringLiteral("org.freedesktop.DBus.Error.AccessDenied")
                                    << QStringLiteral("Permission denied") << QStringLiteral("not authorised") << false;
    QTest::newRow("automatic synchronisation on")
        << QStringLiteral("org.freedesktop.timedate1.AutomaticTimeSyncEnabled")
        << QStringLiteral("Automatic time synchronization is enabled") << QStringLiteral("(NTP) is on") << false;
    // A person's run: still no question and no switching off on this road.
    QTest::newRow("NTP flag on, a person's run") << QString() << QString() << QStringLiteral("(NTP) is on") << true;
}

void TestCmdPeers::refusedSetIsAFailure() {
    QFETCH(QString, error);
    QFETCH(QString, message);
    QFETCH(QString, reason);
    QFETCH(bool, ntpOn);
    // A server five seconds ahead, so that there is a correction to refuse.
    FakeSntpServer sntp;
    const QString address = uniqueLoopbackAddress(1);
    HV_START_FIXTURE(sntp, address, 5000000);
    m_sntpPort = sntp.port();
    m_timedated.refuse(error, message);
    m_timedated.setNtp(ntpOn);
    const int before = m_timedated.calls().size();
    const int ntpBefore = m_timedated.ntpCalls().size();
    const Run r = run(timeLine(QStringLiteral("\\\\") + address), ntpOn);
    QVERIFY2(r.status.contains(QLatin1String("System error 1314 has occurred.")), qPrintable(r.status));
    QVERIFY(r.status.contains(reason));
    QVERIFY(!r.status.contains(QLatin1String("completed successfully")));
    QVERIFY(r.exitCode != 0);
    QCOMPARE(m_timedated.calls().size(), before);
    QCOMPARE(m_timedated.ntpCalls().size(), ntpBefore);
}

void TestCmdPeers::deadHostEndsQuickly() {
    // A loopback address where nothing listens: both ports refuse at once.
    const QString address = QStringLiteral("127.63.0.1");
    const int before = m_timedated.calls().size();
    const Run r = run(timeLine(QStringLiteral("\\\\") + address));
    QVERIFY2(r.status.contains(QLatin1String("The network path was not found.")), qPrintable(r.status));
    QVERIFY2(r.ms < 1000, qPrintable(QString::number(r.ms)));
    QCOMPARE(m_timedated.calls().size(), before);
}

void TestCmdPeers::commandLineManners_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // the start of standard output
    QTest::addColumn<QString>("err"); // the start of standard error
    const QString usage = QStringLiteral("Usage: horavane-cmd [--user-started] COMMAND-FILE\n");
    QTest::newRow("--help") << QStringList{"--help"} << 0 << usage << QString();
    QTest::newRow("--version") << QStringList{"--version"} << 0 << "horavane-cmd 0." << QString();
    QTest::newRow("unknown option") << QStringList{"--set"} << 2 << QString() << usage;
    QTest::newRow("no command file") << QStringList{} << 2 << QString() << usage;
    QTest::newRow("a file named like an option") << QStringList{"--", "--help"} << 1 << QString() << QString();
}

void TestCmdPeers::commandLineManners() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QProcess cmd;
    start(cmd, args);
    QVERIFY(cmd.waitForFinished(20000));
    const QString said = QString::fromUtf8(cmd.readAllStandardOutput());
    const QString complained = QString::fromUtf8(cmd.readAllStandardError());
    QCOMPARE(cmd.exitCode(), exitCode);
    QVERIFY2(out.isEmpty() ? said.isEmpty() : said.startsWith(out), qPrintable(said));
    QVERIFY2(err.isEmpty() || complained.startsWith(err), qPrintable(complained));
}

void TestCmdPeers::hostileNamesRunNothing_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("said");
    const QString invalid = QStringLiteral("is not valid. ");
    QTest::newRow("blanks") << QStringLiteral("\\\\a b") << invalid;
    QTest::newRow("quotes") << QStringLiteral("\\\\\"a\"") << invalid;
    QTest::newRow("ampersand") << QStringLiteral("\\\\a&touch c:\\x") << invalid;
    QTest::newRow("pipe") << QStringLiteral("\\\\a|sh") << invalid;
    QTest::newRow("greater-than") << QStringLiteral("\\\\a>c:\\x.txt") << invalid;
    QTest::newRow("greater-than out of the drive") << QStringLiteral("\\\\a>c:\\..\\x.txt") << invalid;
    QTest::newRow("greater-than, relative") << QStringLiteral("\\\\a>x.txt") << invalid;
    QTest::newRow("percent") << QStringLiteral("\\\\%HOME%") << invalid;
    QTest::newRow("CR LF") << QStringLiteral("\\\\a\r\ntouch c:\\x") << QStringLiteral("is not recognized");
    QTest::newRow("10,000 characters") << QStringLiteral("\\\\") + QString(10000, QLatin1Char('a')) << invalid;
    QTest::newRow("non-ASCII") << QString::fromUtf8("\\\\\xE6\x97\xB6\xE9\x92\x9F") << invalid;
}

void TestCmdPeers::hostileNamesRunNothing() {
    QFETCH(QString, name);
    QFETCH(QString, said);
    const int before = m_timedated.calls().size();
    const Run r = run(timeLine(name));
    QVERIFY2(r.status.contains(said), qPrintable(r.status));
    QVERIFY(r.exitCode != 0);
    QVERIFY(r.ms < 2000);
    QCOMPARE(m_timedated.calls().size(), before);
    QCOMPARE(driveFiles(), (QStringList{QStringLiteral("gTime.bat"), QStringLiteral("StatusTime.txt")}));
    QCOMPARE(filesOutside(), QStringList());
}

void TestCmdPeers::twoRunsAtOnceLeaveOneCompleteOutput_data() {
    QTest::addColumn<qint64>("leadMs"); // the SNTP server's lead over the virtual clock
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<bool>("userStarted");
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("sent");    // SetTime calls that reached the clock service, applied or refused
    QTest::addColumn<int>("answers"); // how many requests the SNTP server answers; -1 every one
    // An SNTP server on this very clock: right to the millisecond, wherever in the second the runs fall.
    QTest::newRow("a right clock") << qint64(0) << QString() << false << QStringLiteral("Clock already right") << 0
                                   << -1;
    // The second run measures after the first one's correction: right, and it keeps the first one's outcome.
    QTest::newRow("300 s ahead: one correction, kept")
        << qint64(300000) << QString() << false << QStringLiteral(" s (SNTP)") << 1 << -1;
    // A second run that cannot ask does not hide the correction that was made.
    QTest::newRow("300 s ahead, the server silent for the second run")
        << qint64(300000) << QString() << false << QStringLiteral(" s (SNTP)") << 1 << 1;
    QTest::newRow("refused: one password prompt, the refusal kept")
        << qint64(300000) << QStringLiteral("org.freedesktop.DBus.Error.AccessDenied") << true
        << QStringLiteral("you are not authorised") << 1 << -1;
}

void TestCmdPeers::twoRunsAtOnceLeaveOneCompleteOutput() {
    QFETCH(qint64, leadMs);
    QFETCH(QString, refusal);
    QFETCH(bool, userStarted);
    QFETCH(QString, said);
    QFETCH(int, sent);
    QFETCH(int, answers);
    FakeSntpServer sntp;
    const QString address = uniqueLoopbackAddress(1);
    HV_START_FIXTURE(sntp, address, leadMs * 1000, m_timedated.clockFile(), answers);
    m_timedated.refuse(refusal, QStringLiteral("Permission denied"));
    const int before = m_timedated.calls().size() + m_timedated.refusedCalls();
    const QString file = drive() + QStringLiteral("/gTime.bat");
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(timeLine(QStringLiteral("\\\\") + address));
    f.close();
    QProcess first;
    QProcess second;
    for (QProcess* p : {&first, &second}) {
        p->setProcessEnvironment(environment(sntp.port()));
        p->setWorkingDirectory(workFolder());
        p->start(QStringLiteral(HV_HORAVANE_CMD),
                 userStarted ? QStringList{QStringLiteral("--user-started"), file} : QStringList{file});
    }
    QVERIFY(first.waitForFinished(10000));
    QVERIFY(second.waitForFinished(10000));
    QFile status(drive() + QStringLiteral("/StatusTime.txt"));
    QVERIFY(status.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(status.readAll());
    QCOMPARE(text.count(QLatin1String("Current time at")), 1);
    QVERIFY2(text.contains(said), qPrintable(text));
    QCOMPARE(text.endsWith(QLatin1String("The command completed successfully.\r\n\r\n")), refusal.isEmpty());
    QCOMPARE(m_timedated.calls().size() + m_timedated.refusedCalls() - before, sent);
    if (refusal.isEmpty())
        QVERIFY(std::llabs(m_timedated.virtualLeadUsec() - leadMs * 1000) < 500000);
    QCOMPARE(driveFiles(), (QStringList{QStringLiteral("gTime.bat"), QStringLiteral("StatusTime.txt")}));
    QCOMPARE(filesOutside(), QStringList());
}

void TestCmdPeers::netViewWithoutAvahi() {
    const Run r = run("net view > c:\\StatusTime.txt\r\n");
    QVERIFY2(r.status.contains(QLatin1String("is not currently available")), qPrintable(r.status));
    QVERIFY(!r.status.contains(QLatin1String("\\\\")));
}

void TestCmdPeers::netViewListsTheComputers() {
    FakeAvahi avahi;
    HV_START_FIXTURE(
        avahi, m_bus,
        {QStringLiteral("PC1"), QStringLiteral("Office Laptop=laptop.local"), QStringLiteral("Bad Name=no good")});
    const Run r = run("net view > c:\\StatusTime.txt\r\n");
    QVERIFY2(r.ms < 4000, qPrintable(QString::number(r.ms)));
    const QStringList lines = r.status.split(QStringLiteral("\r\n"));
    QVERIFY2(lines.size() >= 6, qPrintable(r.status));
    QCOMPARE(lines[0], QStringLiteral("Server Name            Remark"));
    // Announced twice (workstation and file server), listed once by the short name of the host that Avahi
    // resolved, its whole name as the remark; a host name that is no host name is left out.
    QCOMPARE(lines[3], QStringLiteral("\\\\laptop               laptop.local"));
    QCOMPARE(lines[4], QStringLiteral("\\\\pc1                  pc1.local"));
    QCOMPARE(lines[5], QStringLiteral("The command completed successfully."));
    QCOMPARE(r.exitCode, 0);
}

void TestCmdPeers::netViewIgnoresWhatServiceNamesHold() {
    // Service names as a hostile computer of the network may announce them; each resolves to a plain host.
    const QList<QByteArray> services = {
        "Printer,\\\\attacker-pc", "a,\"\\\\h /set /yes>c:\\XY", "b\"", "x\r\n\\\\evil\r\nnet time \\\\evil /set /yes",
        "\x01\x1b[2J\x7f\\\\ctl",  "\\\\\\\\backslashes\\",
    };
    QTemporaryDir dir;
    QFile names(dir.path() + QStringLiteral("/names"));
    QVERIFY(names.open(QIODevice::WriteOnly));
    for (int i = 0; i < services.size(); ++i)
        names.write(services[i].toPercentEncoding() + "\th" + QByteArray::number(i) + ".local\n");
    names.close();
    FakeAvahi avahi;
    HV_START_FIXTURE(avahi, m_bus, {}, names.fileName());
    const Run r = run("net view > c:\\StatusTime.txt\r\n");
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(listed(), (QStringList{QStringLiteral("\\\\h0"), QStringLiteral("\\\\h1"), QStringLiteral("\\\\h2"),
                                    QStringLiteral("\\\\h3"), QStringLiteral("\\\\h4"), QStringLiteral("\\\\h5")}));
    QCOMPARE(r.status.count(QLatin1Char('"')), 0);
    QVERIFY2(!r.status.contains(QLatin1String("evil")) && !r.status.contains(QLatin1String("attacker")),
             qPrintable(r.status));
}

void TestCmdPeers::everyListedComputerCanBeAsked() {
    // Names of any length: each entry that discovery keeps is one that "net time" can reach (an SNTP server on
    // this very clock here, so that "right" holds wherever in the second a run falls), whether it is a short mDNS
    // name that Avahi resolves or an address.
    FakeSntpServer sntp;
    const QString address = uniqueLoopbackAddress(1);
    HV_START_FIXTURE(sntp, address, 0, m_timedated.clockFile());
    m_sntpPort = sntp.port();
    QTemporaryDir dir;
    QFile names(dir.path() + QStringLiteral("/names"));
    QVERIFY(names.open(QIODevice::WriteOnly));
    for (const char* host :
         {"office-laptop-01.local", "the-workstation-in-the-back-office.local", "abcdefghijklmnopqrstu.local"})
        names.write(QByteArray(host) + " PC\t" + host + "\t" + address.toUtf8() + "\n");
    names.close();
    FakeAvahi avahi;
    HV_START_FIXTURE(avahi, m_bus, {}, names.fileName());
    const Run view = run("net view > c:\\StatusTime.txt\r\n");
    QCOMPARE(view.exitCode, 0);
    const QStringList computers = listed();
    QCOMPARE(computers, (QStringList{QStringLiteral("\\\\") + address, QStringLiteral("\\\\abcdefghijklmnopqrstu"),
                                     QStringLiteral("\\\\office-laptop-01")}));
    for (const QString& computer : computers) {
        const int before = m_timedated.calls().size();
        const Run r = run(timeLine(computer));
        QVERIFY2(r.status.contains(QLatin1String("The command completed successfully.")), qPrintable(r.status));
        // The server's clock is this one: asked and found right.
        QVERIFY2(r.status.contains(QLatin1String("Clock already right")), qPrintable(r.status));
        QCOMPARE(m_timedated.calls().size(), before);
    }
    // A short name that Avahi does not know either is still a failure.
    const Run unknown = run(timeLine(QStringLiteral("\\\\no-such-pc-here")));
    QVERIFY2(unknown.status.contains(QLatin1String("The network path was not found.")), qPrintable(unknown.status));
}

QTEST_GUILESS_MAIN(TestCmdPeers)
#include "test_cmd_peers.moc"
