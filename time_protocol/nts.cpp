// Network Time Security: the key exchange over GnuTLS on TCP, the authenticated NTP exchange on UDP, and the
// cookies kept between them.
#include "time_protocol/nts.h"

#include "time_protocol/net_io.h"
#include "time_protocol/ntp_time.h"
#include "time_protocol/nts_ke.h"
#include "time_protocol/nts_packet.h"
#include "time_protocol/port_setting.h"
#include "time_protocol/sntp_exchange.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace Nts {
namespace {
constexpr char kAlpn[] = "ntske/1";
constexpr char kExporterLabel[] = "EXPORTER-network-time-security";

struct Keys {
    QByteArray c2s, s2c;
};

// What a key exchange leaves for the NTP exchanges that follow it.
struct HostState {
    QList<QByteArray> cookies;
    Keys keys;
    QString ntpHost;
    quint16 ntpPort = 0;
    // The certificate's validity, checked against the server's own time when this clock disagreed with it.
    bool datesPending = false;
    qint64 notBeforeUsec = 0;
    qint64 notAfterUsec = 0;
};

// Cookies and keys per host; each cookie is handed out once.
class CookieStore {
public:
    // One cookie and the keys it belongs to; false when none is left.
    bool take(const QString& host, HostState* state, QByteArray* cookie) {
        QMutexLocker lock(&m_mutex);
        auto it = m_hosts.find(host);
        if (it == m_hosts.end() || it->cookies.isEmpty())
            return false;
        *cookie = it->cookies.takeFirst();
        *state = *it;
        return true;
    }
    void keyExchanged(const QString& host, const HostState& state) {
        QMutexLocker lock(&m_mutex);
        ++m_keyExchanges;
        m_hosts.insert(host, state);
        if (!state.datesPending)
            m_completed.insert(host);
    }
    void answered(const QString& host, const QList<QByteArray>& cookies) {
        QMutexLocker lock(&m_mutex);
        auto it = m_hosts.find(host);
        if (it != m_hosts.end()) {
            it->datesPending = false;
            for (const QByteArray& c : cookies)
                if (it->cookies.size() < NtsKe::kMaxCookies)
                    it->cookies.append(c);
        }
        m_completed.insert(host);
    }
    void drop(const QString& host) {
        QMutexLocker lock(&m_mutex);
        m_hosts.remove(host);
    }
    bool completed(const QString& host) const {
        QMutexLocker lock(&m_mutex);
        return m_completed.contains(host);
    }
    quint64 keyExchanges() const {
        QMutexLocker lock(&m_mutex);
        return m_keyExchanges;
    }

private:
    mutable QMutex m_mutex;
    QHash<QString, HostState> m_hosts;
    QSet<QString> m_completed;
    quint64 m_keyExchanges = 0;
};

using NetIo::remainingMs;

// The TLS client of one key exchange; everything freed on every path.
class Tls {
public:
    ~Tls() {
        if (m_session) {
            gnutls_bye(m_session, GNUTLS_SHUT_WR);
            gnutls_deinit(m_session);
        }
        if (m_credentials)
            gnutls_certificate_free_credentials(m_credentials);
    }
    gnutls_session_t m_session = nullptr;
    gnutls_certificate_credentials_t m_credentials = nullptr;
};

QString handshakeWhy(int code, gnutls_session_t session) {
    if (code == GNUTLS_E_NO_APPLICATION_PROTOCOL)
        return QStringLiteral("the server does not speak the NTS key exchange protocol");
    if (code == GNUTLS_E_UNSUPPORTED_VERSION_PACKET ||
        ((code == GNUTLS_E_FATAL_ALERT_RECEIVED || code == GNUTLS_E_WARNING_ALERT_RECEIVED) &&
         gnutls_alert_get(session) == GNUTLS_A_PROTOCOL_VERSION))
        return QStringLiteral("the server does not speak TLS 1.3");
    if ((code == GNUTLS_E_FATAL_ALERT_RECEIVED || code == GNUTLS_E_WARNING_ALERT_RECEIVED) &&
        gnutls_alert_get(session) == GNUTLS_A_NO_APPLICATION_PROTOCOL)
        return QStringLiteral("the server does not speak the NTS key exchange protocol");
    if (code == GNUTLS_E_TIMEDOUT)
        return QStringLiteral("the server did not complete the TLS handshake in time");
    if (code == GNUTLS_E_PULL_ERROR || code == GNUTLS_E_PUSH_ERROR || code == GNUTLS_E_PREMATURE_TERMINATION)
        return QStringLiteral("the server closed the connection during the TLS handshake");
    if (code == GNUTLS_E_FATAL_ALERT_RECEIVED || code == GNUTLS_E_WARNING_ALERT_RECEIVED)
        return QStringLiteral("TLS failed (the server sent %1)")
            .arg(QString::fromUtf8(gnutls_alert_get_name(gnutls_alert_get(session))));
    return QStringLiteral("TLS failed (%1)").arg(QString::fromUtf8(gnutls_strerror(code)));
}

QString certificateWhy(unsigned status) {
    if (status & GNUTLS_CERT_UNEXPECTED_OWNER)
        return QStringLiteral("the server's certificate is for another host");
    if (status & (GNUTLS_CERT_SIGNER_NOT_FOUND | GNUTLS_CERT_SIGNER_NOT_CA))
        return QStringLiteral("the server's certificate is not from a trusted authority");
    if (status & GNUTLS_CERT_REVOKED)
        return QStringLiteral("the server's certificate is revoked");
    return QStringLiteral("the server's certificate is not valid");
}

// The span in which every certificate the server sent, and the trusted authority that signed the last of
// them, is valid.
bool validity(gnutls_session_t session, gnutls_certificate_credentials_t credentials, qint64* notBeforeUsec,
              qint64* notAfterUsec) {
    unsigned count = 0;
    const gnutls_datum_t* chain = gnutls_certificate_get_peers(session, &count);
    if (!chain || count == 0)
        return false;
    qint64 from = LLONG_MIN, to = LLONG_MAX;
    auto include = [&from, &to](gnutls_x509_crt_t crt) {
        const time_t activation = gnutls_x509_crt_get_activation_time(crt);
        const time_t expiration = gnutls_x509_crt_get_expiration_time(crt);
        if (activation == time_t(-1) || expiration == time_t(-1))
            return false;
        from = std::max<qint64>(from, qint64(activation) * 1000000);
        to = std::min<qint64>(to, qint64(expiration) * 1000000);
        return true;
    };
    for (unsigned i = 0; i < count; ++i) {
        gnutls_x509_crt_t crt = nullptr;
        if (gnutls_x509_crt_init(&crt) < 0)
            return false;
        bool read = gnutls_x509_crt_import(crt, &chain[i], GNUTLS_X509_FMT_DER) >= 0 && include(crt);
        gnutls_x509_crt_t issuer = nullptr; // owned by the credentials
        if (read && i + 1 == count && gnutls_certificate_get_issuer(credentials, crt, &issuer, 0) >= 0)
            read = include(issuer);
        gnutls_x509_crt_deinit(crt);
        if (!read)
            return false;
    }
    *notBeforeUsec = from;
    *notAfterUsec = to;
    return true;
}

QString datesWhy(qint64 atUsec, const HostState& state) {
    if (atUsec > state.notAfterUsec)
        return QStringLiteral("the server's certificate has expired");
    if (atUsec < state.notBeforeUsec)
        return QStringLiteral("the server's certificate is not yet valid");
    return {};
}

struct KeyExchange {
    bool ok = false;
    Offer offer = Offer::Unknown;
    QString why;
    HostState state;
};

KeyExchange keyExchange(const QString& host, const Options& options) {
    KeyExchange ke;
    bool tlsBegan = false; // the server has spoken TLS: it offers NTS, whatever goes wrong after
    auto refuse = [&ke, &tlsBegan](const QString& why) {
        ke.offer = tlsBegan ? Offer::Yes : Offer::Connected;
        ke.why = QStringLiteral("NTS key exchange refused: ") + why;
        return ke;
    };
    auto failed = [&ke, &tlsBegan](const QString& why) {
        ke.offer = tlsBegan ? Offer::Yes : Offer::Connected;
        ke.why = QStringLiteral("NTS key exchange failed: ") + why;
        return ke;
    };
    QElapsedTimer timer;
    timer.start();
    QString why;
    const QList<NetIo::Endpoint> endpoints = NetIo::lookup(host, options.kePort, options.keLimitMs, &why);
    if (endpoints.isEmpty()) {
        ke.why = QStringLiteral("cannot find %1").arg(host);
        return ke;
    }
    NetIo::Fd fd;
    switch (NetIo::connectWithin(endpoints, timer, options.keLimitMs, &fd)) {
    case NetIo::Connect::Refused:
        ke.offer = Offer::No;
        ke.why = QStringLiteral("%1 does not offer NTS").arg(host);
        return ke;
    case NetIo::Connect::Silent:
        ke.why = QStringLiteral("no NTS key exchange answer from %1").arg(host);
        return ke;
    case NetIo::Connect::Connected:
        break;
    }

    Tls tls;
    if (gnutls_certificate_allocate_credentials(&tls.m_credentials) < 0)
        return refuse(QStringLiteral("TLS is not available"));
    if (options.caFile.isEmpty()) {
        if (gnutls_certificate_set_x509_system_trust(tls.m_credentials) <= 0)
            return refuse(QStringLiteral("no trusted authorities on this system"));
    } else if (gnutls_certificate_set_x509_trust_file(tls.m_credentials, options.caFile.toLocal8Bit().constData(),
                                                      GNUTLS_X509_FMT_PEM) <= 0) {
        return refuse(QStringLiteral("cannot read the authorities of %1").arg(options.caFile));
    }
    // The dates are judged below, against the server's time when this clock disagrees.
    gnutls_certificate_set_verify_flags(tls.m_credentials,
                                        GNUTLS_VERIFY_DISABLE_TIME_CHECKS | GNUTLS_VERIFY_DISABLE_TRUSTED_TIME_CHECKS);
    if (gnutls_init(&tls.m_session, GNUTLS_CLIENT) < 0) {
        tls.m_session = nullptr;
        return refuse(QStringLiteral("TLS is not available"));
    }
    gnutls_session_t session = tls.m_session;
    // TLS 1.2 is offered only so that a server limited to it completes a handshake and can be named as such; the
    // exchange ends right after it, before anything is sent.
    gnutls_priority_set_direct(session, "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2", nullptr);
    gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, tls.m_credentials);
    const QByteArray name = host.toUtf8();
    const bool literal = !QHostAddress(host).isNull();
    if (!literal)
        gnutls_server_name_set(session, GNUTLS_NAME_DNS, name.constData(), static_cast<size_t>(name.size()));
    gnutls_datum_t alpn{reinterpret_cast<unsigned char*>(const_cast<char*>(kAlpn)), sizeof kAlpn - 1};
    gnutls_alpn_set_protocols(session, &alpn, 1, GNUTLS_ALPN_MANDATORY);
    gnutls_transport_set_int(session, fd.get());
    gnutls_handshake_set_timeout(session, static_cast<unsigned>(std::max(1, remainingMs(timer, options.keLimitMs))));
    int code = 0;
    do
        code = gnutls_handshake(session);
    while (code < 0 && !gnutls_error_is_fatal(code) && remainingMs(timer, options.keLimitMs) > 0);
    // A handshake message or an alert from the server; a port that only accepts the connection sent neither.
    tlsBegan = code >= 0 || static_cast<int>(gnutls_handshake_get_last_in(session)) >= 0 ||
               code == GNUTLS_E_FATAL_ALERT_RECEIVED || code == GNUTLS_E_WARNING_ALERT_RECEIVED;
    if (code < 0)
        return refuse(handshakeWhy(code, session));
    if (gnutls_protocol_get_version(session) != GNUTLS_TLS1_3)
        return refuse(QStringLiteral("the server does not speak TLS 1.3"));
    gnutls_datum_t selected{};
    if (gnutls_alpn_get_selected_protocol(session, &selected) < 0 ||
        QByteArray(reinterpret_cast<const char*>(selected.data), static_cast<int>(selected.size)) != kAlpn)
        return refuse(QStringLiteral("the server does not speak the NTS key exchange protocol"));
    unsigned status = 0;
    if (gnutls_certificate_verify_peers3(session, name.constData(), &status) < 0)
        return refuse(QStringLiteral("the server sent no certificate"));
    if (status != 0)
        return refuse(certificateWhy(status));
    if (!validity(session, tls.m_credentials, &ke.state.notBeforeUsec, &ke.state.notAfterUsec))
        return refuse(QStringLiteral("the server's certificate cannot be read"));
    ke.state.datesPending = !datesWhy(options.clock(), ke.state).isEmpty();

