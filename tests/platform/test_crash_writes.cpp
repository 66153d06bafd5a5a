// Kills a writer with SIGKILL at random moments: the settings file is always one whole version, and no log record
// that was finished is ever lost. Bounded by time rather than by count, so a slow (sanitizer) build on a busy
// machine still ends well inside the test's limit; the writer is a fork of the test, which costs far less than
// starting a program for every kill.
#include "net_engine/result_log.h"
#include "platform/field_reader.h"
#include "platform/text_file.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

class TestCrashWrites : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void killedWriterLeavesWholeFiles();
};

namespace {
const QByteArray kVersionA = QByteArray(4000, 'a') + "\r\n";
const QByteArray kVersionB = QByteArray(9000, 'b') + "\r\n";

// The writer: replaces the settings file and appends log records until it is killed, and reports each finished
// record's number on `out`.
[[noreturn]] void writeUntilKilled(const QString& folder, int run, int out) {
    const DriveC drive(DosPaths(folder, QStringLiteral("C:\\")));
    for (int i = 0;; ++i) {
        if (!drive.replace(QStringLiteral("C:\\NRV.ini"), i % 2 ? kVersionB : kVersionA))
            _exit(3);
        if (!ResultLog::append(drive, QStringLiteral("C:\\"), QStringLiteral("record %1 %2").arg(run).arg(i)))
            _exit(4);
        const QByteArray line = QByteArray::number(i) + '\n';
        if (::write(out, line.constData(), static_cast<size_t>(line.size())) != line.size())
            _exit(5);
    }
}

// Reads what the writer reported until `enough` holds or the pipe ends; false after 60 s without a byte (a
// sanitizer build on a busy machine takes seconds to start a child).
template <typename Enough> bool readReports(int in, QByteArray& output, Enough enough) {
    while (!enough()) {
        pollfd p{in, POLLIN, 0};
        if (::poll(&p, 1, 60000) <= 0)
            return false;
        char buffer[512];
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n <= 0)
            return true;
        output.append(buffer, n);
    }
    return true;
}
} // namespace

void TestCrashWrites::killedWriterLeavesWholeFiles() {
    // As many kills as fit in HORAVANE_CRASH_SECONDS (30 by default), and never fewer than kLeastRounds.
    constexpr int kLeastRounds = 200;
    const int seconds = qEnvironmentVariableIntValue("HORAVANE_CRASH_SECONDS") > 0
                            ? qEnvironmentVariableIntValue("HORAVANE_CRASH_SECONDS")
                            : 30;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QRandomGenerator random(20261208);
    QElapsedTimer clock;
    clock.start();
    QList<int> reportedPerRun; // the highest record number each run said it had written
    for (int round = 0; round < kLeastRounds || clock.elapsed() < seconds * 1000LL; ++round) {
        reportedPerRun << -1;
        int pipeEnds[2];
        QCOMPARE(::pipe(pipeEnds), 0);
        const pid_t writer = ::fork();
        QVERIFY(writer >= 0);
        if (writer == 0) {
            ::close(pipeEnds[0]);
            writeUntilKilled(dir.path(), round, pipeEnds[1]);
        }
        ::close(pipeEnds[1]);
        // Random moments inside the write loop: after its first finished record, up to a few milliseconds on.
        QByteArray output;
        const bool started = readReports(pipeEnds[0], output, [&] { return output.startsWith("0\n"); });
        QTest::qSleep(static_cast<int>(random.bounded(6)));
        ::kill(writer, SIGKILL);
        readReports(pipeEnds[0], output, [] { return false; });
        ::close(pipeEnds[0]);
        int status = 0;
        QCOMPARE(::waitpid(writer, &status, 0), writer);
        QVERIFY2(started && WIFSIGNALED(status),
                 qPrintable(QStringLiteral("round %1: the writer ended by itself with %2").arg(round).arg(status)));
        for (const QByteArray& line : output.split('\n')) {
            bool ok = false;
            const int n = line.toInt(&ok);
            if (ok)
                reportedPerRun[round] = qMax(reportedPerRun[round], n);
        }

        QFile settings(dir.filePath(QStringLiteral("NRV.ini")));
        if (settings.exists()) {
            QVERIFY(settings.open(QIODevice::ReadOnly));
            const QByteArray content = settings.readAll();
            QVERIFY2(content == kVersionA || content == kVersionB,
                     qPrintable(QStringLiteral("round %1: settings file of %2 bytes").arg(round).arg(content.size())));
        }
        // The temporary files of replacements cut short are no part of what is checked.
        for (const QString& name : QDir(dir.path()).entryList({QStringLiteral("NRV.ini.*")}, QDir::Files))
            QFile::remove(dir.filePath(name));
    }
    const int rounds = static_cast<int>(reportedPerRun.size());
    qInfo("%d kills in %lld ms", rounds, static_cast<long long>(clock.elapsed()));

    // Each run's records stand whole and consecutive, and every record a run reported finished is there. A kill
    // can cut the record being written (the kernel stops a write at a page boundary); the next append ends that
    // line, so it stands alone as the killed run's last and unfinished record and takes nothing after it with it.
    QFile log(dir.filePath(QStringLiteral("ResultLog.txt")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    FieldReader reader(log);
    QList<int> nextPerRun(rounds, 0);
    QList<bool> cutPerRun(rounds, false);
    int lastRun = 0;
    const auto expected = [&](int run) { return QStringLiteral("record %1 %2").arg(run).arg(nextPerRun[run]); };
    while (!reader.atEnd()) {
        const QString field = reader.next();
        if (field == expected(lastRun) || (lastRun + 1 < rounds && field == expected(lastRun + 1))) {
            const int run = field == expected(lastRun) ? lastRun : lastRun + 1;
            QVERIFY2(!cutPerRun[run], qPrintable(QStringLiteral("run %1 wrote on after its cut record").arg(run)));
            ++nextPerRun[run];
            lastRun = run;
            continue;
        }
        int cutRun = -1;
        for (int run : {lastRun, lastRun + 1}) {
            if (cutRun < 0 && run < rounds && !cutPerRun[run] && expected(run).startsWith(field))
                cutRun = run;
        }
        QVERIFY2(cutRun >= 0, qPrintable(QStringLiteral("a record out of place: \"%1\"").arg(field)));
        QVERIFY2(nextPerRun[cutRun] > reportedPerRun[cutRun],
                 qPrintable(QStringLiteral("run %1's finished record was cut").arg(cutRun)));
        cutPerRun[cutRun] = true;
        lastRun = cutRun;
    }
    for (int round = 0; round < rounds; ++round) {
        QVERIFY2(nextPerRun[round] > reportedPerRun[round],
                 qPrintable(QStringLiteral("run %1 lost a finished record").arg(round)));
    }
}

QTEST_GUILESS_MAIN(TestCrashWrites)
#include "test_crash_writes.moc"
