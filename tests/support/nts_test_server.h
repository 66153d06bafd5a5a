// Test peers for NTS: a certificate authority made with openssl in a temporary folder, and a small NTS server
// of our own on loopback that misbehaves on request, for what chronyd never sends.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

// A CA (ca.pem) and server certificates it signs, each NAME.pem with NAME.key beside it.
class TestCertificates {
public:
    bool makeAuthority();
    // `sans` as openssl writes them ("DNS:localhost", "IP:127.0.0.1"), valid from and to these days from now.
    bool issue(const QString& name, const QStringList& sans, int fromDays = 0, int toDays = 2);
    QString authority() const { return path(QStringLiteral("ca.pem")); }
    QString certificate(const QString& name) const { return path(name + QStringLiteral(".pem")); }
    QString key(const QString& name) const { return path(name + QStringLiteral(".key")); }
    const QString& error() const { return m_error; }

private:
    QString path(const QString& file) const { return m_dir.path() + QLatin1Char('/') + file; }
    bool run(const QStringList& args);
    static QString date(int days);
    QTemporaryDir m_dir;
    QString m_error;
};

// The key exchange on a TCP port and NTP on a UDP port of `address`, both chosen by the system, served from a
// thread of this process until the object goes.
class TestNtsServer {
public:
    enum class Trick {
        None,
        TamperedAuthenticator, // every NTP reply's authenticator is spoilt
        RefusalWrongId,        // NTSN for another request
        RefusalRightId,        // NTSN for this request: the cookies are refused
        UnknownCriticalRecord, // the key exchange answer carries a critical record of no known type
        Tls12Only,
        OtherAlpn,
        Silent,       // accepts the connection and never says a word
        LateTransmit, // every NTP reply is sent 300 s after it was received, by its stamps
    };
    TestNtsServer() = default;
    ~TestNtsServer();
    TestNtsServer(const TestNtsServer&) = delete;
    TestNtsServer& operator=(const TestNtsServer&) = delete;

    bool start(const QString& address, const QString& certFile, const QString& keyFile, Trick trick);
    // The server's clock runs this far ahead of this machine's (behind when negative); set before start.
    void setClockAheadSecs(qint64 secs) { m_aheadUsec = secs * 1000000; }
    quint16 kePort() const { return m_kePort; }
    quint16 ntpPort() const { return m_ntpPort; }
    int keyExchanges() const { return m_keyExchanges; }
    const QString& error() const { return m_error; }

private:
    struct Keys {
        QByteArray c2s, s2c;
    };
    void run();
    void serveKeyExchange(int fd);
    void serveNtp();
    QByteArray newCookie(const Keys& keys);
    QByteArray timestampNow(qint64 laterUsec = 0) const;

    Trick m_trick = Trick::None;
    QByteArray m_cert, m_key;
    int m_listen = -1, m_udp = -1, m_wake[2] = {-1, -1};
    quint16 m_kePort = 0, m_ntpPort = 0;
    qint64 m_aheadUsec = 0;
    std::atomic<int> m_keyExchanges{0};
    QMap<QByteArray, Keys> m_cookies; // only the server thread touches it
    std::thread m_thread;
    QString m_error;
};
