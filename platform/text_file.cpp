// The record and line writers, and file access by DOS path.
#include "platform/text_file.h"

#include "platform/field_reader.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace TextFile {
QByteArray quotedRecord(const QString& text) {
    return '"' + text.toUtf8() + "\"\r\n";
}
QByteArray line(const QString& text) {
    return text.toUtf8() + "\r\n";
}
} // namespace TextFile

namespace {
bool fail(QString* error, const QString& why) {
    if (error)
        *error = why;
    return false;
}
QString notOnDrive(const QString& dosPath) {
    return QStringLiteral("not a path on drive C: ") + dosPath;
}
} // namespace

bool DriveC::exists(const QString& dosPath) const {
    const auto path = local(dosPath);
    return path && QFileInfo(*path).isFile();
}

std::optional<qint64> DriveC::size(const QString& dosPath) const {
    const auto path = local(dosPath);
    if (!path)
        return std::nullopt;
    const QFileInfo info(*path);
    if (!info.isFile())
        return std::nullopt;
    return info.size();
}

bool DriveC::replace(const QString& dosPath, const QByteArray& content, QString* error) const {
    const auto path = local(dosPath);
    if (!path)
        return fail(error, notOnDrive(dosPath));
    QSaveFile file(*path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, file.errorString());
    if (file.write(content) != content.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(error, why);
    }
    if (!file.commit())
        return fail(error, file.errorString());
    return true;
}

bool DriveC::append(const QString& dosPath, const QByteArray& content, QString* error) const {
    const auto path = local(dosPath);
    if (!path)
        return fail(error, notOnDrive(dosPath));
    QFile file(*path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return fail(error, file.errorString());
    if (file.write(content) != content.size() || !file.flush())
        return fail(error, file.errorString());
    return true;
}

bool DriveC::truncate(const QString& dosPath, QString* error) const {
    const auto path = local(dosPath);
    if (!path)
        return fail(error, notOnDrive(dosPath));
    QFile file(*path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(error, file.errorString());
    return true;
}

bool DriveC::remove(const QString& dosPath, QString* error) const {
    const auto path = local(dosPath);
    if (!path)
        return fail(error, notOnDrive(dosPath));
    QFile file(*path);
    if (!file.remove())
        return fail(error, file.errorString());
    return true;
}

namespace {
// Opens the file at a DOS path for reading; false when the path is not on the drive or the file cannot be opened.
bool openForReading(const DriveC& drive, const QString& dosPath, QFile& file) {
    const auto path = drive.local(dosPath);
    if (!path)
        return false;
    file.setFileName(*path);
    return file.open(QIODevice::ReadOnly);
}
} // namespace

std::optional<QByteArray> DriveC::read(const QString& dosPath, qint64 maxBytes) const {
    QFile file;
    if (!openForReading(*this, dosPath, file))
        return std::nullopt;
    QByteArray head = file.read(maxBytes);
    if (head.isEmpty() && file.error() != QFileDevice::NoError)
        return std::nullopt;
    return head;
}

std::optional<QStringList> DriveC::readFields(const QString& dosPath, int maxFields, bool* unterminated,
                                              qint64 maxBytes) const {
    if (maxBytes >= 0) {
        const auto head = read(dosPath, maxBytes);
        if (!head)
            return std::nullopt;
        return FieldReader(*head).fields(maxFields, unterminated);
    }
    QFile file;
    if (!openForReading(*this, dosPath, file))
        return std::nullopt;
    return FieldReader(file).fields(maxFields, unterminated);
}
