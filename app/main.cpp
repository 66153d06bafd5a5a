// Starts Horavane: the main window loads, and the program runs from the tray.
#include "app/forms.h"
#include "app/main_window.h"
#include "platform/linux_platform.h"
#include "platform/program_options.h"

#include <QApplication>

namespace {
const QString kUsage = QStringLiteral("Usage: horavane [--help | --version]\n"
                                      "Keeps the PC's clock right from the notification area (tray).\n");

ProgramOptions readOptions(const QStringList& arguments) {
    return readProgramOptions(arguments.mid(1), {}, 0);
}
} // namespace

int main(int argc, char* argv[]) {
    // --help and --version need no display: answered before Qt connects to one.
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    const ProgramOptions early = readOptions(raw);
    if (early.ask == ProgramOptions::Ask::Help || early.ask == ProgramOptions::Ask::Version)
        return answerProgramOptions(early, "horavane", kUsage);

    QApplication app(argc, argv);
    // What is left once Qt has taken its own options (-platform, -display, ...).
    const int answer = answerProgramOptions(readOptions(QApplication::arguments()), "horavane", kUsage);
    if (answer >= 0)
        return answer;
    LinuxPlatform::nameApplication();
    QApplication::setQuitOnLastWindowClosed(false);
    LinuxPlatform platform;
    Forms forms(platform);
    if (!forms.tarnwick1().Form_Load())
        return 1;
    return QApplication::exec();
}
