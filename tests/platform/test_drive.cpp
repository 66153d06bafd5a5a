// DOS paths onto the drive folder, and the file operations on them.
#include "platform/text_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

class TestDrive : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void mapsPaths_data();
    void mapsPaths();
    void replaceIsWholeAndLeavesNoTemporary();
    void replaceFailsOnAFolderAndKeepsIt();
    void shortReplaceKeepsTheOldFile_data();
    void shortReplaceKeepsTheOldFile();
    void appendCreatesThenAdds();
    void appendEndsACutLine_data();
    void appendEndsACutLine();
    void shortAppendIsTakenBack();
    void changesStayInsideTheDrive_data();
    void changesStayInsideTheDrive();
    void truncateAndSize();
    void readFieldsStopsAtTheLimit();
    void missingFiles();
    void environmentFolders();
};

namespace {
QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}
} // namespace

void TestDrive::mapsPaths_data() {
    QTest::addColumn<QString>("dos");
    QTest::addColumn<QString>("local"); // relative to the drive folder; "-" for no mapping
    QTest::newRow("root file") << "C:\\gTime.bat"
                               << "/gTime.bat";
    QTest::newRow("lower-case drive") << "c:\\StatusTime.txt"
                                      << "/StatusTime.txt";
    QTest::newRow("nested") << "C:\\Tools\\Clock\\ResultLog.txt"
                            << "/Tools/Clock/ResultLog.txt";
    QTest::newRow("repeated separators collapse") << "C:\\Horavane\\\\ResultLog.txt"
                                                  << "/Horavane/ResultLog.txt";
    QTest::newRow("drive root") << "C:\\"
                                << "";
    QTest::newRow("dot parts") << "C:\\.\\a"
                               << "/a";
    QTest::newRow("other drive") << "D:\\x.txt"
                                 << "-";
    QTest::newRow("relative") << "x.txt"
                              << "-";
    QTest::newRow("relative to the drive's folder") << "C:x.txt"
                                                    << "-";
    QTest::newRow("climbing out") << "C:\\..\\etc\\passwd"
                                  << "-";
    QTest::newRow("climbing out further in") << "C:\\a\\..\\..\\b"
                                             << "-";
    QTest::newRow("empty") << ""
                           << "-";
}

void TestDrive::mapsPaths() {
    QFETCH(QString, dos);
    QFETCH(QString, local);
    const DosPaths paths(QStringLiteral("/drive"), QStringLiteral("C:\\Horavane"));
    const auto mapped = paths.toLocal(dos);
    if (local == QLatin1String("-"))
        QVERIFY(!mapped);
    else
        QCOMPARE(mapped.value_or(QStringLiteral("(none)")), QStringLiteral("/drive") + local);
}

