// One "net time /set" at a time per drive folder: a second run measures the clock only after the first run's
// correction is in place, since relative corrections measured side by side would add up.
#pragma once

#include <QString>

class DosPaths;

class RunLock {
public:
    // Waits at most `limitMs` for the lock of the drive folder's runs: a file in $XDG_RUNTIME_DIR named after
    // the drive folder, else a hidden file in the drive folder. held() is false when the time ran out; when
    // neither folder takes a lock file the run goes on unlocked, as it did before (held() true, nothing locked).
    RunLock(const DosPaths& paths, int limitMs);
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    bool held() const { return m_held; }

    // What the run before this one left in the lock file, when it ended less than a minute ago (on the monotonic
    // clock, which no correction moves): whether it had a correction applied, and that sample's uncertainty.
    struct LastRun {
        bool recent = false;
        bool corrected = false;
        qint64 uncertaintyUsec = 0;
    };
    LastRun lastRun() const;
    // Written just before the lock is released, for the run behind this one.
    void recordRun(bool corrected, qint64 uncertaintyUsec);
    // The lock file, empty when none could be made.
    const QString& path() const { return m_path; }

    // The lock file's path for a drive folder in a runtime folder (empty: the drive folder itself).
    static QString pathFor(const QString& driveFolder, const QString& runtimeFolder);

private:
    int m_fd = -1;
    bool m_held = false;
    QString m_path;
};
