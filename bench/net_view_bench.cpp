// Measures horavane-cmd's "net view" with 10,000 computers announced by the fake Avahi on a private bus: the wall
// time of the whole command and the largest resident memory it reached. Prints figures; it is not a test.
// Usage: net_view_bench [computers (default 10000)] [runs (default 3)]
#include "tests/support/process_fixtures.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

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

    const QString drive = dir.path() + QStringLiteral("/drive_c");
    QDir().mkpath(drive);
    QFile command(drive + QStringLiteral("/gTime.bat"));
    if (!command.open(QIODevice::WriteOnly))
        return 1;
    command.write("net view > c:\\StatusTime.txt\r\n");
    command.close();

    QList<qint64> times;
    double cpuMs = 0;
    long maxRssKb = 0;
    int listed = 0;
    for (int run = 0; run < runs; ++run) {
        // A fresh bus and Avahi each time: a run's left-over announcements must not slow the next one.
        PrivateSystemBus bus;
        FakeAvahi avahi;
        if (!bus.start() || !avahi.start(bus, {}, names.fileName())) {
            std::fprintf(stderr, "cannot start the private bus or the fake Avahi: %s%s\n", qPrintable(bus.error()),
                         qPrintable(avahi.error()));
            return 1;
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HORAVANE_DRIVE_C"), drive);
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus.address());
        QList<QByteArray> envBytes;
        for (const QString& e : env.toStringList())
            envBytes << e.toLocal8Bit();
        std::vector<char*> envp;
        for (QByteArray& e : envBytes)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        QByteArray program(HV_HORAVANE_CMD);
        QByteArray file = command.fileName().toLocal8Bit();
        char* args[] = {program.data(), file.data(), nullptr};
        // Spawned and reaped here, so that its own resource use is known (wait4), apart from the bus and the fake.
        QElapsedTimer t;
        t.start();
        pid_t pid = 0;
        if (posix_spawn(&pid, program.constData(), nullptr, nullptr, args, envp.data()) != 0)
            return 1;
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) != pid)
            return 1;
        times << t.elapsed();
        cpuMs += (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
        maxRssKb = std::max(maxRssKb, usage.ru_maxrss);
        QFile out(drive + QStringLiteral("/StatusTime.txt"));
        listed = out.open(QIODevice::ReadOnly) ? static_cast<int>(out.readAll().count("\r\n\\\\")) : -1;
    }
    std::sort(times.begin(), times.end());
    std::printf("net view of %d computers: %lld ms (median of %d), %.1f MB max RSS, %.0f ms CPU each, %d listed\n",
                count, static_cast<long long>(times[times.size() / 2]), runs, maxRssKb / 1024.0, cpuMs / runs, listed);
    return 0;
}
