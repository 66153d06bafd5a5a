// The real program under Xvfb: a schedule set through the schedule dialog fires at the next clock tick and the
// synchronization with a loopback time server is logged, the clock set through the fake clock service on a
// private bus. Skipped when Xvfb, xdotool or xinetd is missing. And the wake from sleep, told by a fake logind on
// that bus, starts one synchronization, with a server 30 s ahead.
#include "tests/support/process_fixtures.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

class TestScheduleE2e : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void scheduleThroughTheDialogSyncs();
    void wakeSyncsOnce();
    void cleanup();

private:
    bool startDisplay();
    QString xdotool(const QStringList& args) const;
    QString visibleWindow(const QString& namePattern) const;
    QString waitForWindow(const QString& namePattern, bool visible, int ms) const;
    void clickAt(const QString& window, int x, int y) const;
    // Writes NRV.ini into the drive folder and starts the program with the given bus, connection check and more.
    bool startProgram(const QTemporaryDir& work, const QByteArray& settings, const PrivateSystemBus& bus,
                      const QString& checkUrl, const QList<QPair<const char*, QString>>& more = {});
    // What the program printed, and how it ended when it has.
    QString programReport();

    QProcess m_xvfb;
    QProcess m_app;
    QString m_display;
};

namespace {
// Design positions in pixels (twips / 15 at 96 dpi) of what the test clicks.
constexpr int kScheduleChangeX = (9840 + 972 / 2) / 15;
constexpr int kScheduleChangeY = (6000 + 252 / 2) / 15;
constexpr int kDoneX = (720 + 1932 / 2) / 15;
constexpr int kDoneY = (7920 + 732 / 2) / 15;
// The calendar's first day cell (eight columns with the week number, a header row under the month bar): a day
// never after today, since the calendar shows the month of the schedule, which is today.
constexpr int kCalendarLeft = 600 / 15, kCalendarTop = 1200 / 15;
constexpr int kCalendarWidth = 7368 / 15, kCalendarHeight = 5856 / 15, kMonthBar = 23;
constexpr int kFirstDayX = kCalendarLeft + kCalendarWidth * 3 / 16;
constexpr int kFirstDayY = kCalendarTop + kMonthBar + (kCalendarHeight - kMonthBar) * 3 / 14;

QByteArray record(const QString& text) {
    return '"' + text.toUtf8() + "\"\r\n";
}
} // namespace

void TestScheduleE2e::cleanup() {
    m_display.clear();
    for (QProcess* p : {&m_app, &m_xvfb}) {
        if (p->state() != QProcess::NotRunning) {
            p->terminate();
            if (!p->waitForFinished(3000))
                p->kill();
            p->waitForFinished(1000);
        }
    }
}

bool TestScheduleE2e::startDisplay() {
    // Xvfb writes the number of the free display it took to the descriptor given; here its standard output.
    m_xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                          QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-dpi"),
                                          QStringLiteral("96"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!m_xvfb.waitForStarted(kReadyLimitMs))
        return false;
    QElapsedTimer t;
    t.start();
    while (!m_xvfb.canReadLine() && m_xvfb.state() == QProcess::Running && t.elapsed() < kReadyLimitMs)
        m_xvfb.waitForReadyRead(200);
    const QByteArray number = m_xvfb.readLine().trimmed();
    if (number.isEmpty())
        return false;
    m_display = QStringLiteral(":") + QString::fromLatin1(number);
    return true;
}

QString TestScheduleE2e::xdotool(const QStringList& args) const {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(5000);
    return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
}

QString TestScheduleE2e::visibleWindow(const QString& namePattern) const {
    return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), namePattern})
        .section(QLatin1Char('\n'), 0, 0);
}

QString TestScheduleE2e::waitForWindow(const QString& namePattern, bool visible, int ms) const {
    QElapsedTimer t;
    t.start();
    QString id;
    // A program that has ended shows no window any more: said at once.
    while (t.elapsed() < ms && m_app.state() == QProcess::Running) {
        id = visibleWindow(namePattern);
        if (id.isEmpty() != visible)
            return visible ? id : QStringLiteral("gone");
        QThread::msleep(100);
    }
    return {};
}

QString TestScheduleE2e::programReport() {
    QString report = QStringLiteral("\nprogram: ") + QString::fromUtf8(m_app.readAll());
    if (m_app.state() == QProcess::NotRunning)
        report += QStringLiteral("\nthe program ended with status %1").arg(m_app.exitCode());
    return report;
}

