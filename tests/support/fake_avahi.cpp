// A stand-in for the Avahi daemon on a private bus, with just enough of its interface for "net view" and "net time":
// service browsers that announce the given computers and then say AllForNow, ResolveService for their host names
// and addresses, and ResolveHostName for those host names.
//   fake_avahi --address BUS --names "PC1,Office Laptop=laptop.local" [--names-file FILE]
// A name alone resolves to its lower-case form + ".local"; "service=host" resolves to host. Each line of the names
// file is "SERVICE<TAB>HOST<TAB>ADDRESS", the service and host percent-encoded so that they may hold any character
// (commas, quotes, line breaks). The address is 127.0.0.1 unless given. Every computer is announced as a
// workstation ("NAME [00:11:22:33:44:55]") and as a file server ("NAME"). Prints "ready".
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
const QString kBrowserInterface = QStringLiteral("org.freedesktop.Avahi.ServiceBrowser");
const QString kMacSuffix = QStringLiteral(" [00:11:22:33:44:55]");
const QString kTimeout = QStringLiteral("org.freedesktop.Avahi.TimeoutError");

struct Host {
    QString name;
    QString address;
};
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
    Server(QDBusConnection bus, QMap<QString, Host> hosts) : m_bus(std::move(bus)), m_hosts(std::move(hosts)) {
        for (const Host& h : std::as_const(m_hosts))
            m_addresses.insert(h.name.toLower(), h.address);
    }

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
        announce(path, type, d, m_hosts.cbegin(), 20);
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
            sendErrorReply(kTimeout, QStringLiteral("Timeout reached"));
            return;
        }
        setDelayedReply(true);
        QDBusMessage reply = message().createReply();
        reply << interfaceIndex << protocol << name << type << domain << it->name << 0 << it->address
              << QVariant::fromValue(ushort(445)) << QVariant::fromValue(QList<QByteArray>()) << 4u;
        m_bus.send(reply);
    }

    void ResolveHostName(int interfaceIndex, int protocol, const QString& name, int aprotocol, uint flags) {
        Q_UNUSED(aprotocol);
        Q_UNUSED(flags);
        const auto it = m_addresses.constFind(name.toLower());
        if (it == m_addresses.cend()) {
            sendErrorReply(kTimeout, QStringLiteral("Timeout reached"));
            return;
        }
        setDelayedReply(true);
        QDBusMessage reply = message().createReply();
        reply << (interfaceIndex < 0 ? 2 : interfaceIndex) << (protocol < 0 ? 0 : protocol) << name << 0 << it.value()
              << 4u;
        m_bus.send(reply);
    }

private:
    // Announced after the reply, as the daemon does (the client listens before it asks), a few hundred at a
    // time so that calls are answered meanwhile.
    void announce(const QString& path, const QString& type, const QString& domain,
                  QMap<QString, Host>::const_iterator from, int afterMs) {
        QTimer::singleShot(afterMs, this, [this, path, type, domain, from] {
            auto it = from;
            for (int n = 0; n < 200 && it != m_hosts.cend(); ++n, ++it) {
                const QString name = type == QLatin1String("_workstation._tcp") ? it.key() + kMacSuffix : it.key();
                QDBusMessage item = QDBusMessage::createSignal(path, kBrowserInterface, QStringLiteral("ItemNew"));
                item << 2 << 0 << name << type << domain << 4u;
                m_bus.send(item);
            }
            if (it != m_hosts.cend())
                announce(path, type, domain, it, 0);
            else
                m_bus.send(QDBusMessage::createSignal(path, kBrowserInterface, QStringLiteral("AllForNow")));
        });
    }

    QDBusConnection m_bus;
    QMap<QString, Host> m_hosts;
    QHash<QString, QString> m_addresses; // by lower-case host name
    std::vector<std::unique_ptr<Browser>> m_browsers;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<QList<QByteArray>>();
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("address"), QStringLiteral("bus address"), QStringLiteral("address")});
    parser.addOption({QStringLiteral("names"), QStringLiteral("computers"), QStringLiteral("list")});
    parser.addOption({QStringLiteral("names-file"), QStringLiteral("computers, one a line"), QStringLiteral("file")});
    parser.process(app);
    if (!parser.isSet(QStringLiteral("address"))) {
        std::fputs("usage: fake_avahi --address BUS --names LIST\n", stderr);
        return 2;
    }
    const QString loopback = QStringLiteral("127.0.0.1");
    QMap<QString, Host> hosts;
    for (const QString& entry : parser.value(QStringLiteral("names")).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int eq = entry.indexOf(QLatin1Char('='));
        if (eq < 0)
            hosts.insert(entry, {entry.toLower() + QStringLiteral(".local"), loopback});
        else
            hosts.insert(entry.left(eq), {entry.mid(eq + 1), loopback});
    }
    if (parser.isSet(QStringLiteral("names-file"))) {
        QFile file(parser.value(QStringLiteral("names-file")));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fputs("fake_avahi: cannot read the names file\n", stderr);
            return 2;
        }
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> f = line.split('\t');
            if (f.size() < 2)
                continue;
            hosts.insert(QString::fromUtf8(QByteArray::fromPercentEncoding(f[0])),
                         {QString::fromUtf8(QByteArray::fromPercentEncoding(f[1])),
                          f.size() > 2 ? QString::fromUtf8(f[2].trimmed()) : loopback});
        }
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
