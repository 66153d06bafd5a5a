// The result log.
#include "net_engine/result_log.h"

#include "platform/shown_text.h"
#include "platform/text_file.h"

namespace ResultLog {
QString path(const QString& programFolder) {
    return programFolder + QStringLiteral("\\ResultLog.txt");
}

bool append(const DriveC& drive, const QString& programFolder, const QString& text, QString* error) {
    // A name holding a line break would split the record, and a direction control would turn it around.
    return drive.append(path(programFolder), TextFile::quotedRecord(ShownText::safe(text)), error);
}

QString notLogged(const QString& outcome, const QString& error) {
    if (outcome.isEmpty())
        return QStringLiteral("Result not logged: ") + error;
    return outcome + QStringLiteral("; result not logged: ") + error;
}

bool empty(const DriveC& drive, const QString& programFolder, QString* error) {
    return drive.truncate(path(programFolder), error);
}

bool isOverLimit(const DriveC& drive, const QString& programFolder) {
    const auto size = drive.size(path(programFolder));
    return size && *size > kLimitBytes;
}
} // namespace ResultLog
