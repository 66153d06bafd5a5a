// Runs the lines of a command file: each builtin's output goes to its redirection target or to standard output.
#pragma once

#include <QByteArray>
#include <QString>

class ClockService;
class DriveC;

class Interpreter {
public:
    // userStarted: a person started this run, so "net time" may make a large step (its /yes agrees) and the
    // clock service may ask for a password.
    Interpreter(const DriveC& drive, ClockService& clock, bool userStarted = false);

    // Command files larger than this are refused: the program writes one short line.
    static constexpr qint64 kMaxFileBytes = 64 * 1024;

    // Runs every line of the file; false when it could not be read or a line failed.
    bool runFile(const QString& path);
    // Runs one line; false when it printed an error.
    bool runLine(const QString& line);

private:
    // "net time": one run at a time per drive folder, and one correction for a pair of runs.
    bool runNetTime(const QString& host, const QString& target);
    // The target's text as the run ahead left it.
    QString targetText(const QString& target) const;
    // Writes a command's output: the target is emptied when the command starts and the finished output renamed
    // over it, so a reader finds it empty or complete.
    bool emptyTarget(const QString& target);
    void deliver(const QString& target, const QString& output);

    const DriveC& m_drive;
    ClockService& m_clock;
    bool m_userStarted;
};
