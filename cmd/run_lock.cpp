// The run lock: flock on a file of its own, released when the process ends, however it ends.
#include "cmd/run_lock.h"

#include "platform/dos_path.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
constexpr int kRetryMs = 20;
// The two runs that the worker starts follow each other within this time.
constexpr qint64 kRecentMs = 60000;

qint64 monotonicMs() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<qint64>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

int openLockFile(const QString& path) {
    return ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}
} // namespace

QString RunLock::pathFor(const QString& driveFolder, const QString& runtimeFolder) {
    if (runtimeFolder.isEmpty())
        return driveFolder + QStringLiteral("/.horavane-cmd.lock");
    // Runs of other drive folders (each test has its own) do not share a status file and wait for no one.
    const QByteArray id =
        QCryptographicHash::hash(QFileInfo(driveFolder).absoluteFilePath().toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    return runtimeFolder + QStringLiteral("/horavane-cmd-") + QString::fromLatin1(id) + QStringLiteral(".lock");
}

RunLock::RunLock(const DosPaths& paths, int limitMs) {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QStringList candidates;
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        candidates << pathFor(paths.driveFolder(), runtime);
    candidates << pathFor(paths.driveFolder(), QString());
    for (const QString& candidate : candidates) {
        m_fd = openLockFile(candidate);
        if (m_fd >= 0) {
            m_path = candidate;
            break;
        }
    }
    if (m_fd < 0) {
        m_held = true;
        return;
    }
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
            m_held = true;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            // A file system without locks: go on as without a lock file.
            m_held = true;
            return;
        }
        if (waited.elapsed() >= limitMs)
            return;
        ::usleep(kRetryMs * 1000);
    }
}

RunLock::~RunLock() {
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock
}

RunLock::LastRun RunLock::lastRun() const {
    if (m_fd < 0)
        return {};
    char buffer[96] = {};
    const ssize_t n = ::pread(m_fd, buffer, sizeof buffer - 1, 0);
    if (n <= 0)
        return {};
    // "ended-at-ms corrected uncertainty-usec"
    const QList<QByteArray> parts = QByteArray(buffer, static_cast<int>(n)).trimmed().split(' ');
    if (parts.size() != 3)
        return {};
    bool ok = false;
    const qint64 age = monotonicMs() - parts[0].toLongLong(&ok);
    if (!ok || age < 0 || age > kRecentMs)
        return {};
    return {true, parts[1] == "1", std::max<qint64>(0, parts[2].toLongLong())};
}

void RunLock::recordRun(bool corrected, qint64 uncertaintyUsec) {
    if (m_fd < 0)
        return;
    const QByteArray line = QByteArray::number(monotonicMs()) + (corrected ? " 1 " : " 0 ") +
                            QByteArray::number(corrected ? uncertaintyUsec : 0) + '\n';
    const bool written = ::ftruncate(m_fd, 0) == 0 &&
                         ::pwrite(m_fd, line.constData(), static_cast<size_t>(line.size()), 0) == line.size();
    // A record cut short says nothing rather than something wrong.
    if (!written && ::ftruncate(m_fd, 0) != 0)
        return;
}
