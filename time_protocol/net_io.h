// Sockets, name lookup and the waits on them, each bounded in time: the one way that NTS, SNTP and horavane-cmd
// reach a time server. A datagram exchange talks to a DatagramLink, so that its protocol can be tested with fake
// I/O.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <memory>
#include <sys/socket.h>

namespace NetIo {
// A descriptor closed on every path.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    void reset(int fd = -1);
    int get() const { return m_fd; }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd = -1;
};

// One address of a host, with the port.
struct Endpoint {
    sockaddr_storage address{};
    socklen_t size = 0;
    QHostAddress host() const { return QHostAddress(reinterpret_cast<const sockaddr*>(&address)); }
};

// The addresses of `host` (a name or an address) on `port`, looked up within `limitMs`; empty with `why` ("the
// name is not known (...)", "the name lookup took too long") otherwise. A literal address needs no lookup.
QList<Endpoint> lookup(const QString& host, quint16 port, int limitMs, QString* why);
// `address` on `port`.
Endpoint endpoint(const QHostAddress& address, quint16 port);

// What is left of `limitMs` since `timer` started, never below zero.
int remainingMs(const QElapsedTimer& timer, int limitMs);
// Waits for `events` (POLLIN, POLLOUT) on `fd` until `timer` reaches `limitMs`; true when they came (or an error
// did), false when the time ran out.
bool waitFor(int fd, short events, const QElapsedTimer& timer, int limitMs);

enum class Connect { Connected, Refused, Silent };
// A blocking TCP connection to the first of `endpoints` that takes it before `timer` reaches `limitMs`: a refusal
// is known at once and the next is tried, a silent one costs the rest of the time.
Connect connectWithin(const QList<Endpoint>& endpoints, const QElapsedTimer& timer, int limitMs, Fd* fd);

enum class Read { Closed, TimedOut, Failed };
// Reads the stream on `fd` until the peer closes it (a reset counts as closing) or `timer` reaches `limitMs`,
// keeping its first `maxBytes` in `kept` and reading past the rest, so that a flood takes no memory.
Read readUntilClosed(int fd, int maxBytes, const QElapsedTimer& timer, int limitMs, QByteArray* kept, QString* why);

// One server's datagrams.
class DatagramLink {
public:
    struct Received {
        enum class Kind { Datagram, Refused, Error, Nothing };
        Kind kind = Kind::Nothing;
        QByteArray bytes; // Datagram
        QString why;      // Refused, Error
    };
    virtual ~DatagramLink() = default;
    virtual bool send(const QByteArray& bytes) = 0;
    // The next datagram within `limitMs`; Refused when the port is unreachable; Nothing when none came or no
    // time is left, so that a flood of datagrams cannot keep an exchange beyond its limit.
    virtual Received receive(int limitMs) = 0;
};
// A UDP socket connected to `endpoint`, so that only its datagrams and its "port unreachable" come back; null
// with `why` when none could be made.
std::unique_ptr<DatagramLink> udpLink(const Endpoint& endpoint, QString* why);
} // namespace NetIo
