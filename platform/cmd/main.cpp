// horavane-cmd: the command interpreter that runs the program's command file, with "net time" and "net view" as
// its only commands and no shell.
#include "platform/clock_service.h"
#include "platform/cmd/interpreter.h"
#include "platform/text_file.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    // The program says so when a person started the run; a timer's run never asks anyone anything.
    const bool userStarted = args.size() == 3 && args.at(1) == QLatin1String("--user-started");
    if (userStarted)
        args.removeAt(1);
    if (args.size() != 2) {
        std::fputs("usage: horavane-cmd [--user-started] COMMAND-FILE\n", stderr);
        return 2;
    }
    const DriveC drive(DosPaths::fromEnvironment());
    TimedatedClockService clock;
    Interpreter interpreter(drive, clock, userStarted);
    return interpreter.runFile(args.at(1)) ? 0 : 1;
}
