// Network Time Security (RFC 8915), client side: a TLS 1.3 key exchange on TCP 4460, then authenticated NTP.
#pragma once

#include "time_protocol/sample.h"

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

namespace Nts {
struct Options {
    quint16 kePort = 4460;         // HORAVANE_NTS_PORT
    quint16 ntpPort = 123;         // used when the key exchange names no port; HORAVANE_SNTP_PORT
    QString caFile;                // HORAVANE_CA_FILE: PEM CAs that replace the system store; empty: the system's
    int keLimitMs = 2000;          // a silent key exchange port costs no more than this
    int ntpLimitMs = 3000;         // nor a silent NTP exchange
    std::function<qint64()> clock; // this computer's time in Unix microseconds: the system clock's at first
    Options();
    static Options fromEnvironment();
};

// What this exchange taught about the host, for the choice of road.
enum class Offer {
    Unknown,   // nothing answered on the key exchange port within its limit: the host may go on without NTS
    No,        // the key exchange port refused the connection at once
    Connected, // the port took the connection, but no TLS came back: no fallback now, nothing remembered
    Yes,       // a TLS handshake began (even when TLS or the certificate failed) or a key exchange completed
};

struct Result {
    Sample sample; // road "NTS" when ok
    Offer offer = Offer::Unknown;
};

// Keys and cookies per host, and which hosts completed a key exchange, in memory only, for the life of the
// object. Safe to use from several worker threads at once.
class Client {
public:
    Client();
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // One synchronization with `host`: a cookie kept from an earlier key exchange when there is one, else a new
    // key exchange first. Blocking, within the limits of `options`.
    Result synchronize(const QString& host, const Options& options = Options::fromEnvironment());
    // True when a key exchange with `host` completed earlier: such a host never falls back.
    bool completedBefore(const QString& host) const;
    // Key exchanges completed, for tests and the benchmark.
    quint64 keyExchangeCount() const;

private:
    struct Store;
    std::unique_ptr<Store> m_store;
};
} // namespace Nts
