// Real peers for tests, each a child process stopped when its object goes: a private system bus with fakes of
// the clock service and of Avahi, and real time servers on a loopback address of their own (xinetd's built-in
// time service on port 37, chronyd with -x serving NTP on port 123; both need root and never touch the clock).
//
// Usage in a Qt test (link hv_test_fixtures):
//     PrivateSystemBus bus;                       // sets DBUS_SYSTEM_BUS_ADDRESS for this process and its children
//     QVERIFY2(bus.start(), qPrintable(bus.error()));
//     FakeTimedated timedated;                    // records SetTime; timedated.calls(), timedated.refuse(...)
//     QVERIFY2(timedated.start(bus), qPrintable(timedated.error()));
//     const QString address = uniqueLoopbackAddress();      // e.g. 127.64.12.34: no clash with other tests
//     XinetdTimeServer xinetd;
//     HV_START_FIXTURE(xinetd, address);         // skips when xinetd is not installed, fails on any other error
// The bus must be started before the process first uses QDBusConnection::systemBus().
#pragma once

#include <QDateTime>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Starts a fixture inside a test function: skips the test when the fixture's program is not installed, fails it
// on any other error.
#define HV_START_FIXTURE(fixture, ...)                                                                                 \
    do {                                                                                                               \
        if (!(fixture).start(__VA_ARGS__)) {                                                                           \
            if ((fixture).isMissing())                                                                                 \
                QSKIP(qPrintable((fixture).error()));                                                                  \
            QFAIL(qPrintable((fixture).error()));                                                                      \
        }                                                                                                              \
    } while (false)

// A helper process (or the program's window) is waited for this long only when it is really broken: on a busy
// 2-core machine a sanitizer build's peers take many seconds to come up.
constexpr int kReadyLimitMs = 60000;

// A loopback address that no other running test uses: derived from the process id (and a salt of 0 to 3 for more
// addresses in the same test). Linux answers on all of 127.0.0.0/8.
QString uniqueLoopbackAddress(int salt = 0);

// One child process in a temporary folder; stopped (TERM, then KILL) by the destructor.
class ChildProcess {
public:
    ChildProcess();
    virtual ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    const QString& error() const { return m_error; }
    // True when the program is not installed, the one reason to skip a test.
    bool isMissing() const { return m_missing; }
    QString folder() const { return m_dir.path(); }
    void stop();

protected:
    // Starts the program found on PATH or in /usr/sbin; false (and error()) when it could not start.
    bool launch(const QString& program, const QStringList& args);
    // Waits for a line on the child's standard output; false when it ended or the time passed.
    bool readLine(QByteArray* line, int ms = kReadyLimitMs);
    // Stops the child and sets error(): why, how the child ended when it had ended by itself, what it printed.
    bool fail(const QString& why);

    QProcess m_process;
    QTemporaryDir m_dir;
    QString m_error;
    bool m_missing = false;
};

// dbus-daemon with a generated configuration that allows everything, on a socket in its temporary folder.
class PrivateSystemBus : public ChildProcess {
public:
    ~PrivateSystemBus() override;
    bool start();
    const QString& address() const { return m_address; }

private:
    QString m_address;
    QByteArray m_previous;
    bool m_hadPrevious = false;
};

// The fake org.freedesktop.timedate1 of tests/support/fake_timedated.cpp.
struct SetTimeCall {
    qint64 usec = 0; // the correction when relative, else the time
    bool relative = false;
    bool interactive = false;
    QDateTime appliedAt; // the real time when the fake applied it
    // The clock right after the change; for a relative one, the real clock at that moment plus the correction.
    QDateTime clockAfter() const {
        return relative ? appliedAt.addMSecs(usec / 1000) : QDateTime::fromMSecsSinceEpoch(usec / 1000, Qt::UTC);
    }
};
struct SetNtpCall {
    bool on = false;
    bool interactive = false;
};
class FakeTimedated : public ChildProcess {
public:
    bool start(const PrivateSystemBus& bus);
    // From now on every SetTime is answered with this error; an empty name accepts again.
    void refuse(const QString& errorName, const QString& message = QString());
    // Answers (and applies) every call this late, as a password prompt makes timedated do.
    void answerLate(int ms);
    // Automatic time synchronization on: SetTime is refused until SetNTP switches it off.
    void setNtp(bool on);
    QList<SetTimeCall> calls() const;
    QList<SetNtpCall> ntpCalls() const;
    // How many calls were refused (each one a password prompt, had the service asked).
    int refusedCalls() const;
    // The virtual clock that every applied SetTime moves: its lead over the real clock. A FakeSntpServer given
    // clockFile() answers as seen from it.
    QString clockFile() const { return folder() + QStringLiteral("/clock.txt"); }
    qint64 virtualLeadUsec() const;
    void setVirtualLead(qint64 usec);

private:
    QString recordFile() const { return folder() + QStringLiteral("/calls.txt"); }
    QString refuseFile() const { return folder() + QStringLiteral("/refuse.txt"); }
    QString delayFile() const { return folder() + QStringLiteral("/delay.txt"); }
    QString ntpFile() const { return folder() + QStringLiteral("/ntp.txt"); }
};

// The fake Avahi daemon of tests/support/fake_avahi.cpp, announcing the given computers and those of the names
// file (see there for its form).
class FakeAvahi : public ChildProcess {
public:
    bool start(const PrivateSystemBus& bus, const QStringList& names, const QString& namesFile = QString());
};

// The SNTP server of tests/support/fake_sntp.cpp on a loopback address and a port of its own: its clock leads
// the real one by `leadUsec`, seen from the virtual clock of `clockFile` (FakeTimedated::clockFile()); with
// `answers` set it falls silent after that many replies.
class FakeSntpServer : public ChildProcess {
public:
    bool start(const QString& address, qint64 leadUsec, const QString& clockFile = QString(), int answers = -1);
    quint16 port() const { return m_port; }

private:
    quint16 m_port = 0;
};

// xinetd with only its built-in "time" service (TCP) on address:port.
class XinetdTimeServer : public ChildProcess {
public:
    bool start(const QString& address, quint16 port = 37);
};

// chronyd -x (never touching the clock) serving NTP on address:port as a local stratum 8 source; or, given
// a key exchange port and PEM files, as a local stratum 1 NTS server.
class ChronydServer : public ChildProcess {
public:
    bool start(const QString& address, quint16 port = 123);
    bool start(const QString& address, quint16 port, quint16 kePort, const QString& certFile, const QString& keyFile);
    // Before start: the server's clock runs this far ahead of the machine's, through faketime.
    void setAheadSeconds(int seconds) { m_aheadSeconds = seconds; }

private:
    bool launchServer(const QString& address, quint16 port, const QByteArray& extra);
    int m_aheadSeconds = 0;
};
