// Maps the program's DOS path texts ("C:\gTime.bat") onto the drive folder that stands for drive C.
#pragma once

#include <QString>
#include <optional>

class DosPaths {
public:
    DosPaths(QString driveFolder, QString programFolder);

    // $HORAVANE_DRIVE_C (else $XDG_DATA_HOME/horavane/drive_c) and $HORAVANE_PROGRAM_FOLDER (else "C:\Horavane").
    static DosPaths fromEnvironment();

    const QString& driveFolder() const { return m_driveFolder; }
    // The program folder as the system reports it: a DOS text, "C:\" for a drive root.
    const QString& programFolder() const { return m_programFolder; }

    // The real path of a DOS path on drive C; nothing for another drive or a relative path.
    std::optional<QString> toLocal(const QString& dosPath) const;

    // Creates the drive folder and the program folder when they are missing.
    bool ensureFolders() const;

private:
    QString m_driveFolder;
    QString m_programFolder;
};
