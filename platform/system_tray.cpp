// The tray icon on Linux, found and lost by signals: no timer looks for it.
#include "platform/system_tray.h"

#include "platform/events.h"
#include "platform/linux_platform.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <utility>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

namespace {
const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
// What the icon reports, as the tray callback's mouse message numbers.
constexpr std::pair<QSystemTrayIcon::ActivationReason, int> kMouseMessages[] = {{QSystemTrayIcon::Trigger, 514},
                                                                                {QSystemTrayIcon::DoubleClick, 515},
                                                                                {QSystemTrayIcon::Context, 517},
                                                                                {QSystemTrayIcon::MiddleClick, 519}};

xcb_atom_t internAtom(xcb_connection_t* c, const QByteArray& name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.constData()), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    free(reply);
    return atom;
}
} // namespace

struct SystemTray::X {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;
    xcb_atom_t tray = XCB_ATOM_NONE;    // _NET_SYSTEM_TRAY_Sn of this screen
    xcb_atom_t manager = XCB_ATOM_NONE; // the type of the message a new tray sends to the root window
    uint8_t xfixesEvent = 0;            // XFixes' first event number; 0 without XFixes
};

SystemTray::SystemTray() = default;

SystemTray::~SystemTray() {
    if (m_x && QAbstractEventDispatcher::instance())
        QAbstractEventDispatcher::instance()->removeNativeEventFilter(this);
}

bool SystemTray::add(const QIcon& icon, const QByteArray& tooltipField) {
    m_image = icon;
    m_tip = tooltipFieldText(tooltipField);
    m_wanted = true;
    if (!m_watching) {
        m_watching = true;
        watchXEmbed();
        watchStatusNotifier();
    }
    // The watcher's first answer decides whether the window starts hidden; a watcher that hangs costs this once.
    if (!m_shown && m_hostAsked)
        waitFor(
            this, &SystemTray::hostAnswered, [this] { return !m_hostAsked; }, kFirstAnswerMs);
    update();
    return m_shown;
}

void SystemTray::remove() {
    m_wanted = false;
    m_icon.reset();
    m_menu.reset();
    setShown(false);
}

void SystemTray::showMessage(const QString& title, const QString& text) {
    if (m_icon)
        m_icon->showMessage(title, text, QSystemTrayIcon::Warning);
}

void SystemTray::setToolTip(const QString& text) {
    m_tip = text;
    if (m_icon)
        m_icon->setToolTip(text);
}

void SystemTray::watchStatusNotifier() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    m_watcher = std::make_unique<QDBusServiceWatcher>(
        kWatcherService, bus, QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration);
    connect(m_watcher.get(), &QDBusServiceWatcher::serviceRegistered, this, &SystemTray::askWatcherForHost);
    connect(m_watcher.get(), &QDBusServiceWatcher::serviceUnregistered, this, &SystemTray::watcherGone);
    // Any sender: naming the service would make Qt ask the bus for its owner and wait for the answer.
    bus.connect(QString(), kWatcherPath, kWatcherService, QStringLiteral("StatusNotifierHostRegistered"), this,
                SLOT(askWatcherForHost()));
    bus.connect(QString(), kWatcherPath, kWatcherService, QStringLiteral("StatusNotifierHostUnregistered"), this,
                SLOT(askWatcherForHost()));
    askWatcherForHost();
}

void SystemTray::askWatcherForHost() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcherService, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kWatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    const quint64 question = ++m_hostQuestion;
    m_hostAsked = true;
    auto* call = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get, 5000), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, call, question] {
        call->deleteLater();
        if (question != m_hostQuestion)
            return; // a later question is on its way
        const QDBusMessage reply = call->reply();
        m_hostAsked = false;
        m_host = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
                 qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toBool();
        Q_EMIT hostAnswered();
        update();
    });
}

void SystemTray::watcherGone() {
    ++m_hostQuestion; // an answer still on its way came from the watcher that has gone
    m_hostAsked = false;
    m_host = false;
    Q_EMIT hostAnswered();
    update();
}

