// The result log: creation, records kept byte for byte, the size limit and the drive-root folder.
#include "net_engine/result_log.h"
#include "platform/text_file.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestResultLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstRecordCreatesTheFile();
    void recordsAreKeptVerbatim_data();
    void recordsAreKeptVerbatim();
    void innerQuoteEndsTheRecordWhenRead();
    void sizeLimit_data();
    void sizeLimit();
    void missingLogIsNotOverTheLimit();
    void emptyTruncatesOrCreates();
    void driveRootGivesTwoBackslashes();
    void unwritableLogIsReportedNotFatal();
};

namespace {
const QString kFolder = QStringLiteral("C:\\Horavane");

struct Drive {
    QTemporaryDir dir;
    DriveC drive{DosPaths(dir.path(), kFolder)};
    Drive() { drive.paths().ensureFolders(); }
    QString logFile() const { return *drive.local(ResultLog::path(kFolder)); }
    QByteArray bytes() const {
        QFile f(logFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};
} // namespace

void TestResultLog::firstRecordCreatesTheFile() {
    Drive d;
    QVERIFY(!QFile::exists(d.logFile()));
    QVERIFY(ResultLog::append(d.drive, kFolder, QStringLiteral("SUCESS Synchronization on x")));
    QCOMPARE(d.bytes(), QByteArray("\"SUCESS Synchronization on x\"\r\n"));
    QVERIFY(ResultLog::append(d.drive, kFolder, QStringLiteral("second")));
    QCOMPARE(d.bytes(), QByteArray("\"SUCESS Synchronization on x\"\r\n\"second\"\r\n"));
}

void TestResultLog::recordsAreKeptVerbatim_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("record");
    QTest::newRow("blank start") << QStringLiteral(" Synchronization on 12/8/26")
                                 << QByteArray("\" Synchronization on 12/8/26\"\r\n");
    QTest::newRow("inner quote unescaped") << QStringLiteral("say \"hi\"") << QByteArray("\"say \"hi\"\"\r\n");
    QTest::newRow("comma kept") << QStringLiteral("a, b") << QByteArray("\"a, b\"\r\n");
    QTest::newRow("empty text") << QString() << QByteArray("\"\"\r\n");
    // What could split the record or turn it around is written as "?"; the record stays one line.
    QTest::newRow("LF") << QStringLiteral("With \\\\PC\n1 - x") << QByteArray("\"With \\\\PC?1 - x\"\r\n");
    QTest::newRow("CR LF") << QStringLiteral("With \\\\PC\r\n1") << QByteArray("\"With \\\\PC??1\"\r\n");
    QTest::newRow("U+202E") << QStringLiteral("With \\\\PC") + QChar(0x202e) + QStringLiteral("1 - x")
                            << QByteArray("\"With \\\\PC?1 - x\"\r\n");
    QTest::newRow("U+2066 to U+2069") << QString(QChar(0x2066)) + QChar(0x2069) << QByteArray("\"??\"\r\n");
    QTest::newRow("DEL") << QStringLiteral("a\x7f") << QByteArray("\"a?\"\r\n");
    QTest::newRow("C1 U+0085 and U+009F") << QString(QChar(0x85)) + QChar(0x9f) << QByteArray("\"??\"\r\n");
    QTest::newRow("other letters kept") << QStringLiteral("Zürich ") + QChar(0x202f) + QChar(0x05d0)
                                        << QByteArray("\"Z\xc3\xbcrich \xe2\x80\xaf\xd7\x90\"\r\n");
}

void TestResultLog::recordsAreKeptVerbatim() {
    QFETCH(QString, text);
    QFETCH(QByteArray, record);
    Drive d;
    QVERIFY(ResultLog::append(d.drive, kFolder, text));
    QCOMPARE(d.bytes(), record);
}

void TestResultLog::innerQuoteEndsTheRecordWhenRead() {
    Drive d;
    ResultLog::append(d.drive, kFolder, QStringLiteral(" With \"PC\" - x"));
    ResultLog::append(d.drive, kFolder, QStringLiteral("next"));
    const auto fields = d.drive.readFields(ResultLog::path(kFolder));
    QVERIFY(fields);
    QCOMPARE(*fields, (QStringList{QStringLiteral(" With "), QStringLiteral("next")}));
}

void TestResultLog::sizeLimit_data() {
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("over");
    QTest::newRow("empty") << qint64(0) << false;
    QTest::newRow("9,999,999") << qint64(9'999'999) << false;
    QTest::newRow("exactly 10,000,000 stays") << qint64(10'000'000) << false;
    QTest::newRow("10,000,001 is over") << qint64(10'000'001) << true;
    QTest::newRow("far over") << qint64(50'000'000) << true;
}

void TestResultLog::sizeLimit() {
    QFETCH(qint64, size);
    QFETCH(bool, over);
    Drive d;
    ResultLog::append(d.drive, kFolder, QStringLiteral("x"));
    QVERIFY(QFile::resize(d.logFile(), size)); // sparse, so big logs cost nothing to make
    QCOMPARE(ResultLog::isOverLimit(d.drive, kFolder), over);
    if (over) {
        QVERIFY(ResultLog::empty(d.drive, kFolder));
        QCOMPARE(QFileInfo(d.logFile()).size(), qint64(0));
        QVERIFY(!ResultLog::isOverLimit(d.drive, kFolder));
    }
}

void TestResultLog::missingLogIsNotOverTheLimit() {
    Drive d;
    QVERIFY(!ResultLog::isOverLimit(d.drive, kFolder));
    QVERIFY(!QFile::exists(d.logFile()));
}

void TestResultLog::emptyTruncatesOrCreates() {
    Drive d;
    QVERIFY(ResultLog::empty(d.drive, kFolder));
    QVERIFY(QFile::exists(d.logFile()));
    QCOMPARE(QFileInfo(d.logFile()).size(), qint64(0));
    ResultLog::append(d.drive, kFolder, QStringLiteral("one"));
    QVERIFY(ResultLog::empty(d.drive, kFolder));
    QCOMPARE(QFileInfo(d.logFile()).size(), qint64(0));
}

void TestResultLog::driveRootGivesTwoBackslashes() {
    QTemporaryDir dir;
    const QString root = QStringLiteral("C:\\");
    DriveC drive{DosPaths(dir.path(), root)};
    QCOMPARE(ResultLog::path(root), QStringLiteral("C:\\\\ResultLog.txt"));
    QVERIFY(ResultLog::append(drive, root, QStringLiteral("r")));
    QFile f(dir.path() + QStringLiteral("/ResultLog.txt"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("\"r\"\r\n"));
}

void TestResultLog::unwritableLogIsReportedNotFatal() {
    QTemporaryDir dir;
    DriveC drive{DosPaths(dir.path(), QStringLiteral("C:\\Gone"))}; // the program folder was never made
    QString error;
    QVERIFY(!ResultLog::append(drive, QStringLiteral("C:\\Gone"), QStringLiteral("lost"), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!ResultLog::isOverLimit(drive, QStringLiteral("C:\\Gone")));
}

QTEST_GUILESS_MAIN(TestResultLog)
#include "test_result_log.moc"
