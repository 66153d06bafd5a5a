// DOS paths onto the drive folder, and the file operations on them.
#include "platform/text_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestDrive : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void mapsPaths_data();
    void mapsPaths();
    void replaceIsWholeAndLeavesNoTemporary();
    void replaceFailsOnAFolderAndKeepsIt();
    void appendCreatesThenAdds();
    void truncateAndSize();
    void readFieldsStopsAtTheLimit();
    void missingFiles();
    void environmentFolders();
};

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

void TestDrive::appendCreatesThenAdds() {
    QTemporaryDir dir;
    const DriveC drive(DosPaths(dir.path(), QStringLiteral("C:\\")));
    QVERIFY(drive.append(QStringLiteral("C:\\log.txt"), TextFile::quotedRecord(QStringLiteral("one"))));
    QVERIFY(drive.append(QStringLiteral("C:\\log.txt"), TextFile::quotedRecord(QStringLiteral("two"))));
    QCOMPARE(drive.readFields(QStringLiteral("C:\\log.txt")).value_or(QStringList()),
             (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
    QVERIFY(!drive.append(QStringLiteral("C:\\no\\such\\folder.txt"), "x"));
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