void SystemTray::watchXEmbed() {
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    auto x = std::make_unique<X>();
    x->connection = x11->connection();
    const QByteArray display = qgetenv("DISPLAY");
    const int dot = display.lastIndexOf('.');
    int screen = dot > display.lastIndexOf(':') ? display.mid(dot + 1).toInt() : 0;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(x->connection));
    for (; it.rem && screen > 0; --screen)
        xcb_screen_next(&it);
    if (!it.rem)
        return;
    x->root = it.data->root;
    x->tray = internAtom(x->connection, "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen));
    x->manager = internAtom(x->connection, "MANAGER");
    if (x->tray == XCB_ATOM_NONE)
        return;
    // A new tray announces itself to the root window's structure listeners; Qt's own mask is kept.
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(x->connection, xcb_get_window_attributes(x->connection, x->root), nullptr);
    const uint32_t mask = (attributes ? attributes->your_event_mask : 0) | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    free(attributes);
    xcb_change_window_attributes(x->connection, x->root, XCB_CW_EVENT_MASK, &mask);
    // XFixes tells when the selection's owner goes away (the tray ends or crashes) or changes.
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(x->connection, &xcb_xfixes_id);
    if (xfixes && xfixes->present) {
        free(xcb_xfixes_query_version_reply(x->connection, xcb_xfixes_query_version(x->connection, 5, 0), nullptr));
        x->xfixesEvent = xfixes->first_event;
        xcb_xfixes_select_selection_input(x->connection, x->root, x->tray,
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    }
    xcb_flush(x->connection);
    m_x = std::move(x);
    QAbstractEventDispatcher::instance()->installNativeEventFilter(this);
    readXEmbedOwner();
}

void SystemTray::readXEmbedOwner() {
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(m_x->connection, xcb_get_selection_owner(m_x->connection, m_x->tray), nullptr);
    m_xembedTray = owner && owner->owner != XCB_WINDOW_NONE;
    free(owner);
}

bool SystemTray::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) {
    Q_UNUSED(result);
    if (!m_x || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & 0x7f;
    bool changed = false;
    if (type == XCB_CLIENT_MESSAGE) {
        const auto* m = reinterpret_cast<const xcb_client_message_event_t*>(event);
        changed = m->type == m_x->manager && m->format == 32 && m->data.data32[1] == m_x->tray;
    } else if (m_x->xfixesEvent && type == m_x->xfixesEvent + XCB_XFIXES_SELECTION_NOTIFY) {
        changed = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event)->selection == m_x->tray;
    }
    if (changed) {
        readXEmbedOwner();
        // Outside Qt's event handling: the icon may be made or dropped there.
        QTimer::singleShot(0, this, &SystemTray::update);
    }
    return false; // Qt sees every event as before
}

void SystemTray::update() {
    if (!m_wanted)
        return;
    bool present = false;
    switch (m_road) {
    case Road::StatusNotifier:
        present = m_host;
        break;
    case Road::XEmbed:
        present = m_xembedTray;
        break;
    case Road::Unknown:
        // Until the watcher has answered, an X tray may be the proxy of a StatusNotifier host.
        if (m_hostAsked)
            return;
        present = m_host || m_xembedTray;
        // Qt takes the bus whenever a host is registered there.
        if (present)
            m_road = m_host ? Road::StatusNotifier : Road::XEmbed;
        break;
    }
    if (!present) {
        m_icon.reset();
        m_menu.reset();
        setShown(false);
        return;
    }
    if (!m_icon)
        makeIcon();
    setShown(true);
}

void SystemTray::makeIcon() {
    m_icon = std::make_unique<QSystemTrayIcon>();
    connect(m_icon.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        for (const auto& [reason, message] : kMouseMessages) {
            if (r == reason)
                Q_EMIT mouseMessage(message);
        }
    });
    // A StatusNotifier host (GNOME's AppIndicator extension) opens the item's menu on a right click and shows
    // nothing without one; an XEmbed tray reports the right click, which shows the window.
    if (m_road == Road::StatusNotifier) {
        m_menu = std::make_unique<QMenu>();
        const QList<QPair<QString, MenuEntry>> entries = {{QStringLiteral("Show Horavane"), MenuEntry::ShowWindow},
                                                          {QStringLiteral("SYNC NOW"), MenuEntry::SyncNow},
                                                          {QStringLiteral("END"), MenuEntry::End}};
        for (const auto& [text, entry] : entries) {
            connect(m_menu->addAction(text), &QAction::triggered, this, [this, entry = entry] {
                // After the menu's D-Bus call has been answered: SYNC NOW waits with events running.
                QTimer::singleShot(0, this, [this, entry] { Q_EMIT menuChosen(entry); });
            });
        }
        m_icon->setContextMenu(m_menu.get());
    }
    m_icon->setIcon(m_image);
    m_icon->setToolTip(m_tip);
    m_icon->show();
}

void SystemTray::setShown(bool shown) {
    if (shown == m_shown)
        return;
    m_shown = shown;
    Q_EMIT shownChanged(shown);
}
