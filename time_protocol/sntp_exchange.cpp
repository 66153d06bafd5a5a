// The SNTP exchange on a connected UDP socket, bounded in time.
#include "time_protocol/sntp_exchange.h"

#include "platform/events.h"
#include "time_protocol/sntp.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <chrono>

namespace Sntp {
namespace {
// Room for a burst of datagrams that arrive while the event loop is busy: the kernel drops what does not fit,
// and a good reply must not be the one dropped. The system caps it (net.core.rmem_max).
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

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

Sample exchange(const QHostAddress& address, quint16 port, int limitMs, const std::function<qint64()>& nowUsec) {
    QUdpSocket socket;
    QEventLoop loop;
    Sample sample = failed(QStringLiteral("no reply"));
    const quint64 nonce = newNonce();
    QElapsedTimer transit;
    qint64 sentUsec = 0;
    QObject::connect(&socket, &QUdpSocket::readyRead, &loop, [&] {
        if (!socket.hasPendingDatagrams()) {
            // Readable without a datagram: an error is waiting, such as "port unreachable"; reading fetches it.
            socket.receiveDatagram();
            sample = failed(socket.error() == QAbstractSocket::UnknownSocketError
                                ? QStringLiteral("no SNTP server on that computer")
                                : socket.errorString());
            loop.quit();
            return;
        }
        // Every pending datagram, so that bad ones ahead of the good one cannot hide it; a flood is cut off by the
        // time limit, which this loop also honours.
        while (socket.hasPendingDatagrams() && transit.elapsed() < limitMs) {
            const QNetworkDatagram datagram = socket.receiveDatagram(kPacketSize * 2);
            const qint64 elapsedUsec = transit.nsecsElapsed() / 1000;
            const Reply reply = parse(datagram.data(), nonce);
            if (!reply.ok) {
                sample = failed(reply.why); // a bad reply: keep listening for a good one
                continue;
            }
            const Sample measured = Sntp::sample(reply, sentUsec, elapsedUsec);
            if (!measured.ok) {
                sample = failed(measured.why); // impossible stamps: no better than a forged reply
                continue;
            }
            sample = measured;
            loop.quit();
            return;
        }
    });
    // A connected socket hears "port unreachable", so a computer without an SNTP server is given up at once.
    QObject::connect(&socket, &QUdpSocket::errorOccurred, &loop, [&] {
        sample = failed(socket.errorString());
        loop.quit();
    });
    socket.connectToHost(address, port);
    socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, kReceiveBufferBytes);
    const QByteArray request = Sntp::request(nonce);
    sentUsec = nowUsec ? nowUsec() : systemNowUsec();
    transit.start();
    if (socket.write(request) != kPacketSize)
        return failed(socket.errorString());
    execFor(loop, limitMs);
    return sample;
}
} // namespace Sntp
