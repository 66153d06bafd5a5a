// The platform for in-process tests.
#include "fake_platform.h"

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
