// The command file's line and the texts made from the status file.
#include "net_engine/command_runner.h"

#include "platform/text_file.h"

namespace CommandRunner {
QString timeCommandLine(const QString& serverName) {
    return QStringLiteral("net time ") + serverName + QStringLiteral(" /set /yes >") + kStatusFileInLine;
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
