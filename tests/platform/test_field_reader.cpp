// The field reader and the record and line writers, byte by byte.
#include "platform/field_reader.h"
#include "platform/text_file.h"

#include <QBuffer>
#include <QTest>

class TestFieldReader : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reads_data();
    void reads();
    void writersRoundTrip();
    void longFieldIsCut();
};

namespace {
QStringList readAll(const QByteArray& bytes) {
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    FieldReader reader(buffer);
    QStringList fields;
    while (!reader.atEnd())
        fields << reader.next();
    return fields;
}
} // namespace

void TestFieldReader::reads_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("quoted") << QByteArray("\"a, b\"\r\n") << QStringList{"a, b"};
    QTest::newRow("unquoted trims blanks") << QByteArray("  one  ,two\r\n") << QStringList{"one", "two"};
    QTest::newRow("rest after quote skipped") << QByteArray("\"x\" junk,y\r\n") << QStringList{"x", "y"};
    QTest::newRow("empty line is one field") << QByteArray("a\r\n\r\nb\r\n") << QStringList{"a", "", "b"};
    QTest::newRow("lone LF and lone CR") << QByteArray("a\nb\rc") << QStringList{"a", "b", "c"};
    QTest::newRow("no final line end") << QByteArray("\"last\"") << QStringList{"last"};
    QTest::newRow("unterminated quote runs to the end")
        << QByteArray("\"open,\r\nmore") << QStringList{"open,\r\nmore"};
    QTest::newRow("NUL bytes kept") << QByteArray("a\0b,c", 5) << QStringList{QString::fromUtf8("a\0b", 3), "c"};
    QTest::newRow("leading blanks before backslashes")
        << QByteArray("   \\\\PC1   remark\r\n") << QStringList{"\\\\PC1   remark"};
    QTest::newRow("inner quote ends the record") << QByteArray("\"say \"hi\"\"\r\n") << QStringList{"say "};
}

void TestFieldReader::reads() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, fields);
    QCOMPARE(readAll(bytes), fields);
    // Bytes already in memory read the same as a device, and only an open quote at the very end is unterminated.
    bool unterminated = true;
    QCOMPARE(FieldReader(bytes).fields(-1, &unterminated), fields);
    QCOMPARE(unterminated, QTest::currentDataTag() == QLatin1String("unterminated quote runs to the end"));
    QCOMPARE(FieldReader(bytes).fields(1), fields.mid(0, 1));
}

void TestFieldReader::writersRoundTrip() {
    QCOMPARE(TextFile::quotedRecord(" Synchronization on x"), QByteArray("\" Synchronization on x\"\r\n"));
    QCOMPARE(TextFile::line("net view > c:\\StatusTime.txt"), QByteArray("net view > c:\\StatusTime.txt\r\n"));
    const QStringList texts{"NONE SELECTED", "", "a,b", "NOT SCHEDULED"};
    QByteArray file;
    for (const QString& t : texts)
        file += TextFile::quotedRecord(t);
    QCOMPARE(readAll(file), texts);
}

void TestFieldReader::longFieldIsCut() {
    const QByteArray huge(FieldReader::kMaxFieldBytes * 3, 'x');
    const QStringList fields = readAll(huge + ",next\r\n");
    QCOMPARE(fields.size(), 2);
    QCOMPARE(fields[0].size(), FieldReader::kMaxFieldBytes);
    QCOMPARE(fields[1], QStringLiteral("next"));
}

QTEST_GUILESS_MAIN(TestFieldReader)
#include "test_field_reader.moc"
