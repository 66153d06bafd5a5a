// The command line, the command file and the texts made from the status file.
#include "net_engine/command_runner.h"
#include "platform/text_file.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestCommandRunner : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commandLine_data();
    void commandLine();
    void commandFileHoldsOnlyTheLastLine();
    void unwritableCommandFileSaysWhy();
    void joinFields_data();
    void joinFields();
    void keepTail_data();
    void keepTail();
};

void TestCommandRunner::commandLine_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("line");
    QTest::newRow("computer") << QStringLiteral("\\\\PC1")
                              << QStringLiteral("net time \\\\PC1 /set /yes >c:\\StatusTime.txt");
    QTest::newRow("empty name gives two blanks")
        << QString() << QStringLiteral("net time  /set /yes >c:\\StatusTime.txt");
    QTest::newRow("trailing blanks kept")
        << QStringLiteral("\\\\PC1   ") << QStringLiteral("net time \\\\PC1    /set /yes >c:\\StatusTime.txt");
    QTest::newRow("no backslashes unchanged")
        << QStringLiteral("pc1") << QStringLiteral("net time pc1 /set /yes >c:\\StatusTime.txt");
    QTest::newRow("not quoted") << QStringLiteral("a b")
                                << QStringLiteral("net time a b /set /yes >c:\\StatusTime.txt");
}

void TestCommandRunner::commandLine() {
    QFETCH(QString, name);
    QFETCH(QString, line);
    QCOMPARE(CommandRunner::timeCommandLine(name), line);
}

void TestCommandRunner::commandFileHoldsOnlyTheLastLine() {
    QTemporaryDir dir;
    DriveC drive{DosPaths(dir.path(), QStringLiteral("C:\\"))};
    QVERIFY(
        CommandRunner::writeCommandFile(drive, CommandRunner::timeCommandLine(QStringLiteral("\\\\FIRST-LONG-NAME"))));
    QVERIFY(CommandRunner::writeCommandFile(drive, CommandRunner::timeCommandLine(QStringLiteral("\\\\B"))));
    QFile f(dir.path() + QStringLiteral("/gTime.bat"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("net time \\\\B /set /yes >c:\\StatusTime.txt\r\n"));
}

void TestCommandRunner::unwritableCommandFileSaysWhy() {
    QTemporaryDir dir;
    DriveC drive{DosPaths(dir.path() + QStringLiteral("/gone"), QStringLiteral("C:\\"))};
    QString error;
    QVERIFY(!CommandRunner::writeCommandFile(drive, QStringLiteral("net view"), &error));
    QVERIFY(!error.isEmpty());
}

void TestCommandRunner::joinFields_data() {
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("text");
    QTest::newRow("refresh: CR before every field")
        << QStringList{"one", "two"} << QStringLiteral("\r") << QStringLiteral("\rone\rtwo");
    QTest::newRow("result: CR LF before every field")
        << QStringList{"a", "", "c"} << QStringLiteral("\r\n") << QStringLiteral("\r\na\r\n\r\nc");
    QTest::newRow("no fields") << QStringList{} << QStringLiteral("\r") << QString();
}

void TestCommandRunner::joinFields() {
    QFETCH(QStringList, fields);
    QFETCH(QString, separator);
    QFETCH(QString, text);
    QCOMPARE(CommandRunner::joinFields(fields, separator), text);
}

void TestCommandRunner::keepTail_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("max");
    QTest::addColumn<QString>("kept");
    QTest::newRow("short stays") << QStringLiteral("abc") << 3 << QStringLiteral("abc");
    QTest::newRow("long keeps its end") << QStringLiteral("abcdef") << 2 << QStringLiteral("ef");
    const QString clef = QString::fromUtf8("x\xF0\x9D\x84\x9Ey"); // x, a surrogate pair, y
    QTest::newRow("never half a pair") << clef << 2 << QStringLiteral("y");
}

void TestCommandRunner::keepTail() {
    QFETCH(QString, text);
    QFETCH(int, max);
    QFETCH(QString, kept);
    QCOMPARE(CommandRunner::keepTail(text, max), kept);
}

QTEST_GUILESS_MAIN(TestCommandRunner)
#include "test_command_runner.moc"
