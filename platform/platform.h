// Everything the windows ask of the operating system, behind one interface that tests replace.
#pragma once

#include "platform/text_file.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class ClockService;
class QIcon;

// The notification-area icon. Mouse actions arrive as the mouse message numbers of the tray callback:
// 514 left click, 515 double-click, 517 context click, 519 middle click.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Adds the icon with the tooltip field (up to its NUL; CR is a line break). Without a tray the icon waits and
    // appears as soon as one does (a panel that starts after the program); true when it is shown at once.
    virtual bool add(const QIcon& icon, const QByteArray& tooltipField) = 0;
    virtual void remove() = 0;
    virtual bool isShown() const = 0;
    // A desktop notification from the icon.
    virtual void showMessage(const QString& title, const QString& text) = 0;
    // Replaces the field's text as the icon's tooltip: any length, '\n' a line break.
    virtual void setToolTip(const QString& text) = 0;

    // The entries of the icon's menu, where the tray shows one: the window, then what its buttons do.
    enum class MenuEntry { ShowWindow, SyncNow, End };

Q_SIGNALS:
    void mouseMessage(int message);
    void menuChosen(TrayIcon::MenuEntry entry);
    // The icon appeared in a tray, or went away with its tray.
    void shownChanged(bool shown);
};

// What the system tells of itself. Where it tells nothing (no logind, no NetworkManager), nothing is emitted.
class SystemEvents : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

Q_SIGNALS:
    // The machine has woken from sleep.
    void woken();
    // A network connection is up now (the local network at least), or none is.
    void networkReachable(bool reachable);
};

enum class MessageIcon { Error, Information };

class Platform {
public:
    virtual ~Platform() = default;

    // True when another copy of the program already runs for this user; the first caller holds the lock.
    virtual bool isAnotherCopyRunning() = 0;
    // A later start asks the copy that holds the lock to bring its window to the front; that copy, once it
    // listens, calls `show` for each such request. Asking when nobody listens does nothing.
    virtual void askRunningCopyToShow() = 0;
    virtual void listenForLaterStarts(std::function<void()> show) = 0;

    // "Now", local time, and the tick count (milliseconds since boot, signed 32-bit).
    virtual QDateTime now() const = 0;
    virtual qint32 tickCount() const = 0;
    // The same "now" in microseconds since 1970 (UTC), for the roads that measure below the millisecond.
    virtual qint64 nowUsec() const { return now().toMSecsSinceEpoch() * 1000; }

    // Files by DOS path on the drive folder; the program folder as the system reports it.
    virtual const DriveC& drive() const = 0;
    QString programFolder() const { return drive().paths().programFolder(); }

    virtual ClockService& clockService() = 0;

    // A TCP connection to the check URL's host and port, at most 3 s; true when it connects.
    virtual bool checkInternetConnection(const QString& url) = 0;

    // Starts a command line without waiting: "c:\gTime.bat" (style 6) runs the command interpreter on that file;
    // the date and time panel's line (style 1) opens the desktop's settings. False when nothing was started.
    // userStarted tells the command interpreter that a person started the run, so it may be asked for a password.
    virtual bool startProgram(const QString& commandLine, int windowStyle, bool userStarted = false) = 0;
    // Whether a command file started above still runs; and a wait, events running, until none does or the time
    // is up (false then).
    virtual bool commandRunning() const = 0;
    virtual bool waitForCommands(int timeoutMs) = 0;

    // The two message boxes and the text prompt; the prompt returns the empty text when cancelled.
    virtual void messageBox(MessageIcon icon, const QString& title, const QString& text) = 0;
    virtual QString inputBox(const QString& prompt, const QString& title, const QString& defaultAnswer) = 0;
    // The clock questions (automatic time synchronization on, a large step): true for yes.
    virtual bool askYesNo(const QString& title, const QString& text) = 0;
    // The day this program was built: no server time before it is applied.
    virtual QDate buildDate() const = 0;

    virtual std::unique_ptr<TrayIcon> createTrayIcon() = 0;
    virtual std::unique_ptr<SystemEvents> createSystemEvents() = 0;

    // Ends the program at once (END): no window's unload handler runs.
    virtual void endProgram() = 0;
};
