// The status file of a "net time" run.
#include "time_protocol/status_file.h"

#include "platform/date_text.h"
#include "time_protocol/status_words.h"

namespace StatusFile {
namespace {
const QString kEnd = QStringLiteral("\r\n");
const QString kNotReached = QStringLiteral("System error 53 has occurred.\r\n\r\nThe network path was not found.\r\n");
const QString kRefused = QStringLiteral("System error 87 has occurred.\r\n\r\nThe parameter is incorrect.\r\n");
const QString kNotPermitted =
    QStringLiteral("System error 1314 has occurred.\r\n\r\nA required privilege is not held by the client.\r\n");

// The first line of a block: what a reader recognises it by.
QString firstLine(const QString& block) {
    return block.left(block.indexOf(kEnd));
}
} // namespace

QString write(const Report& report) {
    const QString current = QLatin1String(StatusWords::kCurrentTimeAt) + QStringLiteral("\\\\") + report.host +
                            QStringLiteral(" is ") + DateText::generalDate(report.serverTime.toLocalTime()) + kEnd +
                            kEnd;
    const QString completed = QLatin1String(StatusWords::kCompleted) + kEnd + kEnd;
    switch (report.kind) {
    case Report::Kind::Corrected:
    case Report::Kind::AlreadyRight:
        return current + report.line + kEnd + kEnd + completed;
    case Report::Kind::Waiting:
        return QLatin1String(StatusWords::kWaitingForClockService) + kEnd;
    case Report::Kind::NotReached:
        return kNotReached + report.line + kEnd + kEnd;
    case Report::Kind::Refused:
        return current + kRefused + report.line + kEnd + kEnd;
    case Report::Kind::NotPermitted:
        return current + kNotPermitted + report.line + kEnd + kEnd;
    default:
        return report.line.isEmpty() ? QString() : report.line + kEnd;
    }
}

Report read(const QStringList& fields) {
    const auto starting = [&fields](const QString& start) {
        for (const QString& f : fields) {
            if (f.trimmed().startsWith(start))
                return f.trimmed();
        }
        return QString();
    };
    Report report;
    report.gaveTime = !fields.isEmpty() && fields.first().startsWith(QLatin1String(StatusWords::kCurrentTimeAt));
    if (!starting(QLatin1String(StatusWords::kCompleted)).isEmpty()) {
        report.kind = Report::Kind::Completed;
        for (const auto& [said, kind] : {std::pair{StatusWords::kCorrectedBy, Report::Kind::Corrected},
                                         std::pair{StatusWords::kAlreadyRight, Report::Kind::AlreadyRight}}) {
            report.line = starting(QLatin1String(said));
            if (!report.line.isEmpty()) {
                report.kind = kind;
                break;
            }
        }
        return report;
    }
    if (!starting(QLatin1String(StatusWords::kWaitingForClockService)).isEmpty()) {
        report.kind = Report::Kind::Waiting;
        return report;
    }
    // The reason: the interpreter's own, else the line that says which computer did not answer, else the first
    // message.
    for (const QString& start : {QString::fromLatin1(StatusWords::kNotSet), QStringLiteral("\\\\")}) {
        report.line = starting(start);
        if (!report.line.isEmpty())
            break;
    }
    for (const QString& f : fields) {
        const QString t = f.trimmed();
        if (!report.line.isEmpty())
            break;
        if (!t.isEmpty() && !t.startsWith(QLatin1String(StatusWords::kSystemError)) &&
            !t.startsWith(QLatin1String(StatusWords::kCurrentTimeAt)))
            report.line = t;
    }
    report.kind = report.line.isEmpty() ? Report::Kind::Nothing : Report::Kind::Failed;
    for (const auto& [block, kind] :
         {std::pair{kNotReached, Report::Kind::NotReached}, std::pair{kRefused, Report::Kind::Refused},
          std::pair{kNotPermitted, Report::Kind::NotPermitted}}) {
        if (!starting(firstLine(block)).isEmpty())
            report.kind = kind;
    }
    return report;
}

Report read(const QString& output) {
    return read(output.split(kEnd));
}
} // namespace StatusFile
