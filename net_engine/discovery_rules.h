// The rules of network computer discovery without the window: the "net view" command line and which fields of
// the status file name a computer.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace Discovery {
// The one line of the command file for a discovery run.
inline const QString kCommandLine = QStringLiteral("net view > c:\\StatusTime.txt");
// A computer entry keeps at most this many characters of its field.
constexpr int kEntryLength = 23;

// The entry of a field that begins with two backslashes: its first 23 characters, trailing blanks included.
std::optional<QString> computerEntry(const QString& field);

// The entries of the status file's fields, in file order with repeats kept. A last field whose quote never
// closed ran over the rest of the file: it is never taken as a computer, so discovery ends with the entries
// read before it.
QStringList computers(const QStringList& fields, bool lastUnterminated);
} // namespace Discovery
