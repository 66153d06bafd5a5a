// The command interpreter's loop over the command file.
#include "cmd/interpreter.h"

#include "cmd/command_line.h"
#include "cmd/net_time.h"
#include "cmd/net_view.h"
#include "cmd/run_lock.h"
#include "platform/clock_service.h"
#include "platform/text_file.h"
#include "time_protocol/status_file.h"

#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <unistd.h>

namespace {
// Far beyond the browse and the resolves that follow it.
constexpr unsigned kViewLimitSeconds = 10;
// A run waits for the run ahead of it: its exchanges and its clock service call.
constexpr int kLockSlackMs = 30000;

void print(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}
} // namespace

Interpreter::Interpreter(const DriveC& drive, ClockService& clock, bool userStarted)
    : m_drive(drive), m_clock(clock), m_userStarted(userStarted) {}

bool Interpreter::runFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        print(stderr, QStringLiteral("The system cannot find the file ") + path + QStringLiteral(".\r\n"));
        return false;
    }
    if (file.size() > kMaxFileBytes) {
        print(stderr, QStringLiteral("The command file is too large.\r\n"));
        return false;
    }
    bool ok = true;
    for (const QString& line : CommandLines::splitLines(file.readAll()))
        ok = runLine(line) && ok;
    return ok;
}

bool Interpreter::runLine(const QString& line) {
    const CommandLine command = CommandLines::parse(line);
    if (command.kind == CommandLine::Kind::Empty)
        return true;
    if (command.kind == CommandLine::Kind::NetTime)
        return runNetTime(command.host, command.target);
    if (!command.target.isEmpty() && !emptyTarget(command.target))
        return false;
    QString output;
    bool ok = false;
    switch (command.kind) {
    case CommandLine::Kind::NetView:
        // Every wait inside is bounded; should the bus still block a call, SIGALRM's default action ends the
        // command, so the worker window is never left waiting on it.
        ::alarm(kViewLimitSeconds);
        output = NetView::run();
        ::alarm(0);
        ok = !output.startsWith(QLatin1String("System error"));
        break;
    default:
        output = command.message;
        break;
    }
    deliver(command.target, output);
    return ok;
}

bool Interpreter::runNetTime(const QString& host, const QString& target) {
    // Held across emptying and writing the target, so the run behind this one finds this one's outcome there.
    RunLock lock(m_drive.paths(), TimedatedClockService::limitMs(m_userStarted) + kLockSlackMs);
    if (!lock.held()) {
        print(stderr, QStringLiteral("Another run of net time is still setting the clock.\r\n"));
        return false;
    }
    const RunLock::LastRun last = lock.lastRun();
    const QString left = last.recent ? targetText(target) : QString();
    const NetTime::Earlier earlier = NetTime::earlierOutcome(left);
    // What the run ahead left belongs to this pair of runs, not to an earlier synchronization: it stays until
    // this run's own output replaces it, so a reader finds a complete outcome while this run asks.
    if (!target.isEmpty() && left.isEmpty() && !emptyTarget(target))
        return false;
    NetTime::Result result;
    if (earlier.kind == NetTime::Earlier::Kind::Refused) {
        // The clock service has just refused the run ahead (or its password prompt was cancelled): asking again
        // would only ask again.
        result.output = earlier.output;
    } else {
        const auto waiting = [&] {
            StatusFile::Report report;
            report.kind = StatusFile::Report::Kind::Waiting;
            if (!target.isEmpty())
                m_drive.replace(target, StatusFile::write(report).toUtf8());
        };
        result = NetTime::run(host, m_clock, NetTime::Ports::fromEnvironment(), m_userStarted, waiting,
                              last.corrected ? last.uncertaintyUsec : 0);
        // The run ahead corrected the clock and this one changed nothing (found it right, or could not ask):
        // that correction is the pair's outcome.
        if (earlier.kind == NetTime::Earlier::Kind::Corrected && !result.corrected)
            result = {earlier.output, true, last.uncertaintyUsec};
    }
    deliver(target, result.output);
    lock.recordRun(result.corrected, result.uncertaintyUsec);
    return StatusFile::read(result.output).succeeded();
}

QString Interpreter::targetText(const QString& target) const {
    if (target.isEmpty())
        return {};
    const std::optional<QString> local = m_drive.local(target);
    if (!local)
        return {};
    const QFileInfo info(*local);
    if (!info.isFile() || info.isSymLink() || info.size() > kMaxFileBytes)
        return {};
    QFile file(*local);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.read(kMaxFileBytes)) : QString();
}

bool Interpreter::emptyTarget(const QString& target) {
    QString why;
    if (m_drive.truncate(target, &why))
        return true;
    print(stderr, QStringLiteral("The system cannot find the path specified: ") + target + QStringLiteral(" (") + why +
                      QStringLiteral(")\r\n"));
    return false;
}

void Interpreter::deliver(const QString& target, const QString& output) {
    if (target.isEmpty()) {
        print(stdout, output);
        return;
    }
    QString why;
    if (!m_drive.replace(target, output.toUtf8(), &why))
        print(stderr, QStringLiteral("The output could not be written to ") + target + QStringLiteral(": ") + why +
                          QStringLiteral("\r\n"));
}