bool TestScheduleE2e::startProgram(const QTemporaryDir& work, const QByteArray& settings, const PrivateSystemBus& bus,
                                   const QString& checkUrl, const QList<QPair<const char*, QString>>& more) {
    QFile file(work.filePath(QStringLiteral("c/NRV.ini")));
    if (!QDir(work.path()).mkpath(QStringLiteral("c")) || !QDir(work.path()).mkpath(QStringLiteral("run")) ||
        !file.open(QIODevice::WriteOnly) || file.write(settings) != settings.size())
        return false;
    file.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // On the test's display when it has one.
    env.insert(QStringLiteral("DISPLAY"), m_display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"),
               m_display.isEmpty() ? QStringLiteral("offscreen") : QStringLiteral("xcb"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.insert(QStringLiteral("HORAVANE_DRIVE_C"), work.filePath(QStringLiteral("c")));
    env.insert(QStringLiteral("HORAVANE_PROGRAM_FOLDER"), QStringLiteral("C:\\"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), work.filePath(QStringLiteral("run")));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + work.filePath("no-bus"));
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus.address());
    env.insert(QStringLiteral("HORAVANE_CHECK_URL"), checkUrl);
    for (const auto& [name, value] : more)
        env.insert(QString::fromLatin1(name), value);
    m_app.setProcessEnvironment(env);
    m_app.setProcessChannelMode(QProcess::MergedChannels);
    m_app.start(QStringLiteral(HV_HORAVANE), {});
    return m_app.waitForStarted(kReadyLimitMs);
}

void TestScheduleE2e::clickAt(const QString& window, int x, int y) const {
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x), QString::number(y),
             QStringLiteral("click"), QStringLiteral("1")});
}

