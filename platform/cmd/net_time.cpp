// The network exchanges of "net time", each bounded in time, and the clock service call.
#include "platform/cmd/net_time.h"

#include "time_protocol/clock_guard.h"
#include "platform/clock_service.h"
#include "platform/cmd/avahi.h"
#include "time_protocol/sntp.h"
#include "platform/date_text.h"
#include "platform/events.h"
#include "time_protocol/time_reply.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

namespace NetTime {
namespace {
// Avahi answers from its cache or after one mDNS query; a second is plenty on a local network.
constexpr int kAvahiMs = 1000;

quint16 portFrom(const char* name, quint16 fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 && value < 65536 ? static_cast<quint16>(value) : fallback;
}

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
    const QHostAddress literal(host);
    if (!literal.isNull())
        return {literal};
    QEventLoop loop;
    QHostInfo info;
    bool done = false;
    const int id = QHostInfo::lookupHost(host, &loop, [&](const QHostInfo& result) {
        info = result;
        done = true;
        loop.quit();
    });
    execFor(loop, ms);
    if (!done) {
        QHostInfo::abortHostLookup(id);
        *why = QStringLiteral("the name lookup took too long");
        return resolveThroughAvahi(host, why);
    }
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        *why = QStringLiteral("the name is not known (") + info.errorString() + QLatin1Char(')');
        return resolveThroughAvahi(host, why);
    }
    return info.addresses();
}

// Room for a burst of datagrams that arrive while the event loop is busy: the kernel drops what does not fit,
// and a good reply must not be the one dropped. The system caps it (net.core.rmem_max).
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

Answer askSntp(const QHostAddress& address, quint16 port, int ms) {
    QUdpSocket socket;
    QEventLoop loop;
    Answer answer{false, {}, QStringLiteral("SNTP"), QStringLiteral("no SNTP reply")};
    const quint64 nonce = Sntp::newNonce();
    QElapsedTimer clock;
    QObject::connect(&socket, &QUdpSocket::readyRead, &loop, [&] {
        if (!socket.hasPendingDatagrams()) {
            // Readable without a datagram: an error is waiting, such as "port unreachable"; reading fetches it.
            socket.receiveDatagram();
            answer.why = QStringLiteral("SNTP: ") + (socket.error() == QAbstractSocket::UnknownSocketError
                                                         ? QStringLiteral("no SNTP server on that computer")
                                                         : socket.errorString());
            loop.quit();
            return;
        }
        // Every pending datagram, so that bad ones ahead of the good one cannot hide it; a flood is cut off by the
        // time limit, which this loop also honours.
        while (socket.hasPendingDatagrams() && clock.elapsed() < ms) {
            const QNetworkDatagram datagram = socket.receiveDatagram(Sntp::kPacketSize * 2);
            const Sntp::Reply reply = Sntp::parse(datagram.data(), nonce);
            if (!reply.ok) {
                answer.why = QStringLiteral("SNTP: ") + reply.why; // a bad reply: keep listening for a good one
                continue;
            }
            answer.ok = true;
            answer.utc = reply.utc.addMSecs(clock.elapsed() / 2);
            answer.why.clear();
            loop.quit();
            return;
        }
    });
    // A connected socket hears "port unreachable", so a computer without an SNTP server is given up at once.
    QObject::connect(&socket, &QUdpSocket::errorOccurred, &loop, [&] {
        answer.why = QStringLiteral("SNTP: ") + socket.errorString();
        loop.quit();
    });
    socket.connectToHost(address, port);
    socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, kReceiveBufferBytes);
    clock.start();
    if (socket.write(Sntp::request(nonce)) != Sntp::kPacketSize)
        return {false, {}, answer.how, QStringLiteral("SNTP: ") + socket.errorString()};
    execFor(loop, ms);
    return answer;
}

