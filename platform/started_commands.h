// The command interpreters this program started, watched until they end, so a step that reads their output can
// wait for it instead of reading too early.
#pragma once

#include <QObject>
#include <map>

class QSocketNotifier;

class StartedCommands : public QObject {
    Q_OBJECT
public:
    StartedCommands();
    ~StartedCommands() override;

    // Watches the process; one that has already ended (or cannot be watched) is not counted.
    void add(qint64 pid);
    bool anyRunning() const { return !m_running.empty(); }
    // Lets events run until every watched process has ended or the time is up; false when the time ran out.
    bool waitAll(int timeoutMs);

Q_SIGNALS:
    void ended();

private:
    void release(int fd);

    // A pidfd per running process; it turns readable when the process ends.
    std::map<int, QSocketNotifier*> m_running;
};
