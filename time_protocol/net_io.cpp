// Sockets, name lookup and the waits on them.
#include "time_protocol/net_io.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace NetIo {
namespace {
// Room for a burst of datagrams that arrive while the reader is busy: the kernel drops what does not fit, and a
// good reply must not be the one dropped. The system caps it (net.core.rmem_max).
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;
// Longer than any time server's datagram; what lies beyond is no answer anyway.
constexpr int kDatagramBytes = 4096;

// The lookup's result, shared with its thread: whichever lets go last frees it.
struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int error = 0;
    addrinfo* list = nullptr;
    ~Lookup() {
        if (list)
            freeaddrinfo(list);
    }
};

Endpoint fromAddrinfo(const addrinfo& a) {
    Endpoint e;
    e.size = std::min<socklen_t>(a.ai_addrlen, sizeof e.address);
    std::memcpy(&e.address, a.ai_addr, e.size);
    return e;
}

class UdpLink : public DatagramLink {
public:
    explicit UdpLink(int fd) : m_fd(fd) {}
    bool send(const QByteArray& bytes) override {
        return ::send(m_fd.get(), bytes.constData(), static_cast<size_t>(bytes.size()), 0) == bytes.size();
    }
    Received receive(int limitMs) override {
        QElapsedTimer timer;
        timer.start();
        Received got;
        if (limitMs <= 0)
            return got;
        QByteArray buffer(kDatagramBytes, '\0');
        while (waitFor(m_fd.get(), POLLIN, timer, limitMs)) {
            const ssize_t n = ::recv(m_fd.get(), buffer.data(), static_cast<size_t>(buffer.size()), MSG_DONTWAIT);
            if (n >= 0) {
                got.kind = Received::Kind::Datagram;
                got.bytes = buffer.left(static_cast<int>(n));
                return got;
            }
            if (errno == EAGAIN || errno == EINTR)
                continue;
            // A connected socket hears the server's "port unreachable" here.
            got.kind = errno == ECONNREFUSED ? Received::Kind::Refused : Received::Kind::Error;
            got.why = QString::fromLocal8Bit(std::strerror(errno));
            return got;
        }
        return got;
    }

private:
    Fd m_fd;
};
} // namespace

void Fd::reset(int fd) {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

Endpoint endpoint(const QHostAddress& address, quint16 port) {
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    Endpoint e;
    if (getaddrinfo(address.toString().toUtf8().constData(), QByteArray::number(port).constData(), &hints, &list) ==
            0 &&
        list)
        e = fromAddrinfo(*list);
    if (list)
        freeaddrinfo(list);
    return e;
}

QList<Endpoint> lookup(const QString& host, quint16 port, int limitMs, QString* why) {
    const QHostAddress literal(host);
    if (!literal.isNull())
        return {endpoint(literal, port)};
    // The system resolver has no time limit of its own: it runs on a thread that is left to finish alone when
    // the limit comes first.
    auto shared = std::make_shared<Lookup>();
    std::thread([shared, name = host.toUtf8(), service = QByteArray::number(port)] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* list = nullptr;
        const int error = getaddrinfo(name.constData(), service.constData(), &hints, &list);
        const std::lock_guard<std::mutex> lock(shared->mutex);
        shared->error = error;
        shared->list = list;
        shared->finished = true;
        shared->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(shared->mutex);
    if (!shared->done.wait_for(lock, std::chrono::milliseconds(std::max(0, limitMs)),
                               [&shared] { return shared->finished; })) {
        *why = QStringLiteral("the name lookup took too long");
        return {};
    }
    QList<Endpoint> found;
    for (const addrinfo* a = shared->list; shared->error == 0 && a; a = a->ai_next)
        found << fromAddrinfo(*a);
    if (found.isEmpty())
        *why = QStringLiteral("the name is not known (") + QString::fromLocal8Bit(gai_strerror(shared->error)) +
               QLatin1Char(')');
    return found;
}

int remainingMs(const QElapsedTimer& timer, int limitMs) {
    return static_cast<int>(std::max<qint64>(0, limitMs - timer.elapsed()));
}

bool waitFor(int fd, short events, const QElapsedTimer& timer, int limitMs) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, remainingMs(timer, limitMs));
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0;
    }
}

Connect connectWithin(const QList<Endpoint>& endpoints, const QElapsedTimer& timer, int limitMs, Fd* fd) {
    bool silent = false;
    for (const Endpoint& e : endpoints) {
        Fd s(::socket(e.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (s.get() < 0)
            continue;
        int error = 0;
        if (::connect(s.get(), reinterpret_cast<const sockaddr*>(&e.address), e.size) < 0) {
            if (errno != EINPROGRESS)
                continue;
            if (!waitFor(s.get(), POLLOUT, timer, limitMs)) {
                silent = true;
                break;
            }
            socklen_t size = sizeof error;
            if (getsockopt(s.get(), SOL_SOCKET, SO_ERROR, &error, &size) < 0)
                error = EIO;
        }
        if (error == 0) {
            ::fcntl(s.get(), F_SETFL, ::fcntl(s.get(), F_GETFL) & ~O_NONBLOCK);
            fd->reset(s.release());
            return Connect::Connected;
        }
        if (error != ECONNREFUSED)
            silent = true;
    }
    return silent ? Connect::Silent : Connect::Refused;
}

Read readUntilClosed(int fd, int maxBytes, const QElapsedTimer& timer, int limitMs, QByteArray* kept, QString* why) {
    char buffer[1024];
    while (waitFor(fd, POLLIN, timer, limitMs)) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno == ECONNRESET))
            return Read::Closed;
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n < 0) {
            *why = QString::fromLocal8Bit(std::strerror(errno));
            return Read::Failed;
        }
        kept->append(buffer, static_cast<int>(std::min<qsizetype>(n, std::max<qsizetype>(0, maxBytes - kept->size()))));
    }
    return Read::TimedOut;
}

std::unique_ptr<DatagramLink> udpLink(const Endpoint& endpoint, QString* why) {
    Fd fd(::socket(endpoint.address.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0 || ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&endpoint.address), endpoint.size) < 0) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    const int size = kReceiveBufferBytes;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    return std::make_unique<UdpLink>(fd.release());
}
} // namespace NetIo
