// The network exchanges of "net time", each bounded in time, and the clock service call.
#include "cmd/net_time.h"

#include "cmd/avahi.h"
#include "platform/clock_service.h"
#include "time_protocol/clock_step.h"
#include "time_protocol/net_io.h"
#include "time_protocol/port_setting.h"
#include "time_protocol/road.h"
#include "time_protocol/sntp_exchange.h"
#include "time_protocol/status_file.h"
#include "time_protocol/time_reply.h"

#include <QElapsedTimer>
#include <QHostAddress>

#include <algorithm>

namespace NetTime {
namespace {
// Avahi answers from its cache or after one mDNS query; a second is plenty on a local network.
constexpr int kAvahiMs = 1000;

// A single-label name that the system resolver does not know is asked of Avahi as NAME.local: "net view" lists
// mDNS hosts by that short name when the whole name would not fit its entry.
QList<QHostAddress> resolveThroughAvahi(const QString& host, QString* why) {
    if (host.contains(QLatin1Char('.')))
        return {};
    QString avahiWhy;
    const QHostAddress address = Avahi::resolveHostName(host + QStringLiteral(".local"), kAvahiMs, &avahiWhy);
    if (address.isNull()) {
        *why += QStringLiteral("; ") + avahiWhy;
        return {};
    }
    why->clear();
    return {address};
}

QList<QHostAddress> resolve(const QString& host, int ms, QString* why) {
    QList<QHostAddress> found;
    for (const NetIo::Endpoint& e : NetIo::lookup(host, 0, ms, why))
        found << e.host();
    return found.isEmpty() ? resolveThroughAvahi(host, why) : found;
}

Sample timeProtocolFailure(const QString& why) {
    Sample s;
    s.road = QStringLiteral("Time Protocol");
    s.why = QStringLiteral("Time Protocol: ") + why;
    return s;
}

Sample askTimeProtocol(const QHostAddress& address, quint16 port, int ms, const Clock& nowUsec) {
    // From before the connection: the server may send its value and close at once, and the value must fall
    // inside the round trip for the sample's uncertainty to hold.
    QElapsedTimer clock;
    clock.start();
    NetIo::Fd fd;
    switch (NetIo::connectWithin({NetIo::endpoint(address, port)}, clock, ms, &fd)) {
    case NetIo::Connect::Silent:
        return timeProtocolFailure(QStringLiteral("no connection in time"));
    case NetIo::Connect::Refused:
        return timeProtocolFailure(QStringLiteral("Connection refused"));
    case NetIo::Connect::Connected:
        break;
    }
    QElapsedTimer reading;
    reading.start();
    QByteArray bytes;
    QString why;
    const NetIo::Read read = NetIo::readUntilClosed(fd.get(), TimeReply::kKeptBytes, reading, ms, &bytes, &why);
    const qint64 roundTripUsec = clock.nsecsElapsed() / 1000;
    const qint64 closedUsec = nowUsec();
    if (read == NetIo::Read::Failed)
        return timeProtocolFailure(why);
    if (read == NetIo::Read::TimedOut)
        return timeProtocolFailure(QStringLiteral("the server did not close in time"));
    Sample sample = TimeReply::sample(bytes, closedUsec, roundTripUsec);
    if (!sample.ok)
        sample.why = QStringLiteral("Time Protocol: ") + sample.why;
    return sample;
}
} // namespace

Ports Ports::fromEnvironment() {
    return {PortSetting::environment().ntpPort, PortSetting::environment().timePort};
}

Sample ask(const QString& host, const Ports& ports, int stepMs, const Clock& nowUsec) {
    Sample none;
    const QList<QHostAddress> addresses = resolve(host, stepMs, &none.why);
    if (addresses.isEmpty())
        return none;
    // Further addresses (IPv4 beside IPv6, say) only while the first step's time is not used up: a refusing
    // address costs nothing, a silent one its time limits.
    QElapsedTimer elapsed;
    elapsed.start();
    QStringList reasons;
    for (const QHostAddress& address : addresses) {
        if (!reasons.isEmpty() && elapsed.elapsed() >= stepMs)
            break;
        const Sample sntp = Sntp::exchange(address, ports.sntp, stepMs, nowUsec);
        if (sntp.ok)
            return sntp;
        const Sample tp = askTimeProtocol(address, ports.time, stepMs, nowUsec);
        if (tp.ok)
            return tp;
        reasons << address.toString() + QStringLiteral(": ") + sntp.why + QStringLiteral("; ") + tp.why;
    }
    none.why = reasons.join(QStringLiteral(", "));
    return none;
}

Earlier earlierOutcome(const QString& output) {
    const StatusFile::Report report = StatusFile::read(output);
    if (!report.gaveTime)
        return {};
    if (report.kind == StatusFile::Report::Kind::Corrected)
        return {Earlier::Kind::Corrected, output};
    if (report.kind == StatusFile::Report::Kind::NotPermitted)
        return {Earlier::Kind::Refused, output};
    return {};
}

Result run(const QString& host, ClockService& clock, const Ports& ports, bool userStarted,
           const std::function<void()>& handingOver, qint64 settledUsec, const Clock& nowUsec) {
    using Kind = StatusFile::Report::Kind;
    const Sample answer = ask(host, ports, kStepMs, nowUsec);
    StatusFile::Report report;
    report.host = host;
    if (!answer.ok) {
        report.kind = Kind::NotReached;
        report.line = QStringLiteral("\\\\") + host + QStringLiteral(" did not give the time: ") + answer.why;
        return {StatusFile::write(report)};
    }
    report.serverTime = answer.serverUtc;
    ClockStep::Request request;
    request.sample = answer;
    // The /yes of a user-started run stands for agreeing to a large step (nobody is asked); a timer's run refuses
    // one.
    request.userStarted = userStarted;
    // Right after a correction the clock is known only to that correction's uncertainty: two samples that agree
    // within both tell nothing new.
    request.settledUsec = settledUsec;
    request.handingOver = handingOver;
    const ClockStep::Result step = ClockStep::apply(request, clock);
    switch (step.kind) {
    case ClockStep::Result::Kind::Corrected:
        report.kind = Kind::Corrected;
        report.line = Road::outcomeText(answer);
        break;
    case ClockStep::Result::Kind::AlreadyRight: {
        Sample settled = answer;
        settled.uncertaintyUsec = step.settledUsec;
        report.kind = Kind::AlreadyRight;
        report.line = Road::outcomeText(settled);
        break;
    }
    case ClockStep::Result::Kind::Refused:
    case ClockStep::Result::Kind::Declined:
        report.kind = Kind::Refused;
        report.line = step.why;
        break;
    case ClockStep::Result::Kind::NotPermitted:
        report.kind = Kind::NotPermitted;
        report.line = step.why;
        break;
    }
    if (step.kind != ClockStep::Result::Kind::Corrected)
        return {StatusFile::write(report)};
    return {StatusFile::write(report), true, answer.uncertaintyUsec};
}
} // namespace NetTime