void TestDrive::replaceIsWholeAndLeavesNoTemporary() {
    QTemporaryDir dir;
    const DriveC drive(DosPaths(dir.path(), QStringLiteral("C:\\")));
    QVERIFY(drive.replace(QStringLiteral("C:\\NRV.ini"), "first, longer content\r\n"));
    QVERIFY(drive.replace(QStringLiteral("C:\\NRV.ini"), "second\r\n"));
    QFile file(dir.filePath(QStringLiteral("NRV.ini")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("second\r\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("NRV.ini")});
}

void TestDrive::replaceFailsOnAFolderAndKeepsIt() {
    QTemporaryDir dir;
    const DriveC drive(DosPaths(dir.path(), QStringLiteral("C:\\")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("NRV.ini/inside")));
    QString error;
    QVERIFY(!drive.replace(QStringLiteral("C:\\NRV.ini"), "x", &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("NRV.ini/inside"))));
    // A parent that is a file, and a path off the drive, fail too.
    QVERIFY(drive.replace(QStringLiteral("C:\\Tools"), "a file"));
    QVERIFY(!drive.replace(QStringLiteral("C:\\Tools\\ClockNRV.ini"), "x", &error));
    QVERIFY(!drive.replace(QStringLiteral("D:\\NRV.ini"), "x", &error));
    QVERIFY(error.contains(QStringLiteral("D:\\NRV.ini")));
}

void TestDrive::shortReplaceKeepsTheOldFile_data() {
    QTest::addColumn<int>("size");  // of the new content
    QTest::addColumn<int>("limit"); // bytes the disk takes
    // Small content sits in the file's buffer until the flush, which is where the disk is found full.
    QTest::newRow("full at the flush") << 200 << 10;
    QTest::newRow("full before the first byte") << 200 << 0;
    QTest::newRow("full at a write") << 200000 << 70000;
}

void TestDrive::shortReplaceKeepsTheOldFile() {
    QFETCH(int, size);
    QFETCH(int, limit);
    QTemporaryDir dir;
    const DriveC drive(DosPaths(dir.path(), QStringLiteral("C:\\")));
    const QByteArray old = "\"time.nist.gov\"\r\n\"10:00:00 AM\"\r\n";
    QVERIFY(drive.replace(QStringLiteral("C:\\NRV.ini"), old));
    // A child whose file size limit stands in for a disk that fills up.
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit cap{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
        ::setrlimit(RLIMIT_FSIZE, &cap);
        QString error;
        const bool ok = drive.replace(QStringLiteral("C:\\NRV.ini"), QByteArray(size, 'x'), &error);
        if (!ok && error != QLatin1String("File too large"))
            qWarning("%s", qPrintable(error));
        ::_exit(ok ? 0 : (error == QLatin1String("File too large") ? 1 : 2));
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 1); // refused, with the system's reason
    QCOMPARE(bytesOf(dir.filePath(QStringLiteral("NRV.ini"))), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("NRV.ini")});
}

void TestDrive::appendCreatesThenAdds() {
    QTemporaryDir dir;
    const DriveC drive(DosPaths(dir.path(), QStringLiteral("C:\\")));
    QVERIFY(drive.append(QStringLiteral("C:\\log.txt"), TextFile::quotedRecord(QStringLiteral("one"))));
    QVERIFY(drive.append(QStringLiteral("C:\\log.txt"), TextFile::quotedRecord(QStringLiteral("two"))));
    QCOMPARE(drive.readFields(QStringLiteral("C:\\log.txt")).value_or(QStringList()),
             (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
    QVERIFY(!drive.append(QStringLiteral("C:\\no\\such\\folder.txt"), "x"));
}

void TestDrive::appendEndsACutLine_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QStringList>("records");
    QTest::newRow("empty file") << QByteArray() << QByteArray("\"new\"\r\n") << QStringList{"new"};
    QTest::newRow("whole records") << QByteArray("\"one\"\r\n") << QByteArray("\"one\"\r\n\"new\"\r\n")
                                   << QStringList{"one", "new"};
    QTest::newRow("lone LF ends a line") << QByteArray("\"one\"\n") << QByteArray("\"one\"\n\"new\"\r\n")
                                         << QStringList{"one", "new"};
    QTest::newRow("record cut inside its quotes")
        << QByteArray("\"one\"\r\n\"tw") << QByteArray("\"one\"\r\n\"tw\"\r\n\"new\"\r\n")
        << QStringList{"one", "tw", "new"};
    QTest::newRow("record cut before its line end")
        << QByteArray("\"one\"") << QByteArray("\"one\"\r\n\"new\"\r\n") << QStringList{"one", "new"};
    QTest::newRow("cut between CR and LF")
        << QByteArray("\"one\"\r") << QByteArray("\"one\"\r\n\"new\"\r\n") << QStringList{"one", "new"};
    QTest::newRow("inner quote, cut") << QByteArray("\"say \"hi\" the")
                                      << QByteArray("\"say \"hi\" the\"\r\n\"new\"\r\n") << QStringList{"say ", "new"};
    QTest::newRow("unquoted text") << QByteArray("plain") << QByteArray("plain\r\n\"new\"\r\n")
                                   << QStringList{"plain", "new"};
}

void TestDrive::appendEndsACutLine() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QStringList, records);
    QTemporaryDir dir;
    const DriveC drive(DosPaths(dir.path(), QStringLiteral("C:\\")));
    QVERIFY(drive.replace(QStringLiteral("C:\\log.txt"), before));
    QVERIFY(drive.append(QStringLiteral("C:\\log.txt"), TextFile::quotedRecord(QStringLiteral("new"))));
    QCOMPARE(bytesOf(dir.filePath(QStringLiteral("log.txt"))), after);
    QCOMPARE(drive.readFields(QStringLiteral("C:\\log.txt")).value_or(QStringList()), records);
}

void TestDrive::shortAppendIsTakenBack() {
    QTemporaryDir dir;
    const DriveC drive(DosPaths(dir.path(), QStringLiteral("C:\\")));
    const QString log = QStringLiteral("C:\\log.txt");
    const QByteArray first = TextFile::quotedRecord(QStringLiteral("first"));
    QVERIFY(drive.append(log, first));
    // A child whose file size limit lets ten more bytes through stands in for a disk that fills up mid-record.
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(first.size() + 10), static_cast<rlim_t>(first.size() + 10)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        QString error;
        const bool ok = drive.append(log, TextFile::quotedRecord(QString(200, QLatin1Char('x'))), &error);
        ::_exit(ok ? 0 : (error.isEmpty() ? 2 : 1));
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 1); // refused, with a reason
    QCOMPARE(bytesOf(dir.filePath(QStringLiteral("log.txt"))), first);
    QVERIFY(drive.append(log, TextFile::quotedRecord(QStringLiteral("next"))));
    QCOMPARE(drive.readFields(log).value_or(QStringList()), (QStringList{"first", "next"}));
}

void TestDrive::changesStayInsideTheDrive_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("linkedFolder"); // false: the file itself is a link to the outside file
    QTest::addColumn<bool>("allowed");      // only removing a link, which leaves its target alone
    for (const char* op : {"replace", "append", "truncate", "remove"}) {
        QTest::addRow("%s through a linked file", op)
            << QString::fromLatin1(op) << false << (qstrcmp(op, "remove") == 0);
        QTest::addRow("%s in a linked folder", op) << QString::fromLatin1(op) << true << false;
    }
}