    for (const auto& [context, key] :
         {std::make_pair('\0', &ke.state.keys.c2s), std::make_pair('\1', &ke.state.keys.s2c)}) {
        const char bytes[] = {0, 0, 0, NtsKe::kAesSivCmac256, context};
        key->resize(32);
        if (gnutls_prf_rfc5705(session, sizeof kExporterLabel - 1, kExporterLabel, sizeof bytes, bytes, 32,
                               key->data()) < 0)
            return failed(QStringLiteral("the keys cannot be derived"));
    }

    const QByteArray request = NtsKe::request();
    gnutls_record_set_timeout(session, static_cast<unsigned>(std::max(1, remainingMs(timer, options.keLimitMs))));
    for (int sent = 0; sent < request.size();) {
        const ssize_t n =
            gnutls_record_send(session, request.constData() + sent, static_cast<size_t>(request.size() - sent));
        if (n < 0 && gnutls_error_is_fatal(static_cast<int>(n)))
            return failed(QStringLiteral("the request could not be sent"));
        if (n > 0)
            sent += static_cast<int>(n);
        if (remainingMs(timer, options.keLimitMs) == 0)
            return failed(QStringLiteral("the server did not answer in time"));
    }
    NtsKe::Reader reader;
    char buffer[4096];
    while (reader.state() == NtsKe::Reader::More) {
        const int left = remainingMs(timer, options.keLimitMs);
        if (left == 0)
            return failed(QStringLiteral("the server did not answer in time"));
        gnutls_record_set_timeout(session, static_cast<unsigned>(left));
        const ssize_t n = gnutls_record_recv(session, buffer, sizeof buffer);
        if (n > 0)
            reader.feed(QByteArray(buffer, static_cast<int>(n)));
        else if (n == 0 || n == GNUTLS_E_PREMATURE_TERMINATION)
            reader.finish();
        else if (n == GNUTLS_E_TIMEDOUT)
            return failed(QStringLiteral("the server did not answer in time"));
        else if (gnutls_error_is_fatal(static_cast<int>(n)))
            return failed(QStringLiteral("the connection failed (%1)").arg(QString::fromUtf8(gnutls_strerror(int(n)))));
    }
    if (reader.state() == NtsKe::Reader::Failed)
        return failed(reader.why());
    ke.ok = true;
    ke.offer = Offer::Yes;
    ke.state.cookies = reader.answer().cookies;
    ke.state.ntpHost = reader.answer().server.isEmpty() ? host : reader.answer().server;
    ke.state.ntpPort = reader.answer().port ? reader.answer().port : options.ntpPort;
    return ke;
}

