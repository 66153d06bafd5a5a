#include "time_protocol/nts_ke.h"

#include "time_protocol/time_reply.h"

namespace NtsKe {
namespace {
quint16 u16(const QByteArray& bytes, int at) {
    return static_cast<quint16>(TimeReply::bigEndianValue(bytes.mid(at, 2)));
}
bool listHas(const QByteArray& body, quint16 value) {
    for (int at = 0; at + 1 < body.size(); at += 2)
        if (u16(body, at) == value)
            return true;
    return false;
}
bool printableName(const QByteArray& name) {
    for (const char c : name)
        if (c <= ' ' || c > '~')
            return false;
    return true;
}
} // namespace

QByteArray bigEndian16(quint16 value) {
    QByteArray bytes(2, '\0');
    bytes[0] = static_cast<char>(value >> 8);
    bytes[1] = static_cast<char>(value);
    return bytes;
}

QByteArray record(quint16 type, bool critical, const QByteArray& body) {
    return bigEndian16(static_cast<quint16>((type & 0x7FFF) | (critical ? kCritical : 0))) +
           bigEndian16(static_cast<quint16>(body.size())) + body;
}

QByteArray request() {
    return record(NextProtocol, true, bigEndian16(kNtpV4)) + record(Aead, true, bigEndian16(kAesSivCmac256)) +
           record(EndOfMessage, true, {});
}

Reader::State Reader::fail(const QString& why) {
    m_state = Failed;
    m_why = why;
    m_pending.clear();
    return m_state;
}

Reader::State Reader::feed(const QByteArray& bytes) {
    if (m_state != More)
        return m_state == Done && !bytes.isEmpty()
                   ? fail(QStringLiteral("the server sent more after its end of message"))
                   : m_state;
    m_total += bytes.size();
    if (m_total > kMaxAnswer)
        return fail(QStringLiteral("the server's answer is too long"));
    m_pending += bytes;
    int at = 0;
    while (m_state == More && m_pending.size() - at >= 4) {
        const quint16 head = u16(m_pending, at);
        const int length = u16(m_pending, at + 2);
        if (m_pending.size() - at - 4 < length)
            break;
        take(head & 0x7FFF, (head & kCritical) != 0, m_pending.mid(at + 4, length));
        at += 4 + length;
    }
    if (m_state == More)
        m_pending.remove(0, at);
    else if (m_state == Done && at < m_pending.size())
        return fail(QStringLiteral("the server sent more after its end of message"));
    return m_state;
}

Reader::State Reader::finish() {
    if (m_state == More)
        return fail(QStringLiteral("the server's answer ended before its end of message"));
    return m_state;
}

Reader::State Reader::take(quint16 type, bool critical, const QByteArray& body) {
    switch (type) {
    case EndOfMessage:
        if (!m_protocol)
            return fail(QStringLiteral("the server named no protocol"));
        if (!m_aead)
            return fail(QStringLiteral("the server named no algorithm"));
        if (m_answer.cookies.isEmpty())
            return fail(QStringLiteral("the server sent no cookie"));
        m_state = Done;
        return m_state;
    case NextProtocol:
        if (m_protocol || body.size() != 2 || !listHas(body, kNtpV4))
            return fail(QStringLiteral("the server offers another protocol than NTPv4"));
        m_protocol = true;
        return m_state;
    case Error:
        return fail(QStringLiteral("the server reports error %1").arg(body.size() == 2 ? u16(body, 0) : -1));
    case Warning:
        return fail(QStringLiteral("the server sent warning %1").arg(body.size() == 2 ? u16(body, 0) : -1));
    case Aead:
        if (m_aead || body.size() != 2 || !listHas(body, kAesSivCmac256))
            return fail(QStringLiteral("the server offers another algorithm than AES-SIV-CMAC-256"));
        m_aead = true;
        return m_state;
    case NewCookie:
        if (body.isEmpty() || body.size() > kMaxCookieSize)
            return fail(QStringLiteral("the server sent a cookie of %1 bytes").arg(body.size()));
        if (m_answer.cookies.size() < kMaxCookies)
            m_answer.cookies.append(body);
        return m_state;
    case Server:
        if (body.isEmpty() || body.size() > kMaxServerName || !printableName(body))
            return fail(QStringLiteral("the server names an NTP server that is no host name"));
        m_answer.server = QString::fromLatin1(body);
        return m_state;
    case Port:
        if (body.size() != 2 || u16(body, 0) == 0)
            return fail(QStringLiteral("the server names a port that is no port"));
        m_answer.port = u16(body, 0);
        return m_state;
    default:
        if (critical)
            return fail(QStringLiteral("the server sent an unknown critical record (type %1)").arg(type));
        return m_state;
    }
}

Reader read(const QByteArray& stream) {
    Reader reader;
    reader.feed(stream);
    reader.finish();
    return reader;
}
} // namespace NtsKe
