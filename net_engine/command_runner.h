// The command file and the status file that carry "net time" and "net view" to the command interpreter, and the
// texts the worker window builds from them.
#pragma once

#include <QString>
#include <QStringList>

class DriveC;

namespace CommandRunner {
// The command file as it is written and as it is started; the status file as the command lines name it and as
// it is read. The drive's names are not case-sensitive, so each pair names one file.
inline const QString kCommandFile = QStringLiteral("C:\\gTime.bat");
inline const QString kCommandFileToStart = QStringLiteral("c:\\gTime.bat");
inline const QString kStatusFileInLine = QStringLiteral("c:\\StatusTime.txt");
inline const QString kStatusFile = QStringLiteral("C:\\StatusTime.txt");
// Window style of the start: minimized, not activated.
constexpr int kMinimizedNoFocus = 6;

// "net time " + name + " /set /yes >c:\StatusTime.txt"; the name goes in verbatim, neither trimmed nor quoted.
QString timeCommandLine(const QString& serverName);

// The longest name a time run takes, backslashes and trailing blanks aside: as long as a host name can be.
constexpr int kMaxNameLength = 255;
// Why the name cannot go into the command file, or nothing when it can: a line break or any other control
// character would make the file more than one line, a direction control would show the line other than it runs,
// and no computer has a name longer than a host name can be. The reason names the character.
QString nameProblem(const QString& serverName);

// Removes the status file, so a run never shows an earlier run's output; empties it when it cannot be removed.
// False when earlier output may still stand in it.
bool clearStatusFile(const DriveC& drive);

// Replaces the command file with the one line and CR LF; false (and why) when it could not be written.
bool writeCommandFile(const DriveC& drive, const QString& commandLine, QString* error = nullptr);

// Each field preceded by the separator: CR for the refresh box, CR LF for the result step.
QString joinFields(const QStringList& fields, const QString& separator);

// The last maxChars characters of text, so an output box cannot grow without bound.
QString keepTail(const QString& text, int maxChars);
} // namespace CommandRunner
