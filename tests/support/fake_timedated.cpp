// A stand-in for systemd-timedated on a private bus: owns org.freedesktop.timedate1, records every SetTime call
// as a line "usec relative interactive applied-at-usec" and every SetNTP call as "ntp on interactive" in the
// record file, and refuses while the refusal file names an error (recording "refused METHOD").
//   fake_timedated --address BUS --record FILE [--refuse-file FILE] [--delay-file FILE] [--ntp-file FILE]
//                  [--clock-file FILE]
// The refusal file holds the D-Bus error name on its first line and the message on its second. The delay file
// holds milliseconds to wait before answering (and applying), as polkit's password prompt makes timedated do.
// The NTP file holds 1 while automatic time synchronization is on: SetTime is then refused as timedated refuses
// it, and SetNTP writes it. The clock file holds the virtual clock: its lead over the real clock in
// microseconds, which every applied SetTime moves as it would move a real clock (the real one is never touched).
// Every file is read at every call, so a test can switch them at will. Prints "ready" once the name is owned.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QTimer>
#include <cstdio>

namespace {
QByteArray readFile(const QString& path) {
    QFile file(path);
    return !path.isEmpty() && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class Timedate : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.timedate1")
public:
    Timedate(QDBusConnection bus, QCommandLineParser& options) : m_bus(std::move(bus)), m_options(options) {}

public Q_SLOTS:
    void SetTime(qlonglong usecUtc, bool relative, bool interactive) {
        answer([=] {
            if (ntpOn())
                return message().createErrorReply(QStringLiteral("org.freedesktop.timedate1.AutomaticTimeSyncEnabled"),
                                                  QStringLiteral("Automatic time synchronization is enabled"));
            const qint64 nowUsec = QDateTime::currentMSecsSinceEpoch() * 1000;
            record(QByteArray::number(usecUtc) + ' ' + QByteArray::number(int(relative)) + ' ' +
                   QByteArray::number(int(interactive)) + ' ' + QByteArray::number(nowUsec));
            moveVirtualClock(relative ? readFile(option("clock-file")).trimmed().toLongLong() + usecUtc
                                      : usecUtc - nowUsec);
            return message().createReply();
        });
    }
    void SetNTP(bool on, bool interactive) {
        answer([=] {
            QFile ntp(option("ntp-file"));
            if (ntp.open(QIODevice::WriteOnly | QIODevice::Truncate))
                ntp.write(on ? "1\n" : "0\n");
            record("ntp " + QByteArray::number(int(on)) + ' ' + QByteArray::number(int(interactive)));
            return message().createReply();
        });
    }

private:
    QString option(const char* name) const { return m_options.value(QString::fromLatin1(name)); }
    bool ntpOn() const { return readFile(option("ntp-file")).trimmed() == "1"; }
    void moveVirtualClock(qint64 leadUsec) {
        // Whole or not at all: the test's time server reads it at every request.
        QSaveFile clock(option("clock-file"));
        if (!option("clock-file").isEmpty() && clock.open(QIODevice::WriteOnly)) {
            clock.write(QByteArray::number(leadUsec) + '\n');
            clock.commit();
        }
    }
    void record(const QByteArray& line) {
        QFile out(option("record"));
        if (out.open(QIODevice::WriteOnly | QIODevice::Append))
            out.write(line + '\n');
    }
    // A refusal at once, else the call's effect and reply after the delay.
    template <typename Effect> void answer(Effect effect) {
        const QList<QByteArray> refusal = readFile(option("refuse-file")).split('\n');
        if (!refusal.value(0).trimmed().isEmpty()) {
            record("refused " + message().member().toUtf8());
            sendErrorReply(QString::fromUtf8(refusal.value(0).trimmed()),
                           QString::fromUtf8(refusal.value(1).trimmed()));
            return;
        }
        setDelayedReply(true); // the reply is sent here, never the empty automatic one
        const int delayMs = readFile(option("delay-file")).trimmed().toInt();
        if (delayMs <= 0) {
            m_bus.send(effect());
            return;
        }
        const QDBusMessage call = message();
        QTimer::singleShot(delayMs, this, [this, call, effect] {
            m_pending = call;
            m_bus.send(effect());
        });
    }
    // message() of the call being answered, also after a delay.
    QDBusMessage message() const { return calledFromDBus() ? QDBusContext::message() : m_pending; }

    QDBusConnection m_bus;
    QCommandLineParser& m_options;
    QDBusMessage m_pending;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    for (const char* name : {"address", "record", "refuse-file", "delay-file", "ntp-file", "clock-file"})
        parser.addOption({QString::fromLatin1(name), QString::fromLatin1(name), QStringLiteral("value")});
    parser.process(app);
    // Only the bus given: never the machine's own system bus.
    if (!parser.isSet(QStringLiteral("address")) || !parser.isSet(QStringLiteral("record"))) {
        std::fputs("usage: fake_timedated --address BUS --record FILE [--refuse-file FILE] [--delay-file FILE] "
                   "[--ntp-file FILE] [--clock-file FILE]\n",
                   stderr);
        return 2;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(parser.value(QStringLiteral("address")), QStringLiteral("bus"));
    Timedate timedate(bus, parser);
    if (!bus.isConnected() ||
        !bus.registerObject(QStringLiteral("/org/freedesktop/timedate1"), &timedate, QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.timedate1"))) {
        std::fprintf(stderr, "fake_timedated: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    return app.exec();
}

#include "fake_timedated.moc"
