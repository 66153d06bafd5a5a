// The platform for in-process tests.
#include "fake_platform.h"

#include "platform/events.h"

FakePlatform::FakePlatform(const QString& programFolder)
    : m_drive(DosPaths(m_dir.path(), programFolder)), m_now(QDate(2026, 12, 8), QTime(10, 0)) {
    m_drive.paths().ensureFolders();
}

std::unique_ptr<TrayIcon> FakePlatform::createTrayIcon() {
    auto icon = std::make_unique<FakeTray>();
    icon->available = trayAvailable;
    tray = icon.get();
    return icon;
}

bool FakePlatform::startProgram(const QString& commandLine, int windowStyle, bool userStarted) {
    started << qMakePair(commandLine, windowStyle);
    startedByUser << userStarted;
    if (commandRunMs >= 0) {
        ++running;
        QTimer::singleShot(commandRunMs, &m_timers, [this] {
            if (commandEnds)
                commandEnds();
            if (--running == 0) {
                for (QEventLoop* loop : m_waits)
                    loop->quit();
            }
        });
    }
    return true;
}

bool FakePlatform::waitForCommands(int timeoutMs) {
    waitLimits << timeoutMs;
    if (running == 0)
        return true;
    QEventLoop loop;
    m_waits << &loop;
    execFor(loop, timeoutMs);
    m_waits.removeOne(&loop);
    return running == 0;
}
