// Browsing for workstation and file-sharing services through Avahi's D-Bus interface.
#include "cmd/net_view.h"

#include "cmd/avahi.h"
#include "cmd/command_line.h"
#include "platform/events.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>
#include <algorithm>

namespace NetView {
namespace {
using Avahi::kAnyInterface;
using Avahi::kAnyProtocol;
const QStringList kServiceTypes = {QStringLiteral("_workstation._tcp"), QStringLiteral("_smb._tcp")};

struct Item {
    QString browserPath;
    int interfaceIndex = kAnyInterface;
    int protocol = kAnyProtocol;
    QString name;
    QString type;
    QString domain;
};

// Collects the browsers' signals. Qt's D-Bus signal connections take slot names, so this one class uses them.
class Listener : public QObject {
    Q_OBJECT
public:
    QList<Item> items;
    QSet<QString> finished; // browsers that said AllForNow or Failed
    QList<Computer> resolved;
    int inFlight = 0;

Q_SIGNALS:
    void changed();

public Q_SLOTS:
    void itemNew(const QDBusMessage& m) {
        const QVariantList a = m.arguments();
        if (a.size() < 5 || items.size() >= kMaxServices)
            return;
        items << Item{m.path(), a[0].toInt(), a[1].toInt(), a[2].toString(), a[3].toString(), a[4].toString()};
        Q_EMIT changed();
    }
    void allForNow(const QDBusMessage& m) {
        finished << m.path();
        Q_EMIT changed();
    }
    // ResolveService's reply: interface, protocol, name, type, domain, host, aprotocol, address, port, txt, flags.
    void resolvedService(const QDBusMessage& m) {
        const QVariantList a = m.arguments();
        if (a.size() > 7)
            resolved << computerFromResolve(a[5].toString(), a[7].toString());
        --inFlight;
        Q_EMIT changed();
    }
    void resolveFailed(const QDBusError&) {
        --inFlight;
        Q_EMIT changed();
    }
};

// Resolves the services of the given browsers as they are announced, a window of them at a time: a service
// seen on several interfaces or protocols is asked once. Workstations go first: a computer usually announces its
// file service too, which then adds nothing, so when time is short it is the file services that are left.
class Resolver {
public:
    Resolver(QDBusConnection& bus, Listener& listener, const QSet<QString>& browsers)
        : m_bus(bus), m_listener(listener), m_browsers(browsers) {
        m_more = QObject::connect(&listener, &Listener::changed, &listener, [this] { askMore(); });
        askMore();
    }
    ~Resolver() { QObject::disconnect(m_more); }
    Resolver(const Resolver&) = delete;
    Resolver& operator=(const Resolver&) = delete;

    bool done() const {
        return m_listener.inFlight == 0 && m_nextWorkstation >= m_listener.items.size() &&
               m_nextOther >= m_listener.items.size();
    }

private:
    // The next item of the workstation type (or of any other), from *next on; false when there is none yet.
    bool take(qsizetype* next, bool workstation, Item* item) {
        while (*next < m_listener.items.size()) {
            const Item& candidate = m_listener.items[(*next)++];
            if ((candidate.type == kServiceTypes.first()) == workstation) {
                *item = candidate;
                return true;
            }
        }
        return false;
    }

    void askMore() {
        Item item;
        while (m_listener.inFlight < kResolvesInFlight &&
               (take(&m_nextWorkstation, true, &item) || take(&m_nextOther, false, &item))) {
            const QString identity = item.name + QLatin1Char('\n') + item.type + QLatin1Char('\n') + item.domain;
            if (!m_browsers.contains(item.browserPath) || m_asked.contains(identity))
                continue;
            m_asked << identity;
            QDBusMessage call = QDBusMessage::createMethodCall(Avahi::kService, QStringLiteral("/"), Avahi::kServer,
                                                               QStringLiteral("ResolveService"));
            call << item.interfaceIndex << item.protocol << item.name << item.type << item.domain << Avahi::kIPv4 << 0u;
            if (m_bus.callWithCallback(call, &m_listener, SLOT(resolvedService(QDBusMessage)),
                                       SLOT(resolveFailed(QDBusError)), kResolveMs))
                ++m_listener.inFlight;
        }
    }

