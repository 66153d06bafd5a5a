// Kills a writer with SIGKILL at random moments: the settings file is always one whole version, and no log record
// that was finished is ever lost. Bounded by time rather than by count, so a slow (sanitizer) build on a busy
// machine still ends well inside the test's limit.
#include "platform/field_reader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestCrashWrites : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void killedWriterLeavesWholeFiles();
};

void TestCrashWrites::killedWriterLeavesWholeFiles() {
    // As many kills as fit in HORAVANE_CRASH_SECONDS (30 by default), and never fewer than kLeastRounds.
    constexpr int kLeastRounds = 200;
    const int seconds = qEnvironmentVariableIntValue("HORAVANE_CRASH_SECONDS") > 0
                            ? qEnvironmentVariableIntValue("HORAVANE_CRASH_SECONDS")
                            : 30;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString writer = QCoreApplication::applicationDirPath() + QStringLiteral("/crash_writer");
    const QByteArray versionA = QByteArray(4000, 'a') + "\r\n";
    const QByteArray versionB = QByteArray(9000, 'b') + "\r\n";
    QRandomGenerator random(20261208);
    QElapsedTimer clock;
    clock.start();
    QList<int> reportedPerRun; // the highest record number each run said it had written
    for (int round = 0; round < kLeastRounds || clock.elapsed() < seconds * 1000LL; ++round) {
        reportedPerRun << -1;
        QProcess process;
        process.start(writer, {dir.path(), QString::number(round)});
        QVERIFY2(process.waitForStarted(), qPrintable(process.errorString()));
        // Random moments inside the write loop: after its first finished record, up to a few milliseconds on.
        QByteArray output;
        while (!output.contains("\n0\n")) {
            QVERIFY(process.waitForReadyRead(10000));
            output += process.readAllStandardOutput();
        }
        QTest::qSleep(static_cast<int>(random.bounded(6)));
        ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
        QVERIFY(process.waitForFinished());
        output += process.readAllStandardOutput();
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
            QVERIFY2(content == versionA || content == versionB,
                     qPrintable(QStringLiteral("round %1: settings file of %2 bytes").arg(round).arg(content.size())));
        }
    }

    const int rounds = static_cast<int>(reportedPerRun.size());
    qInfo("%d kills in %lld ms", rounds, static_cast<long long>(clock.elapsed()));

    // Each run's records stand whole and consecutive, and every record a run reported finished is there.
    QFile log(dir.filePath(QStringLiteral("ResultLog.txt")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    FieldReader reader(log);
    QList<int> nextPerRun(rounds, 0);
    while (!reader.atEnd()) {
        const QStringList words = reader.next().split(QLatin1Char(' '));
        QCOMPARE(words.size(), 3);
        QCOMPARE(words[0], QStringLiteral("record"));
        const int run = words[1].toInt();
        QVERIFY(run >= 0 && run < rounds);
        QCOMPARE(words[2].toInt(), nextPerRun[run]);
        ++nextPerRun[run];
    }
    for (int round = 0; round < rounds; ++round) {
        QVERIFY2(nextPerRun[round] > reportedPerRun[round],
                 qPrintable(QStringLiteral("run %1 lost a finished record").arg(round)));
    }
}

QTEST_GUILESS_MAIN(TestCrashWrites)
#include "test_crash_writes.moc"
