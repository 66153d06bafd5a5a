// Reads one line of a command file into the command it names, its computer and its redirection target; a line
// that names anything else is refused here, so nothing outside the two builtins can ever run.
#pragma once

#include <QString>

struct CommandLine {
    enum class Kind {
        Empty,         // a blank line: nothing to do
        NetTime,       // net time \\host /set /yes
        NetView,       // net view
        NotRecognized, // any other command: its message is printed, nothing runs
        SyntaxError,   // one of the two commands, written wrongly: its message is printed, nothing runs
    };
    Kind kind = Kind::Empty;
    QString host;    // NetTime: the host name or IP literal after the two backslashes
    QString target;  // the redirection's DOS path, empty when the output goes to standard output
    QString message; // NotRecognized and SyntaxError: the text to print, CR LF line ends
};

namespace CommandLines {
// Longest host name accepted (the DNS limit).
constexpr int kMaxHostLength = 253;

CommandLine parse(const QString& line);
// True for a DNS host name (letters, digits, "-", "_", dots between labels) or an IPv4 or IPv6 literal.
bool isHostName(const QString& host);
// The lines of a command file: CR LF or LF end a line; a CR anywhere else stays in its line.
QStringList splitLines(const QByteArray& file);
} // namespace CommandLines
