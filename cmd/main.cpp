// horavane-cmd: the command interpreter that runs the program's command file, with "net time" and "net view" as
// its only commands and no shell.
#include "cmd/interpreter.h"
#include "platform/clock_service.h"
#include "platform/program_options.h"
#include "platform/text_file.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    static const QString kUserStarted = QStringLiteral("--user-started");
    const ProgramOptions options = readProgramOptions(QCoreApplication::arguments().mid(1), {kUserStarted}, 1);
    const int answer = answerProgramOptions(
        options, "horavane-cmd",
        QStringLiteral("Usage: horavane-cmd [--user-started] COMMAND-FILE\n"
                       "       horavane-cmd --help | --version\n"
                       "Runs Horavane's command file: \"net time\" and \"net view\" lines, without a shell.\n"));
    if (answer >= 0)
        return answer;
    // The program says so when a person started the run; a timer's run never asks anyone anything.
    const bool userStarted = options.flags.contains(kUserStarted);
    const DriveC drive(DosPaths::fromEnvironment());
    TimedatedClockService clock;
    Interpreter interpreter(drive, clock, userStarted);
    return interpreter.runFile(options.operands.constFirst()) ? 0 : 1;
}
