// The tray icon on Linux: QSystemTrayIcon, made once a tray is there, and found and lost by the tray's own signals.
#pragma once

#include "platform/platform.h"

#include <QAbstractNativeEventFilter>
#include <QIcon>
#include <memory>

class QDBusServiceWatcher;
class QMenu;
class QSystemTrayIcon;

// Qt picks its road (a StatusNotifierItem on the session bus, or an XEmbed icon) when its first tray icon is made
// and never again, so an icon made before the panel starts would never reach it. So the icon is made when a tray
// appears and dropped when it goes: a StatusNotifierWatcher with a host (its name on the bus, its host signals),
// or an X window that takes the system tray selection (the MANAGER message, XFixes selection notify).
class SystemTray : public TrayIcon, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    SystemTray();
    ~SystemTray() override;
    bool add(const QIcon& icon, const QByteArray& tooltipField) override;
    void remove() override;
    bool isShown() const override { return m_shown; }
    void showMessage(const QString& title, const QString& text) override;
    void setToolTip(const QString& text) override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // How long the start waits for the StatusNotifierWatcher's first answer, so the window starts hidden.
    static constexpr int kFirstAnswerMs = 1000;

Q_SIGNALS:
    void hostAnswered();

private Q_SLOTS:
    // Asks the watcher, without waiting, whether a host is registered.
    void askWatcherForHost();
    void watcherGone();

private:
    enum class Road { Unknown, StatusNotifier, XEmbed };
    void watchStatusNotifier();
    void watchXEmbed();
    void readXEmbedOwner();
    // Makes or drops the icon as the trays now are.
    void update();
    void makeIcon();
    void setShown(bool shown);

    std::unique_ptr<QMenu> m_menu; // outlives the icon that shows it
    std::unique_ptr<QSystemTrayIcon> m_icon;
    std::unique_ptr<QDBusServiceWatcher> m_watcher;
    QIcon m_image;
    QString m_tip;
    Road m_road = Road::Unknown;
    bool m_watching = false;
    bool m_wanted = false;
    bool m_shown = false;
    bool m_host = false;        // a StatusNotifierWatcher with a registered host
    bool m_hostAsked = false;   // its answer is on its way
    quint64 m_hostQuestion = 0; // the latest question: an older answer is dropped
    bool m_xembedTray = false;  // a window owns this screen's system tray selection
    struct X;
    std::unique_ptr<X> m_x;
};
