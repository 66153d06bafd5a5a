// Watching started processes through pidfds: no polling, and a pid that is reused later is never mistaken for ours.
#include "platform/started_commands.h"

#include "platform/events.h"

#include <QSocketNotifier>
#include <sys/syscall.h>
#include <unistd.h>

StartedCommands::StartedCommands() = default;

StartedCommands::~StartedCommands() {
    while (!m_running.empty())
        release(m_running.begin()->first);
}

void StartedCommands::add(qint64 pid) {
    if (pid <= 0)
        return;
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
    if (fd < 0)
        return; // already gone, or a kernel without pidfds: nothing to wait for
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, fd] {
        release(fd);
        Q_EMIT ended();
    });
    m_running.emplace(fd, notifier);
}

bool StartedCommands::waitAll(int timeoutMs) {
    return waitFor(
        this, &StartedCommands::ended, [this] { return m_running.empty(); }, timeoutMs);
}

void StartedCommands::release(int fd) {
    const auto it = m_running.find(fd);
    if (it == m_running.end())
        return;
    it->second->setEnabled(false);
    // The notifier may be the sender of the signal being handled.
    it->second->deleteLater();
    m_running.erase(it);
    ::close(fd);
}
