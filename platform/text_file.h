// The record and line writers, and file access by DOS path on the drive folder.
#pragma once

#include "platform/dos_path.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace TextFile {
// A double quote, the text, a double quote, CR LF; nothing inside is escaped.
QByteArray quotedRecord(const QString& text);
// The text, CR LF.
QByteArray line(const QString& text);
// What ends a file's last line before another is appended: nothing after a line end (or in an empty file); a
// double quote when the line left one open, as a record cut off by a crash does, so the field reader does not run
// on into the next record; then CR LF, or only the LF that a CR left alone lacks.
QByteArray endOfCutLine(const QByteArray& lastLine, bool fileEmpty);
} // namespace TextFile

// File operations on DOS paths ("C:\NRV.ini"); each opens and closes its file within the call.
class DriveC {
public:
    explicit DriveC(DosPaths paths) : m_paths(std::move(paths)) {}

    const DosPaths& paths() const { return m_paths; }
    std::optional<QString> local(const QString& dosPath) const { return m_paths.toLocal(dosPath); }

    bool exists(const QString& dosPath) const;
    // Size in bytes without reading the file; nothing when it is missing or not a file.
    std::optional<qint64> size(const QString& dosPath) const;
    // Writes to a temporary file beside the target and renames it over the target, so a reader never sees a
    // half-written file. A write that fails at any stage (a full disk) leaves the old file whole.
    bool replace(const QString& dosPath, const QByteArray& content, QString* error = nullptr) const;
    // Appends at the end, creating the file first when it is missing. Whole or not at all: a short write (a full
    // disk) cuts the file back to its length before. A last line left without its end is ended first.
    bool append(const QString& dosPath, const QByteArray& content, QString* error = nullptr) const;
    // Truncates to zero length, or creates the file empty.
    bool truncate(const QString& dosPath, QString* error = nullptr) const;
    bool remove(const QString& dosPath, QString* error = nullptr) const;
    // Replace, append and truncate refuse a file that is a symbolic link, and every change refuses a file in a
    // folder that leads out of the drive folder: nothing outside the drive folder is ever changed.
    // Every field of the file in order, read with the field reader; nothing when it cannot be opened.
    // `unterminated` tells whether the last field opened a double quote that never closed. With `maxBytes` only
    // the file's first bytes are read, so a huge file costs no more than a small one.
    std::optional<QStringList> readFields(const QString& dosPath, int maxFields = -1, bool* unterminated = nullptr,
                                          qint64 maxBytes = -1) const;

private:
    // The real path when a file there may be changed; nothing (and why) otherwise.
    std::optional<QString> changeable(const QString& dosPath, bool linkAllowed, QString* error) const;

    DosPaths m_paths;
};
