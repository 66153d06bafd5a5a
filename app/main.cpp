// Starts Horavane: the main window loads, and the program runs from the tray.
#include "app/forms.h"
#include "app/main_window.h"
#include "platform/linux_platform.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Horavane"));
    QApplication::setQuitOnLastWindowClosed(false);
    LinuxPlatform platform;
    Forms forms(platform);
    if (!forms.tarnwick1().Form_Load())
        return 1;
    return QApplication::exec();
}