Answer askTimeProtocol(const QHostAddress& address, quint16 port, int ms) {
    QTcpSocket socket;
    QEventLoop loop;
    QByteArray bytes;
    QString error;
    QElapsedTimer clock;
    QObject::connect(&socket, &QTcpSocket::connected, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QTcpSocket::readyRead, &loop, [&] {
        bytes += socket.read(TimeReply::kKeptBytes - bytes.size());
        socket.readAll(); // a server that floods is not kept in memory
    });
    QObject::connect(&socket, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop, [&](QAbstractSocket::SocketError e) {
        if (e != QAbstractSocket::RemoteHostClosedError)
            error = socket.errorString();
        loop.quit();
    });
    socket.connectToHost(address, port);
    execFor(loop, ms);
    if (socket.state() != QAbstractSocket::ConnectedState && socket.state() != QAbstractSocket::UnconnectedState)
        return {false, {}, QStringLiteral("Time Protocol"), QStringLiteral("Time Protocol: no connection in time")};
    if (!error.isEmpty())
        return {false, {}, QStringLiteral("Time Protocol"), QStringLiteral("Time Protocol: ") + error};
    clock.start();
    if (socket.state() == QAbstractSocket::ConnectedState)
        execFor(loop, ms); // until the server closes
    bytes += socket.read(TimeReply::kKeptBytes - bytes.size());
    const bool closed = socket.state() == QAbstractSocket::UnconnectedState;
    socket.abort();
    if (!closed)
        return {false,
                {},
                QStringLiteral("Time Protocol"),
                QStringLiteral("Time Protocol: the server did not close in time")};
    const TimeReply::Conversion c = TimeReply::convert(bytes, clock.elapsed() / 2000.0);
    if (!c.ok)
        return {false, {}, QStringLiteral("Time Protocol"), QStringLiteral("Time Protocol: ") + c.why};
    return {true, c.utc, QStringLiteral("Time Protocol"), {}};
}
} // namespace

Ports Ports::fromEnvironment() {
    return {portFrom("HORAVANE_SNTP_PORT", 123), portFrom("HORAVANE_TIME_PORT", 37)};
}

Answer ask(const QString& host, const Ports& ports, int stepMs) {
    QString why;
    const QList<QHostAddress> addresses = resolve(host, stepMs, &why);
    if (addresses.isEmpty())
        return {false, {}, {}, why};
    // Further addresses (IPv4 beside IPv6, say) only while the first step's time is not used up: a refusing
    // address costs nothing, a silent one its time limits.
    QElapsedTimer elapsed;
    elapsed.start();
    QStringList reasons;
    for (const QHostAddress& address : addresses) {
        if (!reasons.isEmpty() && elapsed.elapsed() >= stepMs)
            break;
        const Answer sntp = askSntp(address, ports.sntp, stepMs);
        if (sntp.ok)
            return sntp;
        const Answer tp = askTimeProtocol(address, ports.time, stepMs);
        if (tp.ok)
            return tp;
        reasons << address.toString() + QStringLiteral(": ") + sntp.why + QStringLiteral("; ") + tp.why;
    }
    return {false, {}, {}, reasons.join(QStringLiteral(", "))};
}

QString run(const QString& host, ClockService& clock, const Ports& ports, bool userStarted) {
    const Answer answer = ask(host, ports);
    // The exchange ends just before ask returns: this is the moment its answer describes.
    const QDateTime readAt = QDateTime::currentDateTimeUtc();
    if (!answer.ok)
        return QStringLiteral("System error 53 has occurred.\r\n\r\nThe network path was not found.\r\n") +
               QStringLiteral("\\\\") + host + QStringLiteral(" did not give the time: ") + answer.why +
               QStringLiteral("\r\n\r\n");
    const QString current = QStringLiteral("Current time at \\\\") + host + QStringLiteral(" is ") +
                            DateText::generalDate(answer.utc.toLocalTime()) + QStringLiteral("\r\n\r\n");
    const qint64 usec = correctionUsec(answer.utc, readAt);
    // The /yes of a user-started run stands for agreeing to a large step; a timer's run refuses one.
    const ClockGuard::Verdict verdict = ClockGuard::judge(answer.utc, usec, userStarted);
    if (verdict.step == ClockGuard::Step::Refuse)
        return current + QStringLiteral("System error 87 has occurred.\r\n\r\nThe parameter is incorrect.\r\n") +
               verdict.why + QStringLiteral("\r\n\r\n");
    const ClockResult set = clock.setTime(usec, userStarted);
    if (!set.ok)
        return current +
               QStringLiteral("System error 1314 has occurred.\r\n\r\n"
                              "A required privilege is not held by the client.\r\n") +
               describeClockRefusal(set) + QStringLiteral("\r\n\r\n");
    return current + ClockGuard::correctedText(usec) + QStringLiteral("\r\n\r\n") +
           QStringLiteral("The command completed successfully.\r\n\r\n");
}
} // namespace NetTime
