// A stand-in for the Avahi daemon on a private bus, with just enough of its interface for "net view": service
// browsers that announce the given computers and then say AllForNow, and ResolveService for their host names.
//   fake_avahi --address BUS --names "PC1,Office Laptop=laptop.local"
// A name alone resolves to its lower-case form + ".local"; "service=host" resolves to host. Every computer is
// announced as a workstation ("NAME [00:11:22:33:44:55]") and as a file server ("NAME"). Prints "ready".
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QMap>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
const QString kBrowserInterface = QStringLiteral("org.freedesktop.Avahi.ServiceBrowser");
const QString kMacSuffix = QStringLiteral(" [00:11:22:33:44:55]");
} // namespace

class Browser : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Avahi.ServiceBrowser")
public Q_SLOTS:
    void Free() {}
};

class Server : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Avahi.Server")
public:
    Server(QDBusConnection bus, QMap<QString, QString> hosts) : m_bus(std::move(bus)), m_hosts(std::move(hosts)) {}

public Q_SLOTS:
    QString GetVersionString() { return QStringLiteral("fake 0.1"); }

    QDBusObjectPath ServiceBrowserNew(int interfaceIndex, int protocol, const QString& type, const QString& domain,
                                      uint flags) {
        Q_UNUSED(interfaceIndex);
        Q_UNUSED(protocol);
        Q_UNUSED(flags);
        const QString path = QStringLiteral("/Client1/ServiceBrowser%1").arg(m_browsers.size() + 1);
        m_browsers.push_back(std::make_unique<Browser>());
        m_bus.registerObject(path, m_browsers.back().get(), QDBusConnection::ExportAllSlots);
        const QString d = domain.isEmpty() ? QStringLiteral("local") : domain;
        // Announced after the reply, as the daemon does; the client listens before it asks.
        QTimer::singleShot(20, this, [this, path, type, d] {
            for (auto it = m_hosts.cbegin(); it != m_hosts.cend(); ++it) {
                const QString name = type == QLatin1String("_workstation._tcp") ? it.key() + kMacSuffix : it.key();
                QDBusMessage item = QDBusMessage::createSignal(path, kBrowserInterface, QStringLiteral("ItemNew"));
                item << 2 << 0 << name << type << d << 4u;
                m_bus.send(item);
            }
            m_bus.send(QDBusMessage::createSignal(path, kBrowserInterface, QStringLiteral("AllForNow")));
        });
        return QDBusObjectPath(path);
    }

    void ResolveService(int interfaceIndex, int protocol, const QString& name, const QString& type,
                        const QString& domain, int aprotocol, uint flags) {
        Q_UNUSED(aprotocol);
        Q_UNUSED(flags);
        QString service = name;
        if (service.endsWith(kMacSuffix))
            service.chop(kMacSuffix.size());
        const auto it = m_hosts.constFind(service);
        if (it == m_hosts.cend()) {
            sendErrorReply(QStringLiteral("org.freedesktop.Avahi.TimeoutError"), QStringLiteral("Timeout reached"));
            return;
        }
        setDelayedReply(true);
        QDBusMessage reply = message().createReply();
        reply << interfaceIndex << protocol << name << type << domain << it.value() << 0 << QStringLiteral("127.0.0.1")
              << QVariant::fromValue(ushort(445)) << QVariant::fromValue(QList<QByteArray>()) << 4u;
        m_bus.send(reply);
    }

private:
    QDBusConnection m_bus;
    QMap<QString, QString> m_hosts;
    std::vector<std::unique_ptr<Browser>> m_browsers;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<QList<QByteArray>>();
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("address"), QStringLiteral("bus address"), QStringLiteral("address")});
    parser.addOption({QStringLiteral("names"), QStringLiteral("computers"), QStringLiteral("list")});
    parser.process(app);
    if (!parser.isSet(QStringLiteral("address"))) {
        std::fputs("usage: fake_avahi --address BUS --names LIST\n", stderr);
        return 2;
    }
    QMap<QString, QString> hosts;
    for (const QString& entry : parser.value(QStringLiteral("names")).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int eq = entry.indexOf(QLatin1Char('='));
        if (eq < 0)
            hosts.insert(entry, entry.toLower() + QStringLiteral(".local"));
        else
            hosts.insert(entry.left(eq), entry.mid(eq + 1));
    }
    QDBusConnection bus = QDBusConnection::connectToBus(parser.value(QStringLiteral("address")), QStringLiteral("bus"));
    Server server(bus, hosts);
    if (!bus.isConnected() || !bus.registerObject(QStringLiteral("/"), &server, QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.Avahi"))) {
        std::fprintf(stderr, "fake_avahi: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    return app.exec();
}

#include "fake_avahi.moc"
