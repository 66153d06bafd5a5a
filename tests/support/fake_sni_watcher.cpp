// A stand-in for a desktop's StatusNotifierWatcher (KDE Plasma, GNOME's AppIndicator extension) on a private
// session bus: owns org.kde.StatusNotifierWatcher with a host registered, and appends the service of every item
// that registers to the record file, one a line. As a host's menu does, it reads the last item's menu and clicks
// its entries through com.canonical.dbusmenu, for the test that calls its two extra methods:
//   MenuLabels() -> as        the labels of the menu's entries, in order
//   ClickMenu(s label)        the "clicked" event on the entry with that label; false when there is none
// and, as a host that ends and starts again (a shell's extension switched off and on), SetHost(b).
//   fake_sni_watcher --address BUS --record FILE
// Prints "ready" once the name is owned.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QPair>
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
    bool hostRegistered() const { return m_host; }
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

    void SetHost(bool registered) {
        m_host = registered;
        if (registered)
            Q_EMIT StatusNotifierHostRegistered();
        else
            Q_EMIT StatusNotifierHostUnregistered();
    }

    QStringList MenuLabels() {
        QStringList labels;
        for (const auto& entry : menuEntries())
            labels << entry.second;
        return labels;
    }
    bool ClickMenu(const QString& label) {
        for (const auto& entry : menuEntries()) {
            if (entry.second != label)
                continue;
            QDBusMessage event = QDBusMessage::createMethodCall(
                m_menuService, m_menuPath, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("Event"));
            event << entry.first << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(0))
                  << static_cast<uint>(QDateTime::currentSecsSinceEpoch());
            return connection().call(event, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
        }
        return false;
    }

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();

private:
    // The last item's menu, found through its Menu property: each entry's id and label, children in order.
    QList<QPair<int, QString>> menuEntries() {
        QList<QPair<int, QString>> entries;
        if (m_items.isEmpty())
            return entries;
        const QString item = m_items.last();
        const int slash = item.indexOf(QLatin1Char('/'));
        m_menuService = slash < 0 ? item : item.left(slash);
        const QString itemPath = slash < 0 ? QStringLiteral("/StatusNotifierItem") : item.mid(slash);
        QDBusMessage get = QDBusMessage::createMethodCall(
            m_menuService, itemPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("Menu");
        const QDBusMessage menu = connection().call(get, QDBus::Block, 10000);
        if (menu.type() != QDBusMessage::ReplyMessage || menu.arguments().isEmpty())
            return entries;
        m_menuPath =
            qvariant_cast<QDBusObjectPath>(qvariant_cast<QDBusVariant>(menu.arguments().constFirst()).variant()).path();
        QDBusMessage layout = QDBusMessage::createMethodCall(
            m_menuService, m_menuPath, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetLayout"));
        layout << 0 << -1 << QStringList{QStringLiteral("label")};
        const QDBusMessage reply = connection().call(layout, QDBus::Block, 10000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
            return entries;
        readLayout(qvariant_cast<QDBusArgument>(reply.arguments().at(1)), entries);
        return entries;
    }
    // A layout node is (id, properties, children as variants of nodes).
    static void readLayout(const QDBusArgument& node, QList<QPair<int, QString>>& entries) {
        int id = 0;
        QVariantMap properties;
        node.beginStructure();
        node >> id >> properties;
        if (properties.contains(QStringLiteral("label")))
            entries << qMakePair(id, properties.value(QStringLiteral("label")).toString());
        node.beginArray();
        while (!node.atEnd()) {
            QDBusVariant child;
            node >> child;
            readLayout(qvariant_cast<QDBusArgument>(child.variant()), entries);
        }
        node.endArray();
        node.endStructure();
    }

    bool m_host = true;
    QString m_menuService;
    QString m_menuPath;
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
