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
    // Sets the clock to the given UTC instant; window events keep running while the service answers.
    virtual ClockResult setTime(const QDateTime& utc) = 0;
};

// systemd-timedated's SetTime over the system bus (DBUS_SYSTEM_BUS_ADDRESS when set).
class TimedatedClockService : public ClockService {
public:
    explicit TimedatedClockService(int timeoutMs = 25000) : m_timeoutMs(timeoutMs) {}
    ClockResult setTime(const QDateTime& utc) override;

private:
    int m_timeoutMs;
};

// A plain-words reason for a refusal, for the status line.
QString describeClockRefusal(const ClockResult& result);