struct Exchange {
    enum Kind { Answered, Refused, NoAnswer } kind = NoAnswer;
    NtsPacket::Reply reply;
    qint64 t1 = 0, t4 = 0;
    QString why;
};

// One authenticated request; replies that do not pass are ignored until the limit.
Exchange ntpExchange(const HostState& state, const QByteArray& cookie, int placeholders, const Options& options) {
    const int limitMs = options.ntpLimitMs;
    Exchange ex;
    QString why;
    const QList<NetIo::Endpoint> endpoints = NetIo::lookup(state.ntpHost, state.ntpPort, limitMs, &why);
    if (endpoints.isEmpty()) {
        ex.why = QStringLiteral("cannot find %1").arg(state.ntpHost);
        return ex;
    }
    const std::unique_ptr<NetIo::DatagramLink> link = NetIo::udpLink(endpoints.first(), &why);
    if (!link) {
        ex.why = QStringLiteral("cannot reach %1").arg(state.ntpHost);
        return ex;
    }
    const NtsPacket::Request request = NtsPacket::request(cookie, placeholders, state.keys.c2s);
    QElapsedTimer timer;
    ex.t1 = options.clock();
    timer.start();
    if (request.packet.isEmpty() || !link->send(request.packet)) {
        ex.why = QStringLiteral("the request could not be sent to %1").arg(state.ntpHost);
        return ex;
    }
    ex.why = QStringLiteral("no NTS answer from %1").arg(state.ntpHost);
    for (;;) {
        const NetIo::DatagramLink::Received got = link->receive(remainingMs(timer, limitMs));
        const qint64 elapsedUsec = timer.nsecsElapsed() / 1000;
        if (got.kind == NetIo::DatagramLink::Received::Kind::Nothing)
            return ex;
        // An ICMP refusal may be a forger's: keep listening as for any stray reply.
        if (got.kind == NetIo::DatagramLink::Received::Kind::Refused)
            continue;
        if (got.kind == NetIo::DatagramLink::Received::Kind::Error) {
            ex.why = QStringLiteral("cannot reach %1: %2").arg(state.ntpHost, got.why);
            return ex;
        }
        ex.reply = NtsPacket::parse(got.bytes, request, state.keys.s2c);
        if (ex.reply.kind == NtsPacket::Reply::Ignored) {
            ex.why = QStringLiteral("no valid NTS answer from %1: %2").arg(state.ntpHost, ex.reply.why);
            continue;
        }
        ex.kind = ex.reply.kind == NtsPacket::Reply::Accepted ? Exchange::Answered : Exchange::Refused;
        ex.t4 = ex.t1 + elapsedUsec;
        return ex;
    }
}
} // namespace

