// The record and line writers, and file access by DOS path.
#include "platform/text_file.h"

#include "platform/field_reader.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TextFile {
QByteArray quotedRecord(const QString& text) {
    return '"' + text.toUtf8() + "\"\r\n";
}
QByteArray line(const QString& text) {
    return text.toUtf8() + "\r\n";
}
QByteArray endOfCutLine(const QByteArray& lastLine, bool fileEmpty) {
    if (fileEmpty || lastLine.endsWith('\n'))
        return {};
    if (lastLine.count('"') % 2)
        return QByteArrayLiteral("\"\r\n");
    return lastLine.endsWith('\r') ? QByteArrayLiteral("\n") : QByteArrayLiteral("\r\n");
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
QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}
bool isInside(const QString& folder, const QString& drive) {
    return folder == drive || folder.startsWith(drive + QLatin1Char('/'));
}
// Writes all of it, as far as the disk takes it.
bool writeAll(int fd, const QByteArray& bytes, int* code) {
    const char* at = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, at, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *code = n < 0 ? errno : ENOSPC;
            return false;
        }
        at += n;
        left -= n;
    }
    return true;
}
// The file's last line, or its last 64 KB when that line is longer.
QByteArray lastLine(int fd, off_t size) {
    char last = 0;
    if (size == 0 || (::pread(fd, &last, 1, size - 1) == 1 && last == '\n'))
        return QByteArray(size == 0 ? 0 : 1, last); // the usual case: one byte read
    const off_t from = std::max<off_t>(0, size - 65536);
    QByteArray tail(static_cast<qsizetype>(size - from), '\0');
    const ssize_t n = ::pread(fd, tail.data(), static_cast<size_t>(tail.size()), from);
    tail.resize(n < 0 ? 0 : n);
    const qsizetype lineEnd = tail.lastIndexOf('\n', tail.size() - 2);
    return lineEnd < 0 ? tail : tail.mid(lineEnd + 1);
}
} // namespace

std::optional<QString> DriveC::changeable(const QString& dosPath, bool linkAllowed, QString* error) const {
    const auto path = local(dosPath);
    if (!path) {
        fail(error, notOnDrive(dosPath));
        return std::nullopt;
    }
    const QFileInfo info(*path);
    if (!linkAllowed && info.isSymLink()) {
        fail(error, dosPath + QStringLiteral(" is a symbolic link"));
        return std::nullopt;
    }
    // A missing folder fails at the open; an existing one must really lie inside the drive folder.
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    const QString drive = QFileInfo(m_paths.driveFolder()).canonicalFilePath();
    if (!folder.isEmpty() && !drive.isEmpty() && !isInside(folder, drive)) {
        fail(error, dosPath + QStringLiteral(" lies in a folder outside the drive folder"));
        return std::nullopt;
    }
    return path;
}

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
    // The save file would write to a link's target; a link is refused instead.
    const auto path = changeable(dosPath, false, error);
    if (!path)
        return false;
    QSaveFile file(*path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, file.errorString());
    // Qt 6.4's commit flushes its buffer without looking at the result, so a disk that fills at the flush would
    // still have the short temporary file renamed over the old one; and a short write gives no reason. So the
    // bytes go past the buffer, each write checked, then to the disk (a file system that allots its blocks late
    // tells only there); on any failure the temporary file is thrown away and the old file stays whole.
    int code = 0;
    bool written = writeAll(file.handle(), content, &code);
    if (written && ::fsync(file.handle()) != 0 && (errno == ENOSPC || errno == EDQUOT || errno == EIO)) {
        code = errno;
        written = false;
    }
    if (!written) {
        file.cancelWriting();
        return fail(error, systemError(code));
    }
    if (!file.commit())
        return fail(error, file.errorString());
    return true;
}

bool DriveC::append(const QString& dosPath, const QByteArray& content, QString* error) const {
    const auto path = changeable(dosPath, false, error);
    if (!path)
        return false;
    // O_NOFOLLOW: a link put there after the check is refused too; O_NONBLOCK: a FIFO never blocks the open.
    const int fd = ::open(QFile::encodeName(*path).constData(),
                          O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail(error, systemError(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(error, dosPath + QStringLiteral(" is not a file"));
    }
    const QByteArray bytes = TextFile::endOfCutLine(lastLine(fd, st.st_size), st.st_size == 0) + content;
    int code = 0;
    const bool whole = writeAll(fd, bytes, &code);
    // Whatever part of it reached the disk is taken back, so no half record stays; should even that fail, the
    // next append ends the cut line first.
    const bool cutBack = whole || ::ftruncate(fd, st.st_size) == 0;
    ::close(fd);
    if (whole)
        return true;
    return fail(error, systemError(code) + (cutBack ? QString() : QStringLiteral("; part of it stays in the file")));
}

bool DriveC::truncate(const QString& dosPath, QString* error) const {
    const auto path = changeable(dosPath, false, error);
    if (!path)
        return false;
    const int fd = ::open(QFile::encodeName(*path).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail(error, systemError(errno));
    ::close(fd);
    return true;
}

bool DriveC::remove(const QString& dosPath, QString* error) const {
    // Removing a link removes the link, not its target.
    const auto path = changeable(dosPath, true, error);
    if (!path)
        return false;
    QFile file(*path);
    if (!file.remove())
        return fail(error, file.errorString());
    return true;
}

std::optional<QStringList> DriveC::readFields(const QString& dosPath, int maxFields, bool* unterminated,
                                              qint64 maxBytes) const {
    const auto path = local(dosPath);
    if (!path)
        return std::nullopt;
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return FieldReader(file, FieldReader::kMaxFieldBytes, maxBytes).fields(maxFields, unterminated);
}
