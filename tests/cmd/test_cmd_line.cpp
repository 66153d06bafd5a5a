// The command interpreter's line parser: the two builtins, their redirection, and hostile names refused.
#include "cmd/command_line.h"

#include <QTest>

using Kind = CommandLine::Kind;

class TestCmdLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parse_data();
    void parse();
    void hostileNamesRunNothing_data();
    void hostileNamesRunNothing();
    void hostNames_data();
    void hostNames();
    void splitLines();
};

void TestCmdLine::parse_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("target");
    const QString status = QStringLiteral("c:\\StatusTime.txt");
    QTest::newRow("time run") << QStringLiteral("net time \\\\PC1 /set /yes >c:\\StatusTime.txt") << int(Kind::NetTime)
                              << QStringLiteral("PC1") << status;
    QTest::newRow("trailing blanks of the name") << QStringLiteral("net time \\\\PC1    /set /yes >c:\\StatusTime.txt")
                                                 << int(Kind::NetTime) << QStringLiteral("PC1") << status;
    QTest::newRow("IPv4 literal, no redirection") << QStringLiteral("net time \\\\127.0.0.1 /set /yes")
                                                  << int(Kind::NetTime) << QStringLiteral("127.0.0.1") << QString();
    QTest::newRow("IPv6 literal") << QStringLiteral("NET TIME \\\\::1 /SET /YES > c:\\s.txt") << int(Kind::NetTime)
                                  << QStringLiteral("::1") << QStringLiteral("c:\\s.txt");
    QTest::newRow("discovery") << QStringLiteral("net view > c:\\StatusTime.txt") << int(Kind::NetView) << QString()
                               << status;
    QTest::newRow("discovery without blank")
        << QStringLiteral("net view >c:\\StatusTime.txt") << int(Kind::NetView) << QString() << status;
    QTest::newRow("blank line") << QStringLiteral("   ") << int(Kind::Empty) << QString() << QString();
    QTest::newRow("empty name: two blanks")
        << QStringLiteral("net time  /set /yes >c:\\StatusTime.txt") << int(Kind::SyntaxError) << QString() << status;
    QTest::newRow("name without backslashes") << QStringLiteral("net time pc1 /set /yes >c:\\StatusTime.txt")
                                              << int(Kind::SyntaxError) << QString() << status;
    QTest::newRow("switches missing") << QStringLiteral("net time \\\\PC1 >c:\\StatusTime.txt")
                                      << int(Kind::SyntaxError) << QString() << status;
    QTest::newRow("net view with arguments")
        << QStringLiteral("net view \\\\x") << int(Kind::SyntaxError) << QString() << QString();
    QTest::newRow("other program") << QStringLiteral("rm -rf / >c:\\StatusTime.txt") << int(Kind::NotRecognized)
                                   << QString() << status;
    QTest::newRow("other net command") << QStringLiteral("net user x /add") << int(Kind::NotRecognized) << QString()
                                       << QString();
    QTest::newRow("redirection to a second command")
        << QStringLiteral("net view > c:\\a.txt & calc") << int(Kind::SyntaxError) << QString() << QString();
}

void TestCmdLine::parse() {
    QFETCH(QString, line);
    QFETCH(int, kind);
    QFETCH(QString, host);
    QFETCH(QString, target);
    const CommandLine c = CommandLines::parse(line);
    QCOMPARE(int(c.kind), kind);
    QCOMPARE(c.host, host);
    QCOMPARE(c.target, target);
    QCOMPARE(c.message.isEmpty(), kind == int(Kind::NetTime) || kind == int(Kind::NetView) || kind == int(Kind::Empty));
}

void TestCmdLine::hostileNamesRunNothing_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("blank inside") << QStringLiteral("\\\\my pc");
    QTest::newRow("double quotes") << QStringLiteral("\\\\\"pc\"");
    QTest::newRow("ampersand") << QStringLiteral("\\\\pc&calc");
    QTest::newRow("pipe") << QStringLiteral("\\\\pc|sh");
    QTest::newRow("greater-than") << QStringLiteral("\\\\pc>c:\\evil.txt");
    QTest::newRow("percent") << QStringLiteral("\\\\%PATH%");
    QTest::newRow("CR LF inside") << QStringLiteral("\\\\pc\r\nnet view");
    QTest::newRow("lone CR") << QStringLiteral("\\\\pc\rx");
    QTest::newRow("semicolon and backquote") << QStringLiteral("\\\\pc;`id`");
    QTest::newRow("10,000 characters") << QStringLiteral("\\\\") + QString(10000, QLatin1Char('a'));
    QTest::newRow("non-ASCII") << QString::fromUtf8("\\\\r\xC3\xA9seau");
    QTest::newRow("leading dash") << QStringLiteral("\\\\-oProxyCommand");
    QTest::newRow("empty label") << QStringLiteral("\\\\a..b");
    QTest::newRow("three backslashes") << QStringLiteral("\\\\\\pc");
}

void TestCmdLine::hostileNamesRunNothing() {
    QFETCH(QString, name);
    const CommandLine c =
        CommandLines::parse(QStringLiteral("net time ") + name + QStringLiteral(" /set /yes >c:\\StatusTime.txt"));
    QCOMPARE(int(c.kind), int(Kind::SyntaxError));
    QVERIFY(c.host.isEmpty());
    // The error goes to the status file, so the user sees why nothing happened.
    QCOMPARE(c.target, QStringLiteral("c:\\StatusTime.txt"));
    QVERIFY(c.message.contains(QLatin1String("NET TIME \\\\computername /SET /YES")));
    QVERIFY(!c.message.startsWith(QLatin1Char('"'))); // the field reader would cut such a line at its next quote
    QVERIFY(c.message.size() < 600);                  // a huge name is not echoed whole
    QVERIFY(!c.message.contains(QLatin1Char('\r') + QStringLiteral("x"))); // control characters are not echoed
}

void TestCmdLine::hostNames_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << QStringLiteral("PC1") << true;
    QTest::newRow("mDNS name") << QStringLiteral("my-laptop.local") << true;
    QTest::newRow("fully qualified with dot") << QStringLiteral("time.example.org.") << true;
    QTest::newRow("underscore") << QStringLiteral("old_pc") << true;
    QTest::newRow("IPv4") << QStringLiteral("192.0.2.1") << true;
    QTest::newRow("IPv6") << QStringLiteral("fe80::1") << true;
    QTest::newRow("not IPv6") << QStringLiteral("fe80::g") << false;
    QTest::newRow("label of 64") << QString(64, QLatin1Char('a')) << false;
    QTest::newRow("254 characters") << (QString(63, QLatin1Char('a')) + QLatin1Char('.')).repeated(4).left(254)
                                    << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("slash") << QStringLiteral("a/b") << false;
}

void TestCmdLine::hostNames() {
    QFETCH(QString, host);
    QFETCH(bool, valid);
    QCOMPARE(CommandLines::isHostName(host), valid);
}

void TestCmdLine::splitLines() {
    QCOMPARE(CommandLines::splitLines("a\r\nb\nc\rd\r\n"), (QStringList{"a", "b", "c\rd"}));
    QCOMPARE(CommandLines::splitLines(""), QStringList());
    QCOMPARE(CommandLines::splitLines("\r\n\r\nx"), (QStringList{"", "", "x"}));
}

QTEST_GUILESS_MAIN(TestCmdLine)
#include "test_cmd_line.moc"
