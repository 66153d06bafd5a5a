// The small file system that small_file_system.sh mounts for a test: found, filled up, made read-only.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>

namespace OwnFileSystem {
// Its mount point, or empty when the test runs without one.
inline QString path() {
    return qEnvironmentVariable("HORAVANE_OWN_FS");
}
// Writes a filler file until the file system refuses more; true when it is full.
inline bool fillUp() {
    QFile filler(path() + QStringLiteral("/filler"));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size()) {
    }
    return filler.error() != QFileDevice::NoError;
}
inline bool setReadOnly(bool readOnly) {
    return QProcess::execute(QStringLiteral("mount"),
                             {QStringLiteral("-o"),
                              readOnly ? QStringLiteral("remount,ro") : QStringLiteral("remount,rw"), path()}) == 0;
}
} // namespace OwnFileSystem
