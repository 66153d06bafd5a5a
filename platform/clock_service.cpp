// Sets the clock through systemd-timedated over D-Bus.
#include "platform/clock_service.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

ClockResult TimedatedClockService::setTime(qint64 correctionUsec, bool userInteraction) {
    return call(QStringLiteral("SetTime"), {static_cast<qlonglong>(correctionUsec), true, userInteraction},
                userInteraction);
}

ClockResult TimedatedClockService::setNtp(bool enable, bool userInteraction) {
    return call(QStringLiteral("SetNTP"), {enable, userInteraction}, userInteraction);
}

ClockResult TimedatedClockService::call(const QString& method, const QVariantList& args, bool userInteraction) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return {false, QStringLiteral("org.freedesktop.DBus.Error.NoServer"), bus.lastError().message()};
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.timedate1"),
                                                       QStringLiteral("/org/freedesktop/timedate1"),
                                                       QStringLiteral("org.freedesktop.timedate1"), method);
    call.setArguments(args);
    // Interactive authorization may ask the user, so the reply can take a while; events keep running meanwhile.
    // Given up too early, the service could still apply the change after "FAILED" was shown.
    call.setInteractiveAuthorizationAllowed(userInteraction);
    QDBusPendingCall pending =
        bus.asyncCall(call, userInteraction ? std::max(m_timeoutMs, kInteractiveTimeoutMs) : m_timeoutMs);
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

qint64 correctionUsec(const QDateTime& serverUtc, const QDateTime& localAtRead) {
    if (!serverUtc.isValid() || !localAtRead.isValid())
        return 0;
    return localAtRead.msecsTo(serverUtc) * 1000;
}

bool isAutomaticSyncRefusal(const ClockResult& result) {
    return !result.ok && result.errorName == QLatin1String("org.freedesktop.timedate1.AutomaticTimeSyncEnabled");
}

QString describeClockRefusal(const ClockResult& result) {
    const QString& name = result.errorName;
    const QString& message = result.message;
    if (isAutomaticSyncRefusal(result) || message.contains(QLatin1String("NTP"), Qt::CaseInsensitive) ||
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
