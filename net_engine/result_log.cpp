// The result log.
#include "net_engine/result_log.h"

#include "platform/text_file.h"

namespace ResultLog {
QString path(const QString& programFolder) {
    return programFolder + QStringLiteral("\\ResultLog.txt");
}

bool append(const DriveC& drive, const QString& programFolder, const QString& text, QString* error) {
    return drive.append(path(programFolder), TextFile::quotedRecord(text), error);
}

bool empty(const DriveC& drive, const QString& programFolder, QString* error) {
    return drive.truncate(path(programFolder), error);
}

bool isOverLimit(const DriveC& drive, const QString& programFolder) {
    const auto size = drive.size(path(programFolder));
    return size && *size > kLimitBytes;
}
} // namespace ResultLog
