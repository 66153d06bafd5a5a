// The hosts remembered as offering NTS, kept across starts in a small file of the program folder, as browsers
// keep HSTS: such a host is never synchronized without NTS again. The file can only add hosts; nothing in it
// can take NTS away from one.
#pragma once

#include <QSet>
#include <QString>

class DriveC;

namespace NtsMemory {
// The program folder, "\", then "NtsHosts.txt"; one quoted record per host.
QString path(const QString& programFolder);
// A host as it is kept and looked up: trimmed, lower case, without a trailing dot; empty when it is no host name.
QString key(const QString& host);
// The remembered hosts. A missing, damaged or hostile file (huge, not a file, records that are no host names)
// gives what can be read of it, never more than the first kMostHosts names.
QSet<QString> read(const DriveC& drive, const QString& programFolder);
constexpr int kMostHosts = 1000;
// Adds `host` and writes the file whole, atomically; false with the reason when it cannot be written.
bool remember(const DriveC& drive, const QString& programFolder, const QString& host, QString* error = nullptr);
} // namespace NtsMemory
