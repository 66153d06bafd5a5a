// Reads and answers the options that both programs share.
#include "platform/program_options.h"

#include <cstdio>

ProgramOptions readProgramOptions(const QStringList& args, const QStringList& accepted, int operandCount) {
    ProgramOptions options;
    bool optionsEnded = false;
    for (const QString& arg : args) {
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            options.operands << arg;
        } else if (arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            // The first answer asked for wins, and a wrong word before it still makes the line wrong.
            if (options.ask == ProgramOptions::Ask::Run)
                options.ask = ProgramOptions::Ask::Help;
        } else if (arg == QLatin1String("--version")) {
            if (options.ask == ProgramOptions::Ask::Run)
                options.ask = ProgramOptions::Ask::Version;
        } else if (accepted.contains(arg)) {
            options.flags << arg;
        } else {
            options.ask = ProgramOptions::Ask::Wrong;
            return options;
        }
    }
    if (options.ask == ProgramOptions::Ask::Run && options.operands.size() != operandCount)
        options.ask = ProgramOptions::Ask::Wrong;
    return options;
}

int answerProgramOptions(const ProgramOptions& options, const char* program, const QString& usage) {
    switch (options.ask) {
    case ProgramOptions::Ask::Run:
        return -1;
    case ProgramOptions::Ask::Help:
        std::fputs(qPrintable(usage), stdout);
        return 0;
    case ProgramOptions::Ask::Version:
        std::printf("%s %s\n", program, HV_PROGRAM_VERSION);
        return 0;
    case ProgramOptions::Ask::Wrong:
        break;
    }
    std::fputs(qPrintable(usage), stderr);
    return 2;
}

QDate programBuildDate() {
    static const QDate date = QDate::fromString(QStringLiteral(HV_BUILD_DATE), Qt::ISODate);
    return date;
}
