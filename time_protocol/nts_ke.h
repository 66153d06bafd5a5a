// The records of the NTS key exchange (RFC 8915): the client's request and a bounded reader of the server's
// answer. Each record is a critical bit and a 15-bit type, a 16-bit body length and the body, big-endian.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace NtsKe {
enum Type : quint16 {
    EndOfMessage = 0,
    NextProtocol = 1,
    Error = 2,
    Warning = 3,
    Aead = 4,
    NewCookie = 5,
    Server = 6,
    Port = 7,
};
constexpr quint16 kCritical = 0x8000;
constexpr quint16 kNtpV4 = 0;
constexpr quint16 kAesSivCmac256 = 15;
constexpr int kMaxCookies = 8;
constexpr int kMaxCookieSize = 1024;
constexpr int kMaxServerName = 255;
// A server's whole answer; a stream longer than this is hostile, not large.
constexpr int kMaxAnswer = 65536;

// Two bytes, most significant first, as every number of NTS is written.
QByteArray bigEndian16(quint16 value);
QByteArray record(quint16 type, bool critical, const QByteArray& body);
// Next Protocol NTPv4, AEAD AES-SIV-CMAC-256, End of Message; all critical.
QByteArray request();

struct Answer {
    QList<QByteArray> cookies; // at most kMaxCookies, the first ones sent
    QString server;            // the NTP server the key exchange names, else empty
    quint16 port = 0;          // its port, else 0
};

// Reads the answer as it arrives, keeping no more than one unfinished record.
class Reader {
public:
    enum State { More, Done, Failed };
    State feed(const QByteArray& bytes);
    // The stream ended: Failed unless the answer was complete.
    State finish();
    State state() const { return m_state; }
    const Answer& answer() const { return m_answer; }
    const QString& why() const { return m_why; }

private:
    State take(quint16 type, bool critical, const QByteArray& body);
    State fail(const QString& why);

    QByteArray m_pending;
    int m_total = 0;
    bool m_protocol = false;
    bool m_aead = false;
    Answer m_answer;
    State m_state = More;
    QString m_why;
};

// The reader over a whole stream, for tests and the fuzzer.
Reader read(const QByteArray& stream);
} // namespace NtsKe
