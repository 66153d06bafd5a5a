// The command file's line and the texts made from the status file.
#include "net_engine/command_runner.h"

#include "platform/shown_text.h"
#include "platform/text_file.h"

namespace CommandRunner {
QString timeCommandLine(const QString& serverName) {
    return QStringLiteral("net time ") + serverName + QStringLiteral(" /set /yes >") + kStatusFileInLine;
}

QString nameProblem(const QString& serverName) {
    const int at = ShownText::firstHidden(serverName);
    if (at >= 0) {
        const QChar c = serverName.at(at);
        if (ShownText::kind(c) == ShownText::Hidden::Direction)
            return QStringLiteral("The name cannot be used: it holds %1, a control that turns the direction of "
                                  "the text around.")
                .arg(ShownText::codePoint(c));
        return QStringLiteral("The name cannot be used: it holds a line break or another control character (%1).")
            .arg(ShownText::codePoint(c));
    }
    qsizetype from = 0;
    while (from < 2 && from < serverName.size() && serverName.at(from) == QLatin1Char('\\'))
        ++from;
    qsizetype to = serverName.size();
    while (to > from && serverName.at(to - 1) == QLatin1Char(' '))
        --to;
    if (to - from > kMaxNameLength)
        return QStringLiteral("The name cannot be used: it is longer than %1 characters.").arg(kMaxNameLength);
    return QString();
}

bool clearStatusFile(const DriveC& drive) {
    drive.remove(kStatusFile);
    return !drive.exists(kStatusFile) || drive.truncate(kStatusFile);
}

bool writeCommandFile(const DriveC& drive, const QString& commandLine, QString* error) {
    return drive.replace(kCommandFile, TextFile::line(commandLine), error);
}

QString joinFields(const QStringList& fields, const QString& separator) {
    QString text;
    for (const QString& field : fields)
        text += separator + field;
    return text;
}

QString keepTail(const QString& text, int maxChars) {
    if (text.size() <= maxChars)
        return text;
    int from = text.size() - maxChars;
    // Never start in the middle of a surrogate pair.
    if (from < text.size() && text.at(from).isLowSurrogate())
        ++from;
    return text.mid(from);
}
} // namespace CommandRunner
