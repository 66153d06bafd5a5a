// The Avahi daemon's D-Bus names and the one call that "net time" makes to it.
#pragma once

#include <QHostAddress>
#include <QString>

namespace Avahi {
inline const QString kService = QStringLiteral("org.freedesktop.Avahi");
inline const QString kServer = QStringLiteral("org.freedesktop.Avahi.Server");
inline const QString kServiceBrowser = QStringLiteral("org.freedesktop.Avahi.ServiceBrowser");
constexpr int kAnyInterface = -1;
constexpr int kAnyProtocol = -1;
constexpr int kIPv4 = 0;

// The IPv4 address of an mDNS host name (such as "pc1.local") on the system bus's Avahi; a null address (and
// why) when Avahi is missing, does not know the name or does not answer within `ms`.
QHostAddress resolveHostName(const QString& name, int ms, QString* why);
} // namespace Avahi
