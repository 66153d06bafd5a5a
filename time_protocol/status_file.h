// The status file of a "net time" run: horavane-cmd writes it, the worker window reads it back. Its text is the
// command's output and stays as it is; this pair is the only place that writes or reads it.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace StatusFile {
struct Report {
    enum class Kind {
        Corrected,    // the clock service applied a correction
        AlreadyRight, // the correction was within what the sample can tell: nothing was sent
        Completed,    // read only: completed, without a line that says how
        Waiting,      // the correction is with the clock service, which may be asking for a password
        NotReached,   // the computer did not give its time
        Refused,      // the clock policy turned the step down
        NotPermitted, // the clock service refused the change
        Failed,       // read only: some other message
        Nothing,      // read only: no text at all
    };
    Kind kind = Kind::Nothing;
    QString host;         // the computer asked; written only
    QDateTime serverTime; // the time it gave (Corrected, AlreadyRight, Refused, NotPermitted); written only
    // The outcome's own line, as it stands in the file: the correction or the finding, the reason ("Clock not set:
    // ...", or for NotReached "\\HOST did not give the time: ..."); when read, for Failed, the first message.
    QString line;
    bool gaveTime = false; // read: the text starts with the computer's time
    bool succeeded() const { return kind == Kind::Corrected || kind == Kind::AlreadyRight || kind == Kind::Completed; }
};

// The command's output for `report` (a written kind), lines ending in CR LF.
QString write(const Report& report);
// What the fields of a status file (its lines, as the field reader gives them) say.
Report read(const QStringList& fields);
// What the command's output says, line by line.
Report read(const QString& output);
} // namespace StatusFile
