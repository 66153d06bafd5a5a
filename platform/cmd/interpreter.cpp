// The command interpreter's loop over the command file.
#include "platform/cmd/interpreter.h"

#include "platform/clock_service.h"
#include "platform/cmd/command_line.h"
#include "platform/cmd/net_time.h"
#include "platform/cmd/net_view.h"
#include "platform/text_file.h"

#include <QFile>
#include <cstdio>
#include <unistd.h>

namespace {
// Far beyond the browse and the resolves that follow it.
constexpr unsigned kViewLimitSeconds = 10;

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
    if (!command.target.isEmpty() && !emptyTarget(command.target))
        return false;
    QString output;
    bool ok = false;
    switch (command.kind) {
    case CommandLine::Kind::NetTime:
        output = NetTime::run(command.host, m_clock, NetTime::Ports::fromEnvironment(), m_userStarted);
        ok = output.contains(QLatin1String("The command completed successfully."));
        break;
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
