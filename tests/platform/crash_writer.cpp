// Writes the settings file and appends log records in a loop until it is killed; reports each finished write on
// standard output so the test knows what must have survived.
#include "net_engine/result_log.h"
#include "platform/text_file.h"

#include <QByteArray>
#include <cstdio>

// Usage: crash_writer DRIVE_FOLDER RUN
int main(int argc, char* argv[]) {
    if (argc < 3)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString run = QString::fromLocal8Bit(argv[2]);
    const DriveC drive(DosPaths(folder, QStringLiteral("C:\\")));
    const QByteArray versions[2] = {QByteArray(4000, 'a') + "\r\n", QByteArray(9000, 'b') + "\r\n"};
    std::printf("start\n");
    std::fflush(stdout);
    for (int i = 0;; ++i) {
        if (!drive.replace(QStringLiteral("C:\\NRV.ini"), versions[i % 2]))
            return 3;
        if (!ResultLog::append(drive, QStringLiteral("C:\\"), QStringLiteral("record %1 %2").arg(run).arg(i)))
            return 4;
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
}
