// horavane-cmd: the command interpreter that runs the program's command file, with "net time" and "net view" as
// its only commands and no shell.
#include "platform/clock_service.h"
#include "platform/cmd/interpreter.h"
#include "platform/text_file.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fputs("usage: horavane-cmd COMMAND-FILE\n", stderr);
        return 2;
    }
    const DriveC drive(DosPaths::fromEnvironment());
    TimedatedClockService clock;
    Interpreter interpreter(drive, clock);
    return interpreter.runFile(args.at(1)) ? 0 : 1;
}
