// Times the result log: 100,000 appends from an empty log to about 10 MB, and the size test on a 10 MB log.
// An append must cost the same at 10 MB as at 0 (no whole-file read or rewrite).
#include "net_engine/result_log.h"
#include "net_engine/result_step.h"
#include "platform/text_file.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <cstdio>

namespace {
const QString kFolder = QStringLiteral("C:\\");

double microsPer(qint64 nanos, int count) {
    return static_cast<double>(nanos) / 1000.0 / count;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QTemporaryDir dir;
    const DriveC drive(DosPaths(dir.path(), kFolder));
    const QString line = ResultStep::resultLine(
        QStringLiteral("SUCESS"), QDateTime(QDate(2026, 12, 8), QTime(14, 5, 9)), QStringLiteral("time-a-g.nist.gov"),
        QStringLiteral("Server Response Time = 123 Milliseconds"));
    constexpr int kRecords = 100'000;
    constexpr int kWindow = 10'000;
    QElapsedTimer total;
    QElapsedTimer window;
    qint64 firstNs = 0;
    qint64 lastNs = 0;
    total.start();
    window.start();
    for (int i = 0; i < kRecords; ++i) {
        if (i == kWindow) {
            firstNs = window.nsecsElapsed();
        }
        if (i == kRecords - kWindow)
            window.restart();
        ResultLog::append(drive, kFolder, line);
    }
    lastNs = window.nsecsElapsed();
    const qint64 allNs = total.nsecsElapsed();
    const qint64 size = drive.size(ResultLog::path(kFolder)).value_or(-1);
    std::printf("append: %d records of %lld bytes, log now %lld bytes\n", kRecords,
                static_cast<long long>(TextFile::quotedRecord(line).size()), static_cast<long long>(size));
    std::printf("append: %.2f us each overall; first %d: %.2f us; last %d: %.2f us; last/first %.2f\n",
                microsPer(allNs, kRecords), kWindow, microsPer(firstNs, kWindow), kWindow, microsPer(lastNs, kWindow),
                static_cast<double>(lastNs) / static_cast<double>(firstNs));

    // The size test on a log of exactly the limit and one byte over.
    constexpr int kTests = 100'000;
    const QString log = dir.path() + QStringLiteral("/ResultLog.txt");
    for (const qint64 bytes : {ResultLog::kLimitBytes, ResultLog::kLimitBytes + 1}) {
        QFile::resize(log, bytes);
        int over = 0;
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < kTests; ++i)
            over += ResultLog::isOverLimit(drive, kFolder) ? 1 : 0;
        std::printf("size test on %lld bytes: %.2f us each, over the limit: %s\n", static_cast<long long>(bytes),
                    microsPer(t.nsecsElapsed(), kTests),
                    over == kTests ? "yes"
                    : over == 0    ? "no"
                                   : "mixed");
    }
    return 0;
}
