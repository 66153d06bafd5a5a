// The real program under Xvfb: a schedule set through the schedule dialog fires at the next clock tick and the
// synchronization with a loopback time server is logged, the clock set through the fake clock service on a
// private bus. Skipped when Xvfb, xdotool or xinetd is missing.
#include "tests/support/process_fixtures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

class TestScheduleE2e : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void scheduleThroughTheDialogSyncs();
    void cleanup();

private:
    bool startDisplay();
    QString xdotool(const QStringList& args) const;
    QString visibleWindow(const QString& namePattern) const;
    QString waitForWindow(const QString& namePattern, bool visible, int ms) const;
    void clickAt(const QString& window, int x, int y) const;
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

    // The server is the loopback time server; the saved schedule is late today, so it never fires by itself.
    QTemporaryDir work;
    QVERIFY(QDir(work.path()).mkpath(QStringLiteral("c")) && QDir(work.path()).mkpath(QStringLiteral("run")));
    QFile settings(work.filePath(QStringLiteral("c/NRV.ini")));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write(record(address) + record(QStringLiteral("11:59:59 PM")) + record(QStringLiteral("10:00 AM")) +
                   record(c.toString(now.date(), QStringLiteral("MM/dd/yyyy"))) +
                   record(c.toString(now.date(), QStringLiteral("MMMM dd yyyy"))));
    settings.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.insert(QStringLiteral("HORAVANE_DRIVE_C"), work.filePath(QStringLiteral("c")));
    env.insert(QStringLiteral("HORAVANE_PROGRAM_FOLDER"), QStringLiteral("C:\\"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), work.filePath(QStringLiteral("run")));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + work.filePath("no-bus"));
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus.address());
    // The connection check reaches the same loopback server.
    env.insert(QStringLiteral("HORAVANE_CHECK_URL"), QStringLiteral("http://%1:37/").arg(address));
    env.insert(QStringLiteral("HORAVANE_SNTP_PORT"), QString::number(sntp.port()));
    // The clock ticks every second instead of at each minute's start (whose timing the main window's test checks),
    // so the schedule comes due at once, wherever in the minute the test runs.
    env.insert(QStringLiteral("HORAVANE_CLOCK_TICK_MS"), QStringLiteral("1000"));
    m_app.setProcessEnvironment(env);
    m_app.setProcessChannelMode(QProcess::MergedChannels);
    m_app.start(QStringLiteral(HV_HORAVANE), {});
    QVERIFY(m_app.waitForStarted(kReadyLimitMs));

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

QTEST_GUILESS_MAIN(TestScheduleE2e)
#include "test_schedule_e2e.moc"
