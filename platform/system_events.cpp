// Listens to logind and NetworkManager on the system bus.
#include "platform/system_events.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

namespace {
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kLogindManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kNetworkManager = QStringLiteral("org.freedesktop.NetworkManager");
const QString kNetworkManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
} // namespace

LinuxSystemEvents::LinuxSystemEvents() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    // Any sender: naming the service would make Qt ask the bus for its owner and wait for the answer.
    bus.connect(QString(), kLogindPath, kLogindManager, QStringLiteral("PrepareForSleep"), this,
                SLOT(prepareForSleep(bool)));
    bus.connect(QString(), kNetworkManagerPath, kNetworkManager, QStringLiteral("StateChanged"), this,
                SLOT(networkStateChanged(uint)));
    askNetworkState();
}

void LinuxSystemEvents::prepareForSleep(bool sleeping) {
    if (!sleeping)
        Q_EMIT woken();
}

void LinuxSystemEvents::networkStateChanged(uint state) {
    const int reachable = state >= kConnectedLocal ? 1 : 0;
    if (reachable == m_reachable)
        return;
    m_reachable = reachable;
    Q_EMIT networkReachable(reachable == 1);
}

void LinuxSystemEvents::askNetworkState() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kNetworkManager, kNetworkManagerPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kNetworkManager << QStringLiteral("State");
    // A machine without NetworkManager must not have the bus start one for this question.
    get.setAutoStartService(false);
    auto* call = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(get, 5000), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, call] {
        call->deleteLater();
        const QDBusMessage reply = call->reply();
        // A signal that came first is newer than this answer.
        if (m_reachable < 0 && reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            networkStateChanged(qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toUInt());
    });
}
