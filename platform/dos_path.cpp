// Maps DOS path texts onto the drive folder.
#include "platform/dos_path.h"

#include <QDir>
#include <QStandardPaths>
#include <QStringList>

DosPaths::DosPaths(QString driveFolder, QString programFolder)
    : m_driveFolder(std::move(driveFolder)), m_programFolder(std::move(programFolder)) {}

DosPaths DosPaths::fromEnvironment() {
    QString drive = qEnvironmentVariable("HORAVANE_DRIVE_C");
    if (drive.isEmpty()) {
        QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
        if (dataHome.isEmpty())
            dataHome = QDir::homePath() + QStringLiteral("/.local/share");
        drive = dataHome + QStringLiteral("/horavane/drive_c");
    }
    QString program = qEnvironmentVariable("HORAVANE_PROGRAM_FOLDER");
    if (program.isEmpty())
        program = QStringLiteral("C:\\Horavane");
    return DosPaths(QDir::cleanPath(QDir(drive).absolutePath()), program);
}

std::optional<QString> DosPaths::toLocal(const QString& dosPath) const {
    if (dosPath.size() < 2 || dosPath.at(1) != QLatin1Char(':') ||
        (dosPath.at(0) != QLatin1Char('C') && dosPath.at(0) != QLatin1Char('c')))
        return std::nullopt;
    QString rest = dosPath.mid(2);
    rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
    // "C:x" (relative to the drive's current folder) is not a path this program writes.
    if (!rest.isEmpty() && !rest.startsWith(QLatin1Char('/')))
        return std::nullopt;
    const QStringList parts = rest.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (part == QLatin1String(".."))
            return std::nullopt; // never leave the drive folder
    }
    QString local = m_driveFolder;
    for (const QString& part : parts) {
        if (part != QLatin1String("."))
            local += QLatin1Char('/') + part;
    }
    return local;
}

bool DosPaths::ensureFolders() const {
    const auto program = toLocal(m_programFolder);
    return QDir().mkpath(m_driveFolder) && program && QDir().mkpath(*program);
}
