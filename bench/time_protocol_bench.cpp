// Measures one Time Protocol exchange of the Time Protocol window against `rdate -p` on the same xinetd time
// service on loopback, the CPU that a two-second pause of SYNC NOW uses, the clock error after a synchronization
// on each road (what the fake clock service would set minus the server's time) and whether a right clock is left
// alone, and a synchronization with three NTS sources against one. Prints figures; it is not a test.
// Usage: time_protocol_bench [runs (default 31)]   (needs root for xinetd and chronyd; the clock is never set)
#include "app/forms.h"
#include "app/main_window.h"
#include "bench/median.h"
#include "platform/clock_service.h"
#include "platform/events.h"
#include "platform/linux_platform.h"
#include "tests/support/fake_platform.h"
#include "tests/support/nts_test_server.h"
#include "tests/support/process_fixtures.h"
#include "tests/support/vespline_sync.h"
#include "time_protocol/vespline.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {
double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// One exchange through the window, from the start to the stored result; -1 when it did not succeed.
double ourExchangeMs(Forms& forms, const QString& address) {
    QElapsedTimer t;
    t.start();
    const bool ok = syncWithVespline(forms, address) == QLatin1String("SUCESS");
    const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
    return ok ? ms : -1;
}

// The fake platform on the real clock, which the servers serve too, less `behindMs`; optionally the real clock
// client.
class RealTimePlatform : public FakePlatform {
public:
    QDateTime now() const override { return QDateTime::currentDateTime().addMSecs(-behindMs); }
    qint64 nowUsec() const override { return m_real.nowUsec() - behindMs * 1000; }
    ClockService& clockService() override { return useBus ? static_cast<ClockService&>(bus) : clock; }
    bool useBus = false;
    qint64 behindMs = 0;
    TimedatedClockService bus;

private:
    QTemporaryDir m_drive;
    LinuxPlatform m_real{DosPaths(m_drive.path(), QStringLiteral("C:\\Horavane"))};
};

// The clock error of each correction the fake clock service applied since `from`, in ms: the fake runs on the
// real clock, which this program's platform reads `behindMs` behind.
QList<double> clockErrorsMs(const FakeTimedated& timedated, int from, qint64 behindMs) {
    QList<double> errors;
    for (const SetTimeCall& call : timedated.calls().mid(from))
        errors << static_cast<double>(call.usec) / 1000.0 - static_cast<double>(behindMs);
    return errors;
}

void printErrors(const char* road, const QList<double>& errors, double targetMs) {
    QList<double> magnitudes;
    for (double e : errors)
        magnitudes << std::abs(e);
    std::printf("Clock error after a synchronization, %s: median %.3f ms, max %.3f ms over %d  (target <= %.0f)\n",
                road, median(magnitudes),
                magnitudes.isEmpty() ? 0.0 : *std::max_element(magnitudes.begin(), magnitudes.end()),
                static_cast<int>(errors.size()), targetMs);
}

// Synchronizations of the window with `address`, this clock `behindMs` behind the real one; the calls that
// reached the fake clock service since.
QList<double> windowErrorsMs(Forms& forms, RealTimePlatform& platform, const FakeTimedated& timedated,
                             const QString& address, qint64 behindMs, int runs, int* succeeded) {
    platform.behindMs = behindMs;
    const int from = static_cast<int>(timedated.calls().size());
    *succeeded = 0;
    for (int i = 0; i < runs; ++i) {
        if (syncWithVespline(forms, address) == QLatin1String("SUCESS"))
            ++*succeeded;
        waitMs(40);
    }
    return clockErrorsMs(timedated, from, behindMs);
}