void TestScheduleE2e::scheduleThroughTheDialogSyncs() {
    for (const char* tool : {"Xvfb", "xdotool"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP("Xvfb or xdotool is not installed");
    }
    const QLocale c = QLocale::c();
    const QDateTime now = QDateTime::currentDateTime();
    if (now.time() > QTime(23, 57))
        QSKIP("too close to midnight: the schedule would cross into tomorrow");

    PrivateSystemBus bus;
    QVERIFY2(bus.start(), qPrintable(bus.error()));
    FakeTimedated timedated;
    QVERIFY2(timedated.start(bus), qPrintable(timedated.error()));
    const QString address = uniqueLoopbackAddress();
    XinetdTimeServer xinetd;
    if (!xinetd.start(address)) {
        if (xinetd.isMissing())
            QSKIP("xinetd is not installed");
        QFAIL(qPrintable(xinetd.error()));
    }
    // The synchronization reaches an SNTP server on this very clock, found right to the millisecond wherever in
    // the second it runs; xinetd's whole seconds, read from the kernel's coarse clock, serve the connection check.
    FakeSntpServer sntp;
    QVERIFY2(sntp.start(address, 0), qPrintable(sntp.error()));
    QVERIFY2(startDisplay(), "Xvfb did not start");

    // The server is the loopback time server; the saved schedule is late today, so it never fires by itself. The
    // connection check reaches the same loopback server.
    QTemporaryDir work;
    // The clock ticks every second instead of at each minute's start (whose timing the main window's test checks),
    // so the schedule comes due at once, wherever in the minute the test runs.
    QVERIFY(startProgram(work,
                         record(address) + record(QStringLiteral("11:59:59 PM")) + record(QStringLiteral("10:00 AM")) +
                             record(c.toString(now.date(), QStringLiteral("MM/dd/yyyy"))) +
                             record(c.toString(now.date(), QStringLiteral("MMMM dd yyyy"))),
                         bus, QStringLiteral("http://%1:37/").arg(address),
                         {{"HORAVANE_SNTP_PORT", QString::number(sntp.port())}, {"HORAVANE_CLOCK_TICK_MS", "1000"}}));

    // Without a tray on this display the main window shows itself at start.
    const QString main = waitForWindow(QStringLiteral("^Horavane +Copyright"), true, kReadyLimitMs);
    QVERIFY2(!main.isEmpty(), qPrintable(QStringLiteral("the main window did not appear") + programReport()));
    QTest::qWait(1500); // the clock's first tick
    clickAt(main, kScheduleChangeX, kScheduleChangeY);
    const QString dialog = waitForWindow(QStringLiteral("^Form1$"), true, kReadyLimitMs);
    QVERIFY2(!dialog.isEmpty(), qPrintable(QStringLiteral("the schedule dialog did not open") + programReport()));
    QTest::qWait(300);
    // A date click with the preset time (the clock's display) enables "Done"; the date is in the past.
    clickAt(dialog, kFirstDayX, kFirstDayY);
    QTest::qWait(300);
    clickAt(dialog, kDoneX, kDoneY);
    QVERIFY2(!waitForWindow(QStringLiteral("^Form1$"), false, kReadyLimitMs).isEmpty(),
             qPrintable(QStringLiteral("Done did not close the dialog") + programReport()));

    // The schedule is due at the next tick, and the result step logs the result.
    const QString log = work.filePath(QStringLiteral("c/ResultLog.txt"));
    QElapsedTimer waited;
    waited.start();
    QByteArray logged;
    while (waited.elapsed() < kReadyLimitMs && !logged.contains("Synchronization on")) {
        QTest::qWait(500);
        QFile file(log);
        if (file.open(QIODevice::ReadOnly))
            logged = file.readAll();
    }
    QVERIFY2(logged.startsWith("\"SUCESS Synchronization on "),
             qPrintable(QStringLiteral("log: ") + QString::fromUtf8(logged) + programReport()));
    QVERIFY(logged.contains(" With " + address.toUtf8() + " - "));
    QCOMPARE(logged.count("\r\n"), 1);
    // The server serves this machine's own clock: it is left alone, and the clock service is never asked.
    QCOMPARE(timedated.calls().size(), 0);
    QVERIFY(m_app.state() == QProcess::Running);
}

void TestScheduleE2e::wakeSyncsOnce() {
    PrivateSystemBus bus;
    QVERIFY2(bus.start(), qPrintable(bus.error()));
    FakeTimedated timedated;
    QVERIFY2(timedated.start(bus), qPrintable(timedated.error()));
    // The test is logind on the private bus: it owns logind's name and sends its PrepareForSleep.
    QDBusConnection logind = QDBusConnection::connectToBus(bus.address(), QStringLiteral("logind"));
    QVERIFY(logind.registerService(QStringLiteral("org.freedesktop.login1")));
    const auto prepareForSleep = [&logind](bool start) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                         QStringLiteral("org.freedesktop.login1.Manager"),
                                                         QStringLiteral("PrepareForSleep"));
        return logind.send(signal << start);
    };
    const QString address = uniqueLoopbackAddress();
    FakeSntpServer sntp;
    QVERIFY2(sntp.start(address, 30'000'000, timedated.clockFile()), qPrintable(sntp.error()));
    // The connection check only connects; the NTS port is closed, so SNTP gives the time.
    QTcpServer check;
    QVERIFY(check.listen(QHostAddress(address)));

    // Automatic synchronization ticked, every 60 minutes, and nothing scheduled: nothing is due while the test runs.
    QTemporaryDir work;
    QVERIFY(QDir(work.path()).mkpath(QStringLiteral("c")));
    QVERIFY(QFile(work.filePath(QStringLiteral("c/AutoSyncKLOV.txt"))).open(QIODevice::WriteOnly));
    const QByteArray notScheduled = record(QStringLiteral("NOT SCHEDULED"));
    QVERIFY(startProgram(work,
                         record(address) + notScheduled + record(QStringLiteral("10:00 AM")) +
                             record(QStringLiteral("01/01/2026")) + notScheduled,
                         bus, QStringLiteral("http://%1:%2/").arg(address).arg(check.serverPort()),
                         {{"HORAVANE_NTS_PORT", "9"}, {"HORAVANE_SNTP_PORT", QString::number(sntp.port())}}));
    const auto logged = [&work] {
        QFile file(work.filePath(QStringLiteral("c/ResultLog.txt")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    // It listens once it has loaded, which is when a later start would find it.
    QVERIFY(QTest::qWaitFor([&work] { return QFile::exists(work.filePath(QStringLiteral("run/horavane.socket"))); },
                            kReadyLimitMs));
    QTest::qWait(1000);
    QVERIFY(prepareForSleep(true));
    // A synchronization started on the way to sleep would have ended by now.
    QTest::qWait(3500);
    QVERIFY2(logged().isEmpty() && timedated.calls().isEmpty(), qPrintable(QString::fromUtf8(logged())));
    QVERIFY(prepareForSleep(false));
    QVERIFY(QTest::qWaitFor([&logged] { return logged().contains("\r\n"); }, kReadyLimitMs));
    QTest::qWait(3000); // time for a second one, which must not come
    QVERIFY2(logged().startsWith("\"SUCESS Synchronization on ") && logged().count("\r\n") == 1,
             qPrintable(QString::fromUtf8(logged()) + programReport()));
    const QList<SetTimeCall> calls = timedated.calls();
    QCOMPARE(calls.size(), 1);
    QVERIFY2(calls[0].relative && !calls[0].interactive && qAbs(calls[0].usec - 30'000'000) < 1'000'000,
             qPrintable(QString::number(calls[0].usec)));
}

QTEST_GUILESS_MAIN(TestScheduleE2e)
#include "test_schedule_e2e.moc"