    QDBusConnection& m_bus;
    Listener& m_listener;
    const QSet<QString>& m_browsers;
    QSet<QString> m_asked;
    qsizetype m_nextWorkstation = 0;
    qsizetype m_nextOther = 0;
    QMetaObject::Connection m_more;
};
} // namespace

QString format(const QList<Computer>& computers) {
    QString out = QStringLiteral("Server Name            Remark\r\n\r\n") + QString(79, QLatin1Char('-')) +
                  QStringLiteral("\r\n");
    if (computers.isEmpty())
        return out + QStringLiteral("There are no entries in the list.\r\n\r\n");
    for (const Computer& c : computers) {
        QString remark = c.remark;
        remark.replace(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f]")), QStringLiteral(" "));
        out += (QStringLiteral("\\\\") + c.name).leftJustified(22) + QLatin1Char(' ') + remark + QStringLiteral("\r\n");
    }
    return out + QStringLiteral("The command completed successfully.\r\n\r\n");
}

QString unavailable(const QString& why) {
    return QStringLiteral("System error 6118 has occurred.\r\n\r\n"
                          "The list of servers for this workgroup is not currently available.\r\n") +
           why + QStringLiteral("\r\n\r\n");
}

Computer computerFromResolve(const QString& host, const QString& address) {
    if (!CommandLines::isHostName(host))
        return {};
    constexpr int kLongestName = 23 - 2; // the entry holds "\\" and the name
    const QString local = QStringLiteral(".local");
    if (host.endsWith(local, Qt::CaseInsensitive)) {
        const QString shortName = host.chopped(local.size());
        // A label of digits alone would be read back as an address literal ("2130706433" is 127.0.0.1).
        if (!shortName.contains(QLatin1Char('.')) && shortName.size() <= kLongestName &&
            QHostAddress(shortName).isNull())
            return {shortName, host};
    }
    if (host.size() <= kLongestName)
        return {host, host};
    const QHostAddress ip(address);
    if (ip.protocol() == QAbstractSocket::IPv4Protocol)
        return {ip.toString(), host};
    return {};
}

bool browse(QList<Computer>* computers, QString* why) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        *why = QStringLiteral("The system bus is not available.");
        return false;
    }
    // Listen before the browsers exist: their first signals may come before the call that makes them returns.
    Listener listener;
    bus.connect(Avahi::kService, QString(), Avahi::kServiceBrowser, QStringLiteral("ItemNew"), &listener,
                SLOT(itemNew(QDBusMessage)));
    bus.connect(Avahi::kService, QString(), Avahi::kServiceBrowser, QStringLiteral("AllForNow"), &listener,
                SLOT(allForNow(QDBusMessage)));
    bus.connect(Avahi::kService, QString(), Avahi::kServiceBrowser, QStringLiteral("Failed"), &listener,
                SLOT(allForNow(QDBusMessage)));

    QElapsedTimer elapsed;
    elapsed.start();
    QSet<QString> browsers;
    for (const QString& type : kServiceTypes) {
        QDBusMessage call = QDBusMessage::createMethodCall(Avahi::kService, QStringLiteral("/"), Avahi::kServer,
                                                           QStringLiteral("ServiceBrowserNew"));
        call << kAnyInterface << kAnyProtocol << type << QString() << 0u;
        // Both browsers share the browse's time, so a daemon that answers slowly cannot stretch the command.
        const int left = std::max(kBrowseMs - static_cast<int>(elapsed.elapsed()), 100);
        const QDBusMessage reply = bus.call(call, QDBus::Block, left);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            *why = QStringLiteral("Avahi cannot be asked: ") + reply.errorMessage();
            return false;
        }
        browsers << reply.arguments().first().value<QDBusObjectPath>().path();
    }
    // Resolving starts with the first announcement and goes on past the browse for a bounded time.
    Resolver resolver(bus, listener, browsers);
    const int left = kBrowseMs - static_cast<int>(elapsed.elapsed());
    if (left > 0)
        waitFor(
            &listener, &Listener::changed, [&] { return listener.finished.contains(browsers); }, left);
    waitFor(
        &listener, &Listener::changed, [&] { return resolver.done(); }, kAllResolvesMs);
    QList<Computer> found;
    QSet<QString> seen;
    for (const Computer& c : std::as_const(listener.resolved)) {
        if (c.name.isEmpty() || seen.contains(c.name.toLower()))
            continue;
        seen << c.name.toLower();
        found << c;
    }
    for (const QString& path : std::as_const(browsers))
        bus.call(QDBusMessage::createMethodCall(Avahi::kService, path, Avahi::kServiceBrowser, QStringLiteral("Free")),
                 QDBus::NoBlock);
    std::sort(found.begin(), found.end(),
              [](const Computer& a, const Computer& b) { return a.name.compare(b.name, Qt::CaseInsensitive) < 0; });
    *computers = found;
    return true;
}

QString run() {
    QList<Computer> computers;
    QString why;
    if (!browse(&computers, &why))
        return unavailable(why);
    return format(computers);
}
} // namespace NetView

#include "net_view.moc"
