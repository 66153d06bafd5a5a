// A stand-in for systemd-timedated on a private bus: owns org.freedesktop.timedate1, records every SetTime call
// as a line "usec relative interactive" in the record file, and refuses while the refusal file names an error.
//   fake_timedated --address BUS --record FILE [--refuse-file FILE]
// The refusal file holds the D-Bus error name on its first line and the message on its second; it is read at
// every call, so a test can switch refusing on and off. Prints "ready" once the name is owned.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QFile>
#include <cstdio>

class Timedate : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.timedate1")
public:
    Timedate(QString record, QString refuseFile) : m_record(std::move(record)), m_refuseFile(std::move(refuseFile)) {}

public Q_SLOTS:
    void SetTime(qlonglong usecUtc, bool relative, bool interactive) {
        QFile refuse(m_refuseFile);
        if (!m_refuseFile.isEmpty() && refuse.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> lines = refuse.readAll().split('\n');
            if (!lines.value(0).trimmed().isEmpty()) {
                sendErrorReply(QString::fromUtf8(lines.value(0).trimmed()),
                               QString::fromUtf8(lines.value(1).trimmed()));
                return;
            }
        }
        QFile out(m_record);
        if (out.open(QIODevice::WriteOnly | QIODevice::Append))
            out.write(QByteArray::number(usecUtc) + ' ' + QByteArray::number(int(relative)) + ' ' +
                      QByteArray::number(int(interactive)) + '\n');
    }

private:
    QString m_record;
    QString m_refuseFile;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("address"), QStringLiteral("bus address"), QStringLiteral("address")});
    parser.addOption({QStringLiteral("record"), QStringLiteral("record file"), QStringLiteral("file")});
    parser.addOption({QStringLiteral("refuse-file"), QStringLiteral("refusal file"), QStringLiteral("file")});
    parser.process(app);
    // Only the bus given: never the machine's own system bus.
    if (!parser.isSet(QStringLiteral("address")) || !parser.isSet(QStringLiteral("record"))) {
        std::fputs("usage: fake_timedated --address BUS --record FILE [--refuse-file FILE]\n", stderr);
        return 2;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(parser.value(QStringLiteral("address")), QStringLiteral("bus"));
    Timedate timedate(parser.value(QStringLiteral("record")), parser.value(QStringLiteral("refuse-file")));
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
