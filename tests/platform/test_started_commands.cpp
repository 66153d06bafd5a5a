// Watching started processes until they end: the wait lets events run, ends with the last process, and is bounded.
#include "platform/started_commands.h"

#include <QElapsedTimer>
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

QTEST_GUILESS_MAIN(TestStartedCommands)
#include "test_started_commands.moc"
