// A host name resolved through Avahi's Server interface.
#include "cmd/avahi.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace Avahi {
QHostAddress resolveHostName(const QString& name, int ms, QString* why) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        *why = QStringLiteral("the system bus is not available");
        return {};
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, QStringLiteral("/"), kServer, QStringLiteral("ResolveHostName"));
    call << kAnyInterface << kAnyProtocol << name << kIPv4 << 0u;
    const QDBusMessage reply = bus.call(call, QDBus::Block, ms);
    const QVariantList a = reply.arguments();
    if (reply.type() != QDBusMessage::ReplyMessage || a.size() < 5) {
        *why = QStringLiteral("Avahi does not know ") + name + QStringLiteral(" (") + reply.errorMessage() +
               QLatin1Char(')');
        return {};
    }
    const QHostAddress address(a[4].toString());
    if (address.protocol() != QAbstractSocket::IPv4Protocol) {
        *why = QStringLiteral("Avahi gave no IPv4 address for ") + name;
        return {};
    }
    return address;
}
} // namespace Avahi
