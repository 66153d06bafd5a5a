// The file of hosts that offer NTS.
#include "time_protocol/nts_memory.h"

#include "platform/text_file.h"

#include <QStringList>
#include <algorithm>

namespace NtsMemory {
namespace {
// Far beyond kMostHosts names, so a huge file costs no more than a small one.
constexpr qint64 kMostBytesRead = 512 * 1024;
constexpr int kMostNameLength = 253;

bool isHostName(const QString& name) {
    if (name.isEmpty() || name.size() > kMostNameLength)
        return false;
    return std::all_of(name.begin(), name.end(), [](QChar c) {
        return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
               c == QLatin1Char('.') || c == QLatin1Char('-') || c == QLatin1Char('_') || c == QLatin1Char(':');
    });
}
} // namespace

QString path(const QString& programFolder) {
    return programFolder + QStringLiteral("\\NtsHosts.txt");
}

QString key(const QString& host) {
    QString name = host.trimmed().toLower();
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    return isHostName(name) ? name : QString();
}

QSet<QString> read(const DriveC& drive, const QString& programFolder) {
    const QString file = path(programFolder);
    // Only a plain file is opened: a FIFO put in its place would block the read.
    if (!drive.size(file))
        return {};
    bool cut = false;
    QStringList fields = drive.readFields(file, kMostHosts, &cut, kMostBytesRead).value_or(QStringList());
    // A record whose quote never closes is damage, not a name: it may be the start of another one.
    if (cut && !fields.isEmpty())
        fields.removeLast();
    QSet<QString> hosts;
    for (const QString& field : qAsConst(fields)) {
        const QString host = key(field);
        if (!host.isEmpty())
            hosts.insert(host);
    }
    return hosts;
}

bool remember(const DriveC& drive, const QString& programFolder, const QString& host, QString* error) {
    QSet<QString> hosts = read(drive, programFolder);
    const QString name = key(host);
    if (name.isEmpty() || hosts.contains(name))
        return true;
    hosts.insert(name);
    QStringList sorted(hosts.begin(), hosts.end());
    sorted.sort();
    QByteArray content;
    for (const QString& h : sorted)
        content += TextFile::quotedRecord(h);
    return drive.replace(path(programFolder), content, error);
}
} // namespace NtsMemory
