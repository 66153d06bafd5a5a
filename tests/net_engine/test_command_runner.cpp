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
    void nameProblem_data();
    void nameProblem();
    void clearStatusFile();
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

void TestCommandRunner::nameProblem_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("problem"); // the start of the reason; empty when the name is taken
    const QString control = QStringLiteral("The name cannot be used: it holds a line break");
    const QString tooLong = QStringLiteral("The name cannot be used: it is longer than 255 characters.");
    const QString longest = QStringLiteral("\\\\") + QString(255, QLatin1Char('a'));
    QTest::newRow("computer") << QStringLiteral("\\\\PC1") << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("trailing blanks") << QStringLiteral("\\\\PC1   ") << QString();
    QTest::newRow("blanks inside (the interpreter says why)") << QStringLiteral("\\\\pc & x") << QString();
    QTest::newRow("255 characters") << longest << QString();
    QTest::newRow("255 and trailing blanks") << longest + QStringLiteral("  ") << QString();
    QTest::newRow("255 without backslashes") << QString(255, QLatin1Char('a')) << QString();
    QTest::newRow("256 characters") << longest + QLatin1Char('a') << tooLong;
    QTest::newRow("256 without backslashes") << QString(256, QLatin1Char('a')) << tooLong;
    QTest::newRow("a third backslash counts") << QStringLiteral("\\\\\\") + QString(255, QLatin1Char('a')) << tooLong;
    QTest::newRow("32,765 characters") << QString(32765, QLatin1Char('a')) << tooLong;
    QTest::newRow("CR LF: a second command line") << QStringLiteral("\\\\PC1 /set /yes\r\nnet view >c:\\XY") << control;
    QTest::newRow("LF") << QStringLiteral("\\\\PC1\n") << control;
    QTest::newRow("CR") << QStringLiteral("\\\\PC1\r") << control;
    QTest::newRow("tab") << QStringLiteral("\\\\PC\t1") << control;
    QTest::newRow("NUL") << QStringLiteral("\\\\PC") + QChar(0) << control;
    QTest::newRow("DEL") << QStringLiteral("\\\\PC\x7f") << control;
    QTest::newRow("next line U+0085") << QStringLiteral("\\\\PC") + QChar(0x85) << control;
    QTest::newRow("line separator U+2028") << QStringLiteral("\\\\PC") + QChar(0x2028) << control;
    QTest::newRow("control before a long name") << QStringLiteral("\n") + QString(300, QLatin1Char('a')) << control;
    QTest::newRow("the reason names the character")
        << QStringLiteral("\\\\PC\x1b[2J") << control + QStringLiteral(" or another control character (U+001B).");
    const QString direction =
        QStringLiteral("The name cannot be used: it holds %1, a control that turns the direction");
    QTest::newRow("right-to-left override U+202E")
        << QStringLiteral("\\\\PC") + QChar(0x202e) + QStringLiteral("1") << direction.arg("U+202E");
    QTest::newRow("isolate U+2066") << QStringLiteral("\\\\") + QChar(0x2066) + QStringLiteral("PC1")
                                    << direction.arg("U+2066");
    QTest::newRow("a letter beside the controls") << QStringLiteral("\\\\PC") + QChar(0x2065) << QString();
}

void TestCommandRunner::nameProblem() {
    QFETCH(QString, name);
    QFETCH(QString, problem);
    const QString found = CommandRunner::nameProblem(name);
    if (problem.isEmpty())
        QCOMPARE(found, QString());
    else
        QVERIFY2(found.startsWith(problem), qPrintable(found));
}

void TestCommandRunner::clearStatusFile() {
    QTemporaryDir dir;
    DriveC drive{DosPaths(dir.path(), QStringLiteral("C:\\"))};
    const QString status = dir.path() + QStringLiteral("/StatusTime.txt");
    QVERIFY(drive.replace(CommandRunner::kStatusFile, "The command completed successfully.\r\n"));
    QVERIFY(CommandRunner::clearStatusFile(drive));
    QVERIFY(!QFile::exists(status));
    QVERIFY(CommandRunner::clearStatusFile(drive)); // nothing there is fine
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