// horavane-cmd on a command file for `net time \\address`, as the worker window starts it.
void runNetTime(const QString& address, quint16 sntpPort, const QString& drive) {
    QFile file(drive + QStringLiteral("/gTime.bat"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(("net time \\\\" + address + " /set /yes >c:\\StatusTime.txt\r\n").toUtf8());
    file.close();
    QProcess cmd;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HORAVANE_DRIVE_C"), drive);
    env.insert(QStringLiteral("HORAVANE_SNTP_PORT"), QString::number(sntpPort));
    cmd.setProcessEnvironment(env);
    cmd.start(QStringLiteral(HV_HORAVANE_CMD), {QStringLiteral("--user-started"), file.fileName()});
    cmd.waitForFinished(20000);
}

// rdate's whole run, print only (-p never sets the clock); -1 when it failed.
double rdateMs(const QString& rdate, const QString& address) {
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(rdate, {QStringLiteral("-p"), address});
    if (!p.waitForFinished(15000))
        return -1;
    const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
    return p.exitCode() == 0 ? ms : -1;
}
} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    // Nothing may reach the real system bus: a private one with the fake clock service, or none.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/horavane-bench-bus");
    QApplication app(argc, argv);
    PrivateSystemBus bus;
    FakeTimedated timedated;
    const bool haveBus = bus.start() && timedated.start(bus);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 31;

    const QString rdate = QStandardPaths::findExecutable(QStringLiteral("rdate"),
                                                         {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    if (rdate.isEmpty()) {
        std::fprintf(stderr, "rdate is not installed (scripts/install-deps)\n");
        return 2;
    }
    const QString address = uniqueLoopbackAddress();
    XinetdTimeServer xinetd;
    if (!xinetd.start(address)) {
        std::fprintf(stderr, "xinetd: %s\n", qPrintable(xinetd.error()));
        return 2;
    }

    // Three chronyd NTS servers, read before the first window: the chosen one and the two others to ask.
    const QStringList ntsAddresses{address, uniqueLoopbackAddress(2), uniqueLoopbackAddress(3)};
    TestCertificates certs;
    QStringList sans;
    for (const QString& a : ntsAddresses)
        sans << QStringLiteral("IP:") + a;
    bool haveNts = certs.makeAuthority() && certs.issue(QStringLiteral("server"), sans);
    ChronydServer ntsServers[3];
    for (int i = 0; haveNts && i < 3; ++i)
        haveNts = ntsServers[i].start(ntsAddresses[i], 123, 4460, certs.certificate(QStringLiteral("server")),
                                      certs.key(QStringLiteral("server")));
    if (!haveNts)
        std::fprintf(stderr, "NTS servers: %s %s\n", qPrintable(certs.error()), qPrintable(ntsServers[0].error()));
    qputenv("HORAVANE_CA_FILE", certs.authority().toLocal8Bit());

    RealTimePlatform platform;
    Forms forms(platform);
    forms.vespline().engine().setQueryGapMs(0); // a local server: no need to space the queries
    QList<double> ours;
    QList<double> theirs;
    int failures = 0;
    for (int i = 0; i < runs; ++i) {
        // Alternate which goes first, and stay well below xinetd's connection rate limit.
        for (int side = 0; side < 2; ++side) {
            const bool oursNow = (i + side) % 2 == 0;
            const double ms = oursNow ? ourExchangeMs(forms, address) : rdateMs(rdate, address);
            if (ms < 0)
                ++failures;
            else
                (oursNow ? ours : theirs) << ms;
            waitMs(40);
        }
    }

    Tarnwick1& main = forms.tarnwick1();
    QList<double> pauseCpu;
    for (int i = 0; i < 3; ++i) {
        const double before = cpuMs();
        main.Pause(2);
        pauseCpu << cpuMs() - before;
    }

    const double oursMedian = median(ours);
    const double theirsMedian = median(theirs);
    std::printf("Time Protocol exchange with xinetd on %s:37, %d runs each (%d failed)\n", qPrintable(address), runs,
                failures);
    std::printf("  Horavane exchange   median %8.3f ms\n", oursMedian);
    std::printf("  rdate -p whole run  median %8.3f ms\n", theirsMedian);
    std::printf("  ratio Horavane / rdate     %8.3f  (target <= 1)\n",
                theirsMedian > 0 ? oursMedian / theirsMedian : 0.0);
    std::printf("CPU during a 2-second Pause: median %.3f ms, max %.3f ms  (target < 20 ms)\n", median(pauseCpu),
                *std::max_element(pauseCpu.begin(), pauseCpu.end()));

    // The clock error: the Internet road through the real clock client, the network road through horavane-cmd
    // against chronyd's SNTP (milliseconds) on a second loopback address.
    if (!haveBus) {
        std::fprintf(stderr, "no private bus or fake clock service: %s %s\n", qPrintable(bus.error()),
                     qPrintable(timedated.error()));
        return 1;
    }
    // Each road of the window through the real clock client, this clock 3 s behind so that there is a
    // correction to send: SNTP against chronyd on a second loopback address, the Time Protocol against xinetd
    // (which has no SNTP). Then the same with a right clock, which must be left alone. The network road goes
    // through horavane-cmd against chronyd's SNTP.
    platform.useBus = true;
    const QString chronydAddress = uniqueLoopbackAddress(1);
    ChronydServer chronyd;
    const bool haveChronyd = chronyd.start(chronydAddress);
    if (!haveChronyd)
        std::fprintf(stderr, "chronyd: %s\n", qPrintable(chronyd.error()));
    struct Road {
        const char* name;
        QString address;
        double targetMs;
    };
    QList<Road> roads{{"Time Protocol", address, 600}};
    if (haveChronyd)
        roads.prepend({"SNTP", chronydAddress, 2});
    constexpr int kRoadRuns = 5;
    for (const Road& road : roads) {
        int ok = 0;
        printErrors(road.name, windowErrorsMs(forms, platform, timedated, road.address, 3000, kRoadRuns, &ok),
                    road.targetMs);
        const QList<double> moved = windowErrorsMs(forms, platform, timedated, road.address, 0, kRoadRuns, &ok);
        std::printf("A right clock left alone, %s: %d of %d synchronizations sent no correction (%d succeeded)  "
                    "(target all)\n",
                    road.name, kRoadRuns - static_cast<int>(moved.size()), kRoadRuns, ok);
    }
    // A computer on the network 3 s ahead (chronyd under faketime, beside the other on a port of its own), so
    // that each run has a correction to send.
    ChronydServer ahead;
    ahead.setAheadSeconds(3);
    constexpr quint16 kAheadPort = 1123;
    if (ahead.start(chronydAddress, kAheadPort)) {
        QTemporaryDir drive;
        const int from = static_cast<int>(timedated.calls().size());
        for (int i = 0; i < kRoadRuns; ++i)
            runNetTime(chronydAddress, kAheadPort, drive.path());
        printErrors("network road (horavane-cmd)", clockErrorsMs(timedated, from, 3000), 2);
    } else {
        std::fprintf(stderr, "chronyd ahead: %s\n", qPrintable(ahead.error()));
    }
    // The others are asked at the same time as the chosen server, so three sources should cost little more than
    // the slowest of the three answers. The first round of each side makes the key exchanges.
    if (haveNts) {
        QList<double> one, three;
        for (int i = 0; i <= 10 * kRoadRuns; ++i) {
            for (int side = 0; side < 2; ++side) {
                const bool withOthers = (i + side) % 2 == 0;
                forms.vespline().engine().setWitnesses(withOthers ? ntsAddresses.mid(1) : QStringList());
                const double ms = ourExchangeMs(forms, ntsAddresses[0]);
                if (i > 0 && ms >= 0)
                    (withOthers ? three : one) << ms;
                waitMs(40);
            }
        }
        const double oneMs = median(one), threeMs = median(three);
        std::printf("NTS synchronization with one source %.2f ms, with three %.2f ms (medians of %d and %d); "
                    "ratio %.3f  (target <= 1.2)\n",
                    oneMs, threeMs, static_cast<int>(one.size()), static_cast<int>(three.size()),
                    oneMs > 0 ? threeMs / oneMs : 0.0);
    }
    return failures ? 1 : 0;
}
