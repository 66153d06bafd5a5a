// A stand-in for a desktop's StatusNotifierWatcher (KDE Plasma, GNOME's AppIndicator extension) on a private
// session bus: owns org.kde.StatusNotifierWatcher with a host registered, and appends the service of every item
// that registers to the record file, one a line.
//   fake_sni_watcher --address BUS --record FILE
// Prints "ready" once the name is owned.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QFile>
#include <QStringList>
#include <cstdio>

class Watcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
public:
    explicit Watcher(QString record) : m_record(std::move(record)) {}
    QStringList items() const { return m_items; }
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service) {
        // An item may give its object path instead of a service: then the caller's unique name is the service.
        const QString item = service.startsWith(QLatin1Char('/')) ? message().service() + service : service;
        m_items << item;
        QFile out(m_record);
        if (out.open(QIODevice::WriteOnly | QIODevice::Append))
            out.write(item.toUtf8() + '\n');
        Q_EMIT StatusNotifierItemRegistered(item);
    }
    void RegisterStatusNotifierHost(const QString&) {}

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    QString m_record;
    QStringList m_items;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("address"), QStringLiteral("bus address"), QStringLiteral("address")});
    parser.addOption({QStringLiteral("record"), QStringLiteral("record file"), QStringLiteral("file")});
    parser.process(app);
    // Only the bus given: never the user's own session bus.
    if (!parser.isSet(QStringLiteral("address")) || !parser.isSet(QStringLiteral("record"))) {
        std::fputs("usage: fake_sni_watcher --address BUS --record FILE\n", stderr);
        return 2;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(parser.value(QStringLiteral("address")), QStringLiteral("bus"));
    Watcher watcher(parser.value(QStringLiteral("record")));
    if (!bus.isConnected() ||
        !bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                QDBusConnection::ExportAllProperties) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        std::fprintf(stderr, "fake_sni_watcher: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    return app.exec();
}

#include "fake_sni_watcher.moc"
