// The test CA and the misbehaving NTS server. The server is deliberately small: cookies are random bytes that
// index the keys it keeps in memory.
#include "nts_test_server.h"

#include "time_protocol/aes_siv.h"
#include "time_protocol/ntp_time.h"
#include "time_protocol/nts_ke.h"
#include "time_protocol/nts_packet.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <gnutls/gnutls.h>

#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr char kLabel[] = "EXPORTER-network-time-security";

QByteArray randomBytes(int size) {
    QByteArray bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(QRandomGenerator::global()->bounded(256));
    return bytes;
}

int boundSocket(const QString& address, int type, quint16* port) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    socklen_t size = sizeof a;
    if (fd < 0 || inet_pton(AF_INET, address.toLatin1().constData(), &a.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) < 0 || (type == SOCK_STREAM && ::listen(fd, 8) < 0)) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    *port = ntohs(a.sin_port);
    return fd;
}
} // namespace

QString TestCertificates::date(int days) {
    return QDateTime::currentDateTimeUtc().addDays(days).toString(QStringLiteral("yyyyMMddHHmmss'Z'"));
}

bool TestCertificates::run(const QStringList& args) {
    QProcess openssl;
    openssl.setWorkingDirectory(m_dir.path());
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"), args);
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        m_error = QStringLiteral("openssl %1 failed: %2")
                      .arg(args.join(QLatin1Char(' ')), QString::fromUtf8(openssl.readAll().left(2000)));
        return false;
    }
    return true;
}

