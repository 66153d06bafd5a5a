// The SNTP exchange, bounded in time.
#include "time_protocol/sntp_exchange.h"

#include "time_protocol/sntp.h"

#include <QElapsedTimer>

#include <chrono>

namespace Sntp {
namespace {
Sample failed(const QString& why) {
    Sample s;
    s.road = QStringLiteral("SNTP");
    s.why = QStringLiteral("SNTP: ") + why;
    return s;
}
} // namespace

qint64 systemNowUsec() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

Sample exchange(NetIo::DatagramLink& link, int limitMs, const std::function<qint64()>& nowUsec) {
    using Kind = NetIo::DatagramLink::Received::Kind;
    const quint64 nonce = newNonce();
    const QByteArray request = Sntp::request(nonce);
    const qint64 sentUsec = nowUsec();
    QElapsedTimer transit;
    transit.start();
    if (!link.send(request))
        return failed(QStringLiteral("the request could not be sent"));
    Sample sample = failed(QStringLiteral("no reply"));
    // Every datagram, so that bad ones ahead of the good one cannot hide it; a flood is cut off by the limit.
    for (;;) {
        const NetIo::DatagramLink::Received got = link.receive(NetIo::remainingMs(transit, limitMs));
        const qint64 elapsedUsec = transit.nsecsElapsed() / 1000;
        switch (got.kind) {
        case Kind::Nothing:
            return sample;
        case Kind::Refused:
            // A computer without an SNTP server is given up at once.
            return failed(QStringLiteral("no SNTP server on that computer"));
        case Kind::Error:
            return failed(got.why);
        case Kind::Datagram:
            break;
        }
        const Reply reply = parse(got.bytes, nonce);
        if (!reply.ok) {
            sample = failed(reply.why); // a bad reply: keep listening for a good one
            continue;
        }
        const Sample measured = Sntp::sample(reply, sentUsec, elapsedUsec);
        if (!measured.ok) {
            sample = failed(measured.why); // impossible stamps: no better than a forged reply
            continue;
        }
        return measured;
    }
}

Sample exchange(const QHostAddress& address, quint16 port, int limitMs, const std::function<qint64()>& nowUsec) {
    QString why;
    const std::unique_ptr<NetIo::DatagramLink> link = NetIo::udpLink(NetIo::endpoint(address, port), &why);
    return link ? exchange(*link, limitMs, nowUsec) : failed(why);
}
} // namespace Sntp
