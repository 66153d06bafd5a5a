// Browsing for workstation and file-sharing services through Avahi's D-Bus interface.
#include "platform/cmd/net_view.h"

#include "platform/cmd/command_line.h"
#include "platform/events.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>

namespace NetView {
namespace {
const QString kAvahi = QStringLiteral("org.freedesktop.Avahi");
const QString kServer = QStringLiteral("org.freedesktop.Avahi.Server");
const QString kBrowser = QStringLiteral("org.freedesktop.Avahi.ServiceBrowser");
constexpr int kAnyInterface = -1;
constexpr int kAnyProtocol = -1;
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

Q_SIGNALS:
    void changed();

public Q_SLOTS:
    void itemNew(const QDBusMessage& m) {
        const QVariantList a = m.arguments();
        if (a.size() < 5)
            return;
        items << Item{m.path(), a[0].toInt(), a[1].toInt(), a[2].toString(), a[3].toString(), a[4].toString()};
    }
    void allForNow(const QDBusMessage& m) {
        finished << m.path();
        Q_EMIT changed();
    }
};

void waitForBrowsers(Listener& listener, const QSet<QString>& browsers, int ms) {
    waitFor(
        &listener, &Listener::changed, [&] { return listener.finished.contains(browsers); }, ms);
}

QString hostFromResolve(const QDBusMessage& reply) {
    const QVariantList a = reply.arguments();
    return reply.type() == QDBusMessage::ReplyMessage && a.size() > 5 ? a[5].toString() : QString();
}
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

QString nameFromService(const QString& serviceName) {
    QString name = serviceName;
    name.remove(QRegularExpression(QStringLiteral("\\s*\\[[0-9A-Fa-f:]*\\]\\s*$")));
    name = name.trimmed() + QStringLiteral(".local");
    return CommandLines::isHostName(name) ? name : QString();
}

bool browse(QList<Computer>* computers, QString* why) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        *why = QStringLiteral("The system bus is not available.");
        return false;
    }
    // Listen before the browsers exist: their first signals may come before the call that makes them returns.
    Listener listener;
    bus.connect(kAvahi, QString(), kBrowser, QStringLiteral("ItemNew"), &listener, SLOT(itemNew(QDBusMessage)));
    bus.connect(kAvahi, QString(), kBrowser, QStringLiteral("AllForNow"), &listener, SLOT(allForNow(QDBusMessage)));
    bus.connect(kAvahi, QString(), kBrowser, QStringLiteral("Failed"), &listener, SLOT(allForNow(QDBusMessage)));

    QElapsedTimer elapsed;
    elapsed.start();
    QSet<QString> browsers;
    for (const QString& type : kServiceTypes) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kAvahi, QStringLiteral("/"), kServer, QStringLiteral("ServiceBrowserNew"));
        call << kAnyInterface << kAnyProtocol << type << QString() << 0u;
        const QDBusMessage reply = bus.call(call, QDBus::Block, kBrowseMs);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            *why = QStringLiteral("Avahi cannot be asked: ") + reply.errorMessage();
            return false;
        }
        browsers << reply.arguments().first().value<QDBusObjectPath>().path();
    }
    const int left = kBrowseMs - static_cast<int>(elapsed.elapsed());
    if (left > 0)
        waitForBrowsers(listener, browsers, left);

    QList<Computer> found;
    QSet<QString> seen;
    QList<QPair<Item, QDBusPendingCall>> resolving;
    for (const Item& item : listener.items) {
        if (!browsers.contains(item.browserPath))
            continue;
        QDBusMessage call =
            QDBusMessage::createMethodCall(kAvahi, QStringLiteral("/"), kServer, QStringLiteral("ResolveService"));
        call << item.interfaceIndex << item.protocol << item.name << item.type << item.domain << kAnyProtocol << 0u;
        resolving << qMakePair(item, bus.asyncCall(call, kResolveMs));
    }
    for (auto& [item, pending] : resolving) {
        pending.waitForFinished(); // each bounded by its own time limit
        QString host = hostFromResolve(pending.reply());
        if (!CommandLines::isHostName(host))
            host = nameFromService(item.name);
        if (host.isEmpty() || seen.contains(host.toLower()))
            continue;
        seen << host.toLower();
        found << Computer{host, item.name};
    }
    for (const QString& path : std::as_const(browsers))
        bus.call(QDBusMessage::createMethodCall(kAvahi, path, kBrowser, QStringLiteral("Free")), QDBus::NoBlock);
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