void TestDrive::changesStayInsideTheDrive() {
    QFETCH(QString, operation);
    QFETCH(bool, linkedFolder);
    QFETCH(bool, allowed);
    QTemporaryDir outside;
    QTemporaryDir dir;
    const QString driveFolder = dir.filePath(QStringLiteral("drive"));
    QVERIFY(QDir().mkpath(driveFolder));
    const DriveC drive(DosPaths(driveFolder, QStringLiteral("C:\\Horavane")));
    const QString victim = outside.filePath(QStringLiteral("ResultLog.txt"));
    const QByteArray kept = "\"someone else's file\"\r\n";
    {
        QFile f(victim);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kept);
    }
    if (linkedFolder)
        QVERIFY(QFile::link(outside.path(), driveFolder + QStringLiteral("/Horavane")));
    else
        QVERIFY(QDir().mkpath(driveFolder + QStringLiteral("/Horavane")) &&
                QFile::link(victim, driveFolder + QStringLiteral("/Horavane/ResultLog.txt")));
    const QString path = QStringLiteral("C:\\Horavane\\ResultLog.txt");
    QString error;
    bool ok = false;
    if (operation == QLatin1String("replace"))
        ok = drive.replace(path, "x\r\n", &error);
    else if (operation == QLatin1String("append"))
        ok = drive.append(path, "\"x\"\r\n", &error);
    else if (operation == QLatin1String("truncate"))
        ok = drive.truncate(path, &error);
    else
        ok = drive.remove(path, &error);
    QCOMPARE(ok, allowed);
    if (!allowed)
        QVERIFY2(error.contains(path), qPrintable(error));
    QCOMPARE(bytesOf(victim), kept);
    QCOMPARE(QDir(outside.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"ResultLog.txt"});
}

void TestDrive::truncateAndSize() {
    QTemporaryDir dir;
    const DriveC drive(DosPaths(dir.path(), QStringLiteral("C:\\")));
    QVERIFY(!drive.size(QStringLiteral("C:\\log.txt")));
    QVERIFY(drive.truncate(QStringLiteral("C:\\log.txt")));
    QCOMPARE(drive.size(QStringLiteral("C:\\log.txt")).value_or(-1), 0);
    QVERIFY(drive.append(QStringLiteral("C:\\log.txt"), QByteArray(1234, 'x')));
    QCOMPARE(drive.size(QStringLiteral("C:\\log.txt")).value_or(-1), 1234);
    QVERIFY(drive.truncate(QStringLiteral("C:\\log.txt")));
    QCOMPARE(drive.size(QStringLiteral("C:\\log.txt")).value_or(-1), 0);
    QVERIFY(!drive.size(QStringLiteral("C:\\")));
}

void TestDrive::readFieldsStopsAtTheLimit() {
    QTemporaryDir dir;
    const DriveC drive(DosPaths(dir.path(), QStringLiteral("C:\\")));
    QVERIFY(drive.replace(QStringLiteral("C:\\f.txt"), "a,b,c\r\nd\r\n"));
    QCOMPARE(drive.readFields(QStringLiteral("C:\\f.txt"), 2).value_or(QStringList()),
             (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    QCOMPARE(drive.readFields(QStringLiteral("C:\\f.txt")).value_or(QStringList()).size(), 4);
    // Only the first bytes: the field cut there ends the reading.
    QCOMPARE(drive.readFields(QStringLiteral("C:\\f.txt"), -1, nullptr, 3).value_or(QStringList()),
             (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    QCOMPARE(drive.readFields(QStringLiteral("C:\\f.txt"), -1, nullptr, 0).value_or(QStringList{"x"}), QStringList());
}

void TestDrive::missingFiles() {
    QTemporaryDir dir;
    const DriveC drive(DosPaths(dir.path(), QStringLiteral("C:\\")));
    QVERIFY(!drive.exists(QStringLiteral("C:\\AutoSyncKLOV.txt")));
    QVERIFY(!drive.readFields(QStringLiteral("C:\\AutoSyncKLOV.txt")));
    QVERIFY(!drive.remove(QStringLiteral("C:\\AutoSyncKLOV.txt")));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    QVERIFY(!drive.exists(QStringLiteral("C:\\folder")));
}

void TestDrive::environmentFolders() {
    QTemporaryDir dir;
    qputenv("HORAVANE_DRIVE_C", QFile::encodeName(dir.filePath(QStringLiteral("drive/../drive"))));
    qputenv("HORAVANE_PROGRAM_FOLDER", "C:\\Tools\\Clock");
    const DosPaths paths = DosPaths::fromEnvironment();
    QCOMPARE(paths.driveFolder(), dir.filePath(QStringLiteral("drive")));
    QCOMPARE(paths.programFolder(), QStringLiteral("C:\\Tools\\Clock"));
    QVERIFY(paths.ensureFolders());
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("drive/Tools/Clock"))).isDir());
    qunsetenv("HORAVANE_PROGRAM_FOLDER");
    QCOMPARE(DosPaths::fromEnvironment().programFolder(), QStringLiteral("C:\\Horavane"));
}

QTEST_GUILESS_MAIN(TestDrive)
#include "test_drive.moc"