bool TestCertificates::makeAuthority() {
    // openssl ca, unlike openssl x509, takes any validity dates.
    const QByteArray config = "[ca]\ndefault_ca = test\n"
                              "[test]\ndatabase = index.txt\nnew_certs_dir = .\nrand_serial = yes\n"
                              "default_md = sha256\npolicy = any\ncopy_extensions = copy\nunique_subject = no\n"
                              "[any]\ncommonName = supplied\n";
    QFile file(path(QStringLiteral("ca.cnf")));
    QFile index(path(QStringLiteral("index.txt")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size() || !index.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("cannot write the CA configuration");
        return false;
    }
    file.close();
    // Valid long before and after now, so that the certificates it signs may be valid at any server's time.
    return run({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-subj",
                "/CN=Horavane test CA", "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                "keyUsage=critical,keyCertSign", "-keyout", "ca.key", "-out", "ca.csr"}) &&
           run({"ca", "-config", "ca.cnf", "-batch", "-notext", "-selfsign", "-keyfile", "ca.key", "-in", "ca.csr",
                "-out", "ca.pem", "-startdate", date(-60), "-enddate", date(60)});
}

bool TestCertificates::issue(const QString& name, const QStringList& sans, int fromDays, int toDays) {
    return run({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-subj", "/CN=" + name,
                "-addext", "subjectAltName=" + sans.join(QLatin1Char(',')), "-keyout", name + ".key", "-out",
                name + ".csr"}) &&
           run({"ca", "-config", "ca.cnf", "-batch", "-notext", "-cert", "ca.pem", "-keyfile", "ca.key", "-in",
                name + ".csr", "-out", name + ".pem", "-startdate", date(fromDays), "-enddate", date(toDays)});
}

TestNtsServer::~TestNtsServer() {
    if (m_thread.joinable()) {
        const char stop = 's';
        if (::write(m_wake[1], &stop, 1) != 1)
            ::shutdown(m_listen, SHUT_RDWR);
        m_thread.join();
    }
    for (const int fd : {m_listen, m_udp, m_wake[0], m_wake[1]})
        if (fd >= 0)
            ::close(fd);
}

bool TestNtsServer::start(const QString& address, const QString& certFile, const QString& keyFile, Trick trick) {
    m_trick = trick;
    m_cert = certFile.toLocal8Bit();
    m_key = keyFile.toLocal8Bit();
    m_listen = boundSocket(address, SOCK_STREAM, &m_kePort);
    m_udp = boundSocket(address, SOCK_DGRAM, &m_ntpPort);
    if (m_listen < 0 || m_udp < 0 || ::pipe2(m_wake, O_CLOEXEC) < 0) {
        m_error = QStringLiteral("cannot listen on ") + address;
        return false;
    }
    m_thread = std::thread([this] { run(); });
    return true;
}

void TestNtsServer::run() {
    for (;;) {
        pollfd p[3] = {{m_listen, POLLIN, 0}, {m_udp, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(p, 3, -1) < 0)
            continue;
        if (p[2].revents)
            return;
        if (p[0].revents & POLLIN) {
            const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                serveKeyExchange(fd);
                ::close(fd);
            }
        }
        if (p[1].revents & POLLIN)
            serveNtp();
    }
}

QByteArray TestNtsServer::timestampNow(qint64 laterUsec) const {
    const qint64 usec =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    const quint64 stamp = NtpTime::timestamp(usec + m_aheadUsec + laterUsec);
    QByteArray bytes(8, '\0');
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<char>(stamp >> (56 - 8 * i));
    return bytes;
}

QByteArray TestNtsServer::newCookie(const Keys& keys) {
    const QByteArray cookie = randomBytes(64);
    m_cookies.insert(cookie, keys);
    return cookie;
}

void TestNtsServer::serveKeyExchange(int fd) {
    if (m_trick == Trick::Silent) {
        pollfd p[2] = {{fd, POLLRDHUP, 0}, {m_wake[0], POLLIN, 0}};
        ::poll(p, 2, 10000); // until the client gives up or the server stops
        return;
    }
    gnutls_certificate_credentials_t credentials = nullptr;
    gnutls_session_t session = nullptr;
    gnutls_certificate_allocate_credentials(&credentials);
    if (gnutls_certificate_set_x509_key_file(credentials, m_cert.constData(), m_key.constData(), GNUTLS_X509_FMT_PEM) <
        0) {
        gnutls_certificate_free_credentials(credentials);
        return;
    }
    gnutls_init(&session, GNUTLS_SERVER);
    gnutls_priority_set_direct(
        session, m_trick == Trick::Tls12Only ? "NORMAL:-VERS-ALL:+VERS-TLS1.2" : "NORMAL:-VERS-ALL:+VERS-TLS1.3",
        nullptr);
    gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, credentials);
    static const char ours[] = "ntske/1", other[] = "ntske/9";
    const char* protocol = m_trick == Trick::OtherAlpn ? other : ours;
    gnutls_datum_t alpn{reinterpret_cast<unsigned char*>(const_cast<char*>(protocol)), sizeof ours - 1};
    gnutls_alpn_set_protocols(session, &alpn, 1, 0);
    gnutls_transport_set_int(session, fd);
    gnutls_handshake_set_timeout(session, 2000);
    gnutls_record_set_timeout(session, 2000);
    int code = 0;
    do
        code = gnutls_handshake(session);
    while (code < 0 && !gnutls_error_is_fatal(code));
    if (code < 0)
        gnutls_alert_send_appropriate(session, code); // as a real server tells why it gives up
    QByteArray request;
    const QByteArray end = NtsKe::record(NtsKe::EndOfMessage, true, {});
    char buffer[1024];
    while (code >= 0 && !request.endsWith(end) && request.size() < 4096) {
        const ssize_t n = gnutls_record_recv(session, buffer, sizeof buffer);
        if (n <= 0 && (n == 0 || gnutls_error_is_fatal(static_cast<int>(n))))
            code = -1;
        else if (n > 0)
            request.append(buffer, static_cast<int>(n));
    }
    Keys keys;
    for (const auto& [context, key] : {std::make_pair('\0', &keys.c2s), std::make_pair('\1', &keys.s2c)}) {
        const char bytes[] = {0, 0, 0, 15, context};
        key->resize(32);
        if (code >= 0)
            code = gnutls_prf_rfc5705(session, sizeof kLabel - 1, kLabel, sizeof bytes, bytes, 32, key->data());
    }
    if (code >= 0) {
        ++m_keyExchanges;
        const char port[] = {static_cast<char>(m_ntpPort >> 8), static_cast<char>(m_ntpPort)};
        QByteArray answer = NtsKe::record(NtsKe::NextProtocol, true, QByteArray(2, '\0')) +
                            NtsKe::record(NtsKe::Aead, true, QByteArray::fromHex("000f")) +
                            NtsKe::record(NtsKe::Port, true, QByteArray(port, 2));
        if (m_trick == Trick::UnknownCriticalRecord)
            answer += NtsKe::record(0x2a2a, true, "surprise");
        for (int i = 0; i < NtsKe::kMaxCookies; ++i)
            answer += NtsKe::record(NtsKe::NewCookie, false, newCookie(keys));
        answer += end;
        gnutls_record_send(session, answer.constData(), static_cast<size_t>(answer.size()));
        gnutls_bye(session, GNUTLS_SHUT_WR);
    }
    gnutls_deinit(session);
    gnutls_certificate_free_credentials(credentials);
}

void TestNtsServer::serveNtp() {
    QByteArray buffer(4096, '\0');
    sockaddr_storage from{};
    socklen_t fromSize = sizeof from;
    const ssize_t n = ::recvfrom(m_udp, buffer.data(), static_cast<size_t>(buffer.size()), 0,
                                 reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (n < NtsPacket::kHeaderSize)
        return;
    const QByteArray request = buffer.left(static_cast<int>(n));
    QList<NtsPacket::Field> fields;
    if (!NtsPacket::fields(request, NtsPacket::kHeaderSize, &fields) || fields.isEmpty())
        return;
    QByteArray uid, cookie, nonce, sealed, plaintext;
    int placeholders = 0;
    for (const NtsPacket::Field& f : fields) {
        if (f.type == NtsPacket::UniqueIdentifier)
            uid = f.body;
        else if (f.type == NtsPacket::Cookie)
            cookie = f.body;
        else if (f.type == NtsPacket::CookiePlaceholder)
            ++placeholders;
    }
    const NtsPacket::Field& auth = fields.last();
    if (!m_cookies.contains(cookie) || auth.type != NtsPacket::Authenticator ||
        !NtsPacket::authenticatorParts(auth.body, &nonce, &sealed))
        return;
    const Keys keys = m_cookies.take(cookie);
    if (!AesSiv::open(keys.c2s, nonce, request.left(auth.at), sealed, &plaintext))
        return;
    QByteArray reply(NtsPacket::kHeaderSize, '\0');
    reply[0] = 0x24;
    reply[1] = 1;
    reply.replace(12, 4, "TEST");
    reply.replace(24, 8, request.mid(40, 8));
    reply.replace(32, 8, timestampNow());
    reply.replace(40, 8, timestampNow(m_trick == Trick::LateTransmit ? 300 * 1000000LL : 0));
    if (m_trick == Trick::RefusalRightId || m_trick == Trick::RefusalWrongId) {
        reply[1] = 0;
        reply.replace(12, 4, "NTSN");
        if (m_trick == Trick::RefusalWrongId)
            uid[0] = static_cast<char>(uid[0] ^ 0x01);
        reply += NtsPacket::field(NtsPacket::UniqueIdentifier, uid);
    } else {
        reply += NtsPacket::field(NtsPacket::UniqueIdentifier, uid);
        QByteArray inner, sealedFields;
        for (int i = 0; i <= placeholders; ++i)
            inner += NtsPacket::field(NtsPacket::Cookie, newCookie(keys));
        NtsPacket::seal(reply, keys.s2c, randomBytes(NtsPacket::kNonceSize), inner, &sealedFields);
        if (m_trick == Trick::TamperedAuthenticator)
            sealedFields[sealedFields.size() - 1] = static_cast<char>(sealedFields[sealedFields.size() - 1] ^ 0x01);
        reply += sealedFields;
    }
    ::sendto(m_udp, reply.constData(), static_cast<size_t>(reply.size()), 0, reinterpret_cast<sockaddr*>(&from),
             fromSize);
}
