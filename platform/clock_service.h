// The service that sets the system clock; the program never sets the clock any other way.
#pragma once

#include <QDateTime>
#include <QString>

struct ClockResult {
    bool ok = false;
    QString errorName; // D-Bus error name when refused, e.g. org.freedesktop.DBus.Error.AccessDenied
    QString message;   // the service's own words
};

class ClockService {
public:
    virtual ~ClockService() = default;
    // Adds the correction (microseconds) to the clock when the service applies it, so a late answer (a password
    // prompt) does not make it stale. Only a user-started synchronization lets the service ask the user.
    // Window events keep running while the service answers.
    virtual ClockResult setTime(qint64 correctionUsec, bool userInteraction) = 0;
    // Switches automatic time synchronization (NTP) on or off.
    virtual ClockResult setNtp(bool enable, bool userInteraction) = 0;
};

// systemd-timedated's SetTime and SetNTP over the system bus (DBUS_SYSTEM_BUS_ADDRESS when set).
class TimedatedClockService : public ClockService {
public:
    // An unattended call is given up after this long.
    static constexpr int kTimeoutMs = 25000;
    explicit TimedatedClockService(int timeoutMs = kTimeoutMs) : m_timeoutMs(timeoutMs) {}
    ClockResult setTime(qint64 correctionUsec, bool userInteraction) override;
    ClockResult setNtp(bool enable, bool userInteraction) override;

    // A person typing a password gets this long before the call is given up.
    static constexpr int kInteractiveTimeoutMs = 5 * 60 * 1000;
    // How long a call with the default limit may take, so that whoever waits for one waits as long.
    static constexpr int limitMs(bool userInteraction) { return userInteraction ? kInteractiveTimeoutMs : kTimeoutMs; }

private:
    ClockResult call(const QString& method, const QVariantList& args, bool userInteraction);
    int m_timeoutMs;
};

// The correction that makes this clock show the server's time: both read at the same moment.
qint64 correctionUsec(const QDateTime& serverUtc, const QDateTime& localAtRead);
// True when the service refused because automatic time synchronization (NTP) is on.
bool isAutomaticSyncRefusal(const ClockResult& result);
// A plain-words reason for a refusal, for the status line.
QString describeClockRefusal(const ClockResult& result);