Options::Options() : clock(Sntp::systemNowUsec) {}

Options Options::fromEnvironment() {
    Options options;
    const PortSetting::Environment& seams = PortSetting::environment();
    options.kePort = seams.ntsKePort;
    options.ntpPort = seams.ntpPort;
    options.caFile = seams.caFile;
    return options;
}

struct Client::Store : CookieStore {};

Client::Client() : m_store(std::make_unique<Store>()) {}
Client::~Client() = default;

Result Client::synchronize(const QString& host, const Options& options) {
    Result result;
    result.sample.road = QStringLiteral("NTS");
    auto fail = [&result](const QString& why) {
        result.sample.why = why;
        return result;
    };
    bool rekeyed = false;
    for (;;) {
        HostState state;
        QByteArray cookie;
        if (!m_store->take(host, &state, &cookie)) {
            KeyExchange ke = keyExchange(host, options);
            result.offer = ke.offer;
            if (!ke.ok)
                return fail(ke.why);
            state = ke.state;
            cookie = state.cookies.takeFirst();
            m_store->keyExchanged(host, state);
        }
        result.offer = Offer::Yes;
        // The server returns one cookie for the one used and one for each placeholder.
        const int placeholders = std::max(0, NtsKe::kMaxCookies - 1 - int(state.cookies.size()));
        const Exchange ex = ntpExchange(state, cookie, placeholders, options);
        if (ex.kind == Exchange::NoAnswer)
            return fail(ex.why);
        if (ex.kind == Exchange::Refused) {
            m_store->drop(host);
            if (rekeyed)
                return fail(QStringLiteral("%1 no longer accepts NTS cookies").arg(host));
            rekeyed = true;
            continue;
        }
        const NtpTime::Measurement m =
            NtpTime::measure(ex.t1, NtpTime::unixUsec(ex.reply.receive), NtpTime::unixUsec(ex.reply.transmit), ex.t4,
                             ex.reply.rootDelayUsec, ex.reply.rootDispersionUsec);
        Sample& sample = result.sample;
        sample.roundTripUsec = m.roundTripUsec;
        if (!m.ok) {
            // Authenticated, so its cookies are good; its dates cannot be judged at a time it does not tell.
            if (state.datesPending)
                m_store->drop(host);
            else
                m_store->answered(host, ex.reply.cookies);
            return fail(QStringLiteral("NTS: ") + m.why);
        }
        const qint64 serverUsec = ex.t4 + m.correctionUsec;
        // Dates that this clock finds wrong must hold at the server's time (a clock far behind, the dead battery).
        const bool datesWrongHere = !datesWhy(ex.t4, state).isEmpty();
        if (datesWrongHere && !datesWhy(serverUsec, state).isEmpty()) {
            m_store->drop(host);
            return fail(QStringLiteral("NTS key exchange refused: ") + datesWhy(serverUsec, state));
        }
        m_store->answered(host, ex.reply.cookies);
        sample.ok = true;
        sample.correctionUsec = m.correctionUsec;
        sample.uncertaintyUsec = m.uncertaintyUsec;
        sample.serverUtc = QDateTime::fromMSecsSinceEpoch(serverUsec / 1000, Qt::UTC);
        // Expired by this clock: whoever holds the old key could pull the clock back to when it was valid.
        if (ex.t4 > state.notAfterUsec)
            sample.certificateExpiredUtc = QDateTime::fromMSecsSinceEpoch(state.notAfterUsec / 1000, Qt::UTC);
        return result;
    }
}

bool Client::completedBefore(const QString& host) const {
    return m_store->completed(host);
}

quint64 Client::keyExchangeCount() const {
    return m_store->keyExchanges();
}
} // namespace Nts
