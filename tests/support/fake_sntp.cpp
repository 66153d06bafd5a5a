// An SNTP server for tests whose clock runs ahead of the real one by a fixed lead, seen from a virtual clock:
// it answers the real time plus the lead minus the virtual clock's lead (the clock file of fake_timedated), so a
// client that reads the real clock measures what a client of the corrected clock would measure.
//   fake_sntp --address ADDRESS [--lead-usec N] [--clock-file FILE] [--answers N]
// Binds ADDRESS on a port of the system's choice and prints "ready PORT". With --answers it falls silent after
// that many replies.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <chrono>
#include <cstdio>

namespace {
constexpr qint64 kUnixMinus1900Seconds = 2208988800LL;

void putTimestamp(QByteArray& packet, int at, qint64 unixUsec) {
    const qint64 usecIntoSecond = ((unixUsec % 1000000) + 1000000) % 1000000;
    const quint64 seconds = static_cast<quint64>((unixUsec - usecIntoSecond) / 1000000 + kUnixMinus1900Seconds);
    const quint64 stamp = (seconds << 32) | ((static_cast<quint64>(usecIntoSecond) << 32) / 1000000);
    for (int i = 0; i < 8; ++i)
        packet[at + i] = static_cast<char>(stamp >> (56 - 8 * i));
}

qint64 nowUsec() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

qint64 virtualLeadUsec(const QString& clockFile) {
    QFile file(clockFile);
    return !clockFile.isEmpty() && file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    for (const char* name : {"address", "lead-usec", "clock-file", "answers"})
        parser.addOption({QString::fromLatin1(name), QString::fromLatin1(name), QStringLiteral("value")});
    parser.process(app);
    const QHostAddress address(parser.value(QStringLiteral("address")));
    // Loopback only: a test never answers on a real network.
    if (!address.isLoopback()) {
        std::fputs("usage: fake_sntp --address LOOPBACK-ADDRESS [--lead-usec N] [--clock-file FILE]\n", stderr);
        return 2;
    }
    const qint64 leadUsec = parser.value(QStringLiteral("lead-usec")).toLongLong();
    const QString clockFile = parser.value(QStringLiteral("clock-file"));
    bool limited = false;
    int answersLeft = parser.value(QStringLiteral("answers")).toInt(&limited);
    QUdpSocket socket;
    if (!socket.bind(address, 0)) {
        std::fprintf(stderr, "fake_sntp: %s\n", qPrintable(socket.errorString()));
        return 1;
    }
    QObject::connect(&socket, &QUdpSocket::readyRead, &socket, [&] {
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram request = socket.receiveDatagram();
            if (request.data().size() < 48 || (limited && answersLeft-- <= 0))
                continue;
            const qint64 serverUsec = nowUsec() + leadUsec - virtualLeadUsec(clockFile);
            QByteArray reply(48, '\0');
            reply[0] = 0x24; // version 4, server
            reply[1] = 2;    // stratum 2
            reply.replace(24, 8, request.data().mid(40, 8));
            putTimestamp(reply, 32, serverUsec);
            putTimestamp(reply, 40, serverUsec);
            // From the bound address: makeReply's packet info lets the kernel pick 127.0.0.1 as the source, which
            // a client connected to another loopback address never sees.
            socket.writeDatagram(reply, request.senderAddress(), static_cast<quint16>(request.senderPort()));
        }
    });
    std::printf("ready %u\n", static_cast<unsigned>(socket.localPort()));
    std::fflush(stdout);
    return app.exec();
}
