// The platform on Linux: the drive folder, timedated, QSystemTrayIcon, horavane-cmd and the desktop's panels.
#pragma once

#include "platform/clock_service.h"
#include "platform/platform.h"
#include "platform/started_commands.h"

#include <QLocalServer>
#include <QLockFile>
#include <memory>

class LinuxPlatform : public Platform {
public:
    explicit LinuxPlatform(DosPaths paths = DosPaths::fromEnvironment());
    ~LinuxPlatform() override;

    bool isAnotherCopyRunning() override;
    void askRunningCopyToShow() override;
    void listenForLaterStarts(std::function<void()> show) override;
    QDateTime now() const override;
    qint64 nowUsec() const override;
    qint32 tickCount() const override;
    const DriveC& drive() const override { return m_drive; }
    ClockService& clockService() override { return m_clock; }
    bool checkInternetConnection(const QString& url) override;
    bool startProgram(const QString& commandLine, int windowStyle, bool userStarted = false) override;
    bool commandRunning() const override { return m_commands.anyRunning(); }
    bool waitForCommands(int timeoutMs) override { return m_commands.waitAll(timeoutMs); }
    void messageBox(MessageIcon icon, const QString& title, const QString& text) override;
    QString inputBox(const QString& prompt, const QString& title, const QString& defaultAnswer) override;
    bool askYesNo(const QString& title, const QString& text) override;
    QDate buildDate() const override;
    std::unique_ptr<TrayIcon> createTrayIcon() override;
    std::unique_ptr<SystemEvents> createSystemEvents() override;
    void endProgram() override;

    // Names the program to the desktop: its name, and its installed desktop entry (horavane.desktop), by which
    // Wayland shells find its name and icon whatever the executable is called.
    static void nameApplication();
    static inline const QString kDesktopFileName = QStringLiteral("horavane");

    // Where horavane-cmd is: beside this executable, else on PATH.
    static QString commandInterpreter();
    // The interpreter's first argument when a person started the run.
    static inline const QString kUserStartedArgument = QStringLiteral("--user-started");

private:
    DriveC m_drive;
    TimedatedClockService m_clock;
    StartedCommands m_commands;
    // The lock and, beside it, the socket on which later starts ask for the window.
    QString m_instanceFolder;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_laterStarts;
};

// The tick count: milliseconds since boot from the monotonic clock, wrapped to signed 32 bits.
qint32 monotonicTickCount();
// The tooltip field as the icon shows it: up to its NUL, CR as a line break.
QString tooltipFieldText(const QByteArray& field);
