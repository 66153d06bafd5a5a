// Measures the wall time of one NTS synchronization against chronyd on loopback, with its key exchange and with
// a cookie kept from an earlier one, beside `chronyd -Q` (which only prints the offset, never setting the clock)
// against the same server, and the correction each of ours finds, which is the clock error since chronyd runs
// on this very clock. Prints figures; it is not a test.
// Usage: nts_bench [runs (default 11)]   (needs root for chronyd; the clock is never set)
#include "bench/median.h"
#include "tests/support/nts_test_server.h"
#include "tests/support/process_fixtures.h"
#include "time_protocol/nts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cstdio>

namespace {
double ms(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 11;
    const QString address = uniqueLoopbackAddress();
    TestCertificates certs;
    if (!certs.makeAuthority() ||
        !certs.issue(QStringLiteral("server"), {QStringLiteral("DNS:localhost,IP:") + address})) {
        std::fprintf(stderr, "%s\n", qPrintable(certs.error()));
        return 1;
    }
    ChronydServer chronyd;
    if (!chronyd.start(address, 123, 4460, certs.certificate(QStringLiteral("server")),
                       certs.key(QStringLiteral("server")))) {
        std::fprintf(stderr, "%s\n", qPrintable(chronyd.error()));
        return 1;
    }
    Nts::Options options;
    options.caFile = certs.authority();
    QList<double> withKe, withCookie, chronyQ;
    qint64 worstUsec = 0;
    for (int i = 0; i < runs; ++i) {
        Nts::Client client; // nothing kept from the run before
        QElapsedTimer t;
        t.start();
        Nts::Result r = client.synchronize(address, options);
        if (r.sample.ok)
            withKe.append(ms(t));
        worstUsec = std::max(worstUsec, qAbs(r.sample.correctionUsec));
        t.start();
        r = client.synchronize(address, options);
        if (r.sample.ok)
            withCookie.append(ms(t));
        worstUsec = std::max(worstUsec, qAbs(r.sample.correctionUsec));
    }
    // chronyd as a one-shot client: -Q prints the offset and sets nothing; -x as well, to be doubly sure.
    const QString config = chronyd.folder() + QStringLiteral("/query.conf");
    QFile file(config);
    const QByteArray text = "server " + address.toUtf8() + " nts ntsport 4460 port 123 iburst maxsamples 1\n" +
                            "ntstrustedcerts " + certs.authority().toUtf8() + "\ncmdport 0\npidfile " +
                            chronyd.folder().toUtf8() + "/query.pid\n";
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
    file.close();
    for (int i = 0; i < std::min(runs, 5); ++i) {
        QProcess query;
        QElapsedTimer t;
        t.start();
        query.start(QStringLiteral("chronyd"), {QStringLiteral("-Q"), QStringLiteral("-x"), QStringLiteral("-u"),
                                                QStringLiteral("root"), QStringLiteral("-f"), config});
        if (query.waitForFinished(30000) && query.exitCode() == 0)
            chronyQ.append(ms(t));
        else
            std::fprintf(stderr, "chronyd -Q: %s\n", query.readAllStandardError().constData());
    }
    const double ke = median(withKe), cookie = median(withCookie), q = median(chronyQ);
    std::printf("NTS sync with its key exchange, median: %.1f ms (%lld runs)\n", ke,
                static_cast<long long>(withKe.size()));
    std::printf("NTS sync with a kept cookie, median: %.2f ms (%lld runs)\n", cookie,
                static_cast<long long>(withCookie.size()));
    std::printf("chronyd -Q whole run, median: %.1f ms (%lld runs)\n", q, static_cast<long long>(chronyQ.size()));
    if (q > 0)
        std::printf("ratio to chronyd -Q: %.3f with the key exchange, %.5f with a cookie\n", ke / q, cookie / q);
    std::printf("clock error after an NTS sync (max |correction|): %.3f ms\n", static_cast<double>(worstUsec) / 1000);
    return 0;
}
