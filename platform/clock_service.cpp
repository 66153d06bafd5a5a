// Sets the clock through systemd-timedated over D-Bus.
#include "platform/clock_service.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEventLoop>
#include <QTimer>

ClockResult TimedatedClockService::setTime(const QDateTime& utc) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return {false, QStringLiteral("org.freedesktop.DBus.Error.NoServer"), bus.lastError().message()};
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.timedate1"), QStringLiteral("/org/freedesktop/timedate1"),
        QStringLiteral("org.freedesktop.timedate1"), QStringLiteral("SetTime"));
    call << static_cast<qlonglong>(utc.toMSecsSinceEpoch() * 1000) << false << true;
    // Interactive authorization may ask the user, so the reply can take a while; events keep running meanwhile.
    call.setInteractiveAuthorizationAllowed(true);
    QDBusPendingCall pending = bus.asyncCall(call, m_timeoutMs);
    QDBusPendingCallWatcher watcher(pending);
    if (!watcher.isFinished()) {
        QEventLoop loop;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const QDBusMessage reply = watcher.reply();
    if (reply.type() == QDBusMessage::ErrorMessage)
        return {false, reply.errorName(), reply.errorMessage()};
    return {true, {}, {}};
}

QString describeClockRefusal(const ClockResult& result) {
    const QString& name = result.errorName;
    const QString& message = result.message;
    if (message.contains(QLatin1String("NTP"), Qt::CaseInsensitive) ||
        message.contains(QLatin1String("automatic time"), Qt::CaseInsensitive))
        return QStringLiteral("Clock not set: automatic time synchronization (NTP) is on");
    if (name.endsWith(QLatin1String("AccessDenied")) ||
        name.endsWith(QLatin1String("InteractiveAuthorizationRequired")) || name.contains(QLatin1String("PolicyKit")) ||
        name.contains(QLatin1String("NotAuthorized")))
        return QStringLiteral("Clock not set: you are not authorised to change the time");
    if (name.endsWith(QLatin1String("ServiceUnknown")) || name.endsWith(QLatin1String("NoServer")) ||
        name.endsWith(QLatin1String("NameHasNoOwner")))
        return QStringLiteral("Clock not set: the clock service is not available");
    if (name.endsWith(QLatin1String("NoReply")) || name.endsWith(QLatin1String("Timeout")))
        return QStringLiteral("Clock not set: the clock service did not answer");
    return QStringLiteral("Clock not set: ") + (message.isEmpty() ? name : message);
}
