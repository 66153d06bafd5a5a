// The command-line manners of both programs: --help and --version answer and end, an unknown option is refused.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

struct ProgramOptions {
    enum class Ask { Run, Help, Version, Wrong };
    Ask ask = Ask::Run;
    QStringList flags;    // the accepted flags given, in order
    QStringList operands; // everything that is not an option; "--" ends the options
};

// Reads the arguments after the program's name. `accepted` are the flags the program knows besides --help and
// --version; any other text beginning with "-", or a run with other than `operandCount` operands, makes the line
// wrong.
ProgramOptions readProgramOptions(const QStringList& args, const QStringList& accepted, int operandCount);

// Prints the answer to --help (the usage on standard output), --version, or a wrong line (the usage on standard
// error), and returns the exit status: 0, 0, 2. -1 when the program is to run.
int answerProgramOptions(const ProgramOptions& options, const char* program, const QString& usage);

// The day this program was built (SOURCE_DATE_EPOCH's when set): no right clock is older.
QDate programBuildDate();
