// Measures opening the log viewer on a log at its size limit and discovery's completion step on a status file of
// 10,000 computers. Prints figures; it is not a test.
// Usage: dialogs_bench [runs (default 5)]   (runs offscreen unless QT_QPA_PLATFORM says otherwise)
#include "app/forms.h"
#include "dialogs/log_viewer.h"
#include "dialogs/server_dialog.h"
#include "net_engine/result_log.h"
#include "net_engine/worker_window.h"
#include "platform/controls/mlist.h"
#include "platform/events.h"
#include "tests/support/fake_platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {
double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    const qsizetype mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double elapsedMs(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// Records like the result step's, every fifth a failure, up to the size the size test still keeps.
qint64 writeFullLog(const QString& path, int* records) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    QByteArray chunk;
    qint64 size = 0;
    int n = 0;
    for (;;) {
        const QByteArray word = n % 5 == 4 ? "FAILED" : "SUCESS";
        const QByteArray record =
            "\"" + word + " Synchronization on 12/08/2026 at 10:" + QByteArray::number(n % 60) +
            ":00 AM With time.example.org - Server Response Time = " + QByteArray::number(n % 900) + " ms\"\r\n";
        if (size + record.size() > ResultLog::kLimitBytes)
            break;
        chunk += record;
        size += record.size();
        ++n;
    }
    file.write(chunk);
    *records = n;
    return size;
}

void writeStatus(const QString& path, int computers) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    QByteArray text = "Server Name            Remark\r\n" + QByteArray(79, '-') + "\r\n";
    for (int i = 0; i < computers; ++i)
        text += "\\\\WORKSTATION-" + QByteArray::number(i).rightJustified(5, '0') + "      Desk " +
                QByteArray::number(i % 40) + ", floor 2\r\n";
    text += "The command completed successfully.\r\n";
    file.write(text);
}
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;

    FakePlatform platform;
    int records = 0;
    const qint64 bytes = writeFullLog(platform.local(ResultLog::path(platform.programFolder())), &records);
    QList<double> load;
    QList<double> shown;
    for (int r = 0; r < runs; ++r) {
        Forms forms(platform);
        QElapsedTimer t;
        t.start();
        Tarnwick4& viewer = forms.tarnwick4();
        load << elapsedMs(t);
        viewer.show();
        doEvents();
        shown << elapsedMs(t);
        if (viewer.MList1->entryCount() != records)
            std::printf("viewer shows %d entries, expected %d\n", viewer.MList1->entryCount(), records);
    }
    std::printf("log viewer, %lld bytes, %d records: load %.1f ms, load and first paint %.1f ms (median of %d; "
                "target < 1000 ms)\n",
                static_cast<long long>(bytes), records, median(load), median(shown), runs);

    constexpr int kComputers = 10000;
    QList<double> completion;
    for (int r = 0; r < runs; ++r) {
        Forms forms(platform);
        Tarnwick2& dialog = forms.tarnwick2();
        dialog.Timer1->stop();
        dialog.show();
        Tarnwick& worker = forms.tarnwick();
        worker.Command3_Click();
        worker.Timer4->stop();
        writeStatus(platform.local(QStringLiteral("C:\\StatusTime.txt")), kComputers);
        QElapsedTimer t;
        t.start();
        worker.Timer4_Timer();
        completion << elapsedMs(t);
        if (dialog.MList1->entryCount() != kComputers)
            std::printf("dialog lists %d computers, expected %d\n", dialog.MList1->entryCount(), kComputers);
    }
    std::printf("discovery completion, %d computers: %.1f ms (median of %d; target < 100 ms)\n", kComputers,
                median(completion), runs);
    return 0;
}
