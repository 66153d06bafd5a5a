// Measures horavane-cmd's "net view" with 10,000 computers announced by the fake Avahi on a private bus: the wall
// time of the whole command and the largest resident memory it reached. Prints figures; it is not a test.
// Usage: net_view_bench [computers (default 10000)] [runs (default 3)]
#include "tests/support/process_fixtures.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    QTemporaryDir dir;
    QFile names(dir.path() + QStringLiteral("/names"));
    if (!names.open(QIODevice::WriteOnly))
        return 1;
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i);
        // A third of them with names too long for an entry, listed by address.
        const QByteArray host = i % 3 ? "pc-" + n + ".local" : "a-workstation-with-a-long-name-" + n + ".local";
        names.write("PC " + n + "\t" + host + "\t10." + QByteArray::number(i / 65536) + "." +
                    QByteArray::number(i / 256 % 256) + "." + QByteArray::number(i % 256) + "\n");
    }
    names.close();

    PrivateSystemBus bus;
    FakeAvahi avahi;
    if (!bus.start() || !avahi.start(bus, {}, names.fileName())) {
        std::fprintf(stderr, "cannot start the private bus or the fake Avahi: %s%s\n", qPrintable(bus.error()),
                     qPrintable(avahi.error()));
        return 1;
    }
    const QString drive = dir.path() + QStringLiteral("/drive_c");
    QDir().mkpath(drive);
    QFile command(drive + QStringLiteral("/gTime.bat"));
    if (!command.open(QIODevice::WriteOnly))
        return 1;
    command.write("net view > c:\\StatusTime.txt\r\n");
    command.close();

    QList<qint64> times;
    int listed = 0;
    for (int run = 0; run < runs; ++run) {
        QProcess cmd;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HORAVANE_DRIVE_C"), drive);
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus.address());
        cmd.setProcessEnvironment(env);
        cmd.setProcessChannelMode(QProcess::ForwardedChannels);
        QElapsedTimer t;
        t.start();
        cmd.start(QStringLiteral(HV_HORAVANE_CMD), {command.fileName()});
        if (!cmd.waitForFinished(60000))
            cmd.kill();
        times << t.elapsed();
        QFile status(drive + QStringLiteral("/StatusTime.txt"));
        listed = status.open(QIODevice::ReadOnly) ? static_cast<int>(status.readAll().count("\r\n\\\\")) : -1;
    }
    // The largest resident set of any child waited for: horavane-cmd (the bus and the fake still run).
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    std::sort(times.begin(), times.end());
    const double cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    std::printf("net view of %d computers: %lld ms (median of %d), %.1f MB max RSS, %.0f ms CPU each, %d listed\n",
                count, static_cast<long long>(times[times.size() / 2]), runs, usage.ru_maxrss / 1024.0, cpuMs / runs,
                listed);
    return 0;
}
