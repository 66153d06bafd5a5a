// The log viewer: records in file order, the red marks as painted, reading of lines that are not records, and "Empty".
#include "app/forms.h"
#include "dialogs/log_viewer.h"
#include "net_engine/result_log.h"
#include "platform/controls/mlist.h"
#include "platform/controls/ss_command.h"
#include "tests/support/fake_platform.h"
#include "tests/support/list_clicks.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTest>

class TestLogViewer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void missingLogIsCreatedEmpty();
    void shows_data();
    void shows();
    void clickShowsEntry();
    void emptyTruncatesAndClears();
    void closeBoxRereadsAtTheNextOpening();

private:
    QString logFile() const { return m_platform->local(ResultLog::path(m_platform->programFolder())); }
    void writeLog(const QByteArray& bytes);
    QStringList entries(const MList* list) const;

    std::unique_ptr<FakePlatform> m_platform;
    std::unique_ptr<Forms> m_forms;
};

namespace {
// The pixels of an entry's row that are plainly red: its text painted in the entry colour.
int redPixels(const QImage& image, const QRect& row) {
    int red = 0;
    const QRect inside = row & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 150 && c.green() < 90 && c.blue() < 90)
                ++red;
        }
    }
    return red;
}
} // namespace

void TestLogViewer::init() {
    m_platform = std::make_unique<FakePlatform>();
    m_forms = std::make_unique<Forms>(*m_platform);
}

void TestLogViewer::cleanup() {
    m_forms.reset();
    m_platform.reset();
}

void TestLogViewer::writeLog(const QByteArray& bytes) {
    QFile file(logFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QStringList TestLogViewer::entries(const MList* list) const {
    QStringList out;
    for (int i = 0; i < list->entryCount(); ++i)
        out << list->entryText(i);
    return out;
}

void TestLogViewer::missingLogIsCreatedEmpty() {
    QVERIFY(!QFile::exists(logFile()));
    Tarnwick4& viewer = m_forms->tarnwick4();
    QCOMPARE(viewer.windowTitle(), QStringLiteral("Form1"));
    QCOMPARE(viewer.MList1->entryCount(), 0);
    QVERIFY(QFile::exists(logFile()));
    QCOMPARE(QFileInfo(logFile()).size(), 0);
}

void TestLogViewer::shows_data() {
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QList<int>>("red");
    QTest::newRow("records in file order")
        << QByteArray("\"SUCESS Synchronization on 12/08/2026 at 10:00:00 AM With a - x\"\r\n"
                      "\"FAILED Synchronization on 12/08/2026 at 11:00:00 AM With b - y\"\r\n"
                      "\" Synchronization on 12/08/2026 at 12:00:00 PM With \\\\PC - z\"\r\n")
        << QStringList{"SUCESS Synchronization on 12/08/2026 at 10:00:00 AM With a - x",
                       "FAILED Synchronization on 12/08/2026 at 11:00:00 AM With b - y",
                       " Synchronization on 12/08/2026 at 12:00:00 PM With \\\\PC - z"}
        << QList<int>{1};
    QTest::newRow("case of the first letter") << QByteArray("\"F\"\r\n\"u\"\r\n\"f\"\r\n\"U\"\r\n\"\"\r\n\"x F\"\r\n")
                                              << QStringList{"F", "u", "f", "U", "", "x F"} << QList<int>{0, 1};
    QTest::newRow("unquoted lines split at commas")
        << QByteArray("unable to reach, FAILED ,  ok\r\n\r\n\"a, b\"\r\n")
        << QStringList{"unable to reach", "FAILED", "ok", "", "a, b"} << QList<int>{0, 1};
    QTest::newRow("empty file") << QByteArray() << QStringList{} << QList<int>{};
}

void TestLogViewer::shows() {
    QFETCH(QByteArray, log);
    QFETCH(QStringList, entries);
    QFETCH(QList<int>, red);
    writeLog(log);
    Tarnwick4& viewer = m_forms->tarnwick4();
    QCOMPARE(this->entries(viewer.MList1), entries);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    MList* list = viewer.MList1;
    const QImage painted = list->viewport()->grab().toImage();
    for (int i = 0; i < list->entryCount(); ++i) {
        const bool marked = red.contains(i);
        QCOMPARE(list->hasEntryColor(i), marked);
        const QRect row = list->visualItemRect(list->item(i));
        QVERIFY2(painted.rect().contains(row.center()), "the entry lies outside the list's view");
        const int redOnScreen = redPixels(painted, row);
        QVERIFY2((redOnScreen > 0) == marked,
                 qPrintable(QStringLiteral("entry %1: %2 red pixels").arg(i).arg(redOnScreen)));
    }
}

void TestLogViewer::clickShowsEntry() {
    writeLog("\"one\"\r\n\"two, with a comma\"\r\n");
    Tarnwick4& viewer = m_forms->tarnwick4();
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    clickEntry(viewer.MList1, 1);
    QCOMPARE(viewer.Label1->text(), QStringLiteral("two, with a comma"));
    QTest::mouseClick(viewer.SSCommand1, Qt::LeftButton);
    QVERIFY(!m_forms->isTarnwick4Loaded());
}

void TestLogViewer::emptyTruncatesAndClears() {
    writeLog("\"FAILED a\"\r\n\"SUCESS b\"\r\n");
    Tarnwick4& viewer = m_forms->tarnwick4();
    viewer.MList1_Click(0);
    QTest::mouseClick(viewer.SSCommand2, Qt::LeftButton);
    QCOMPARE(viewer.MList1->entryCount(), 0);
    QCOMPARE(QFileInfo(logFile()).size(), 0);
    QCOMPARE(viewer.Label1->text(), QStringLiteral("FAILED a"));
    m_forms->unload(&viewer);
    QCOMPARE(m_forms->tarnwick4().MList1->entryCount(), 0);
}

void TestLogViewer::closeBoxRereadsAtTheNextOpening() {
    writeLog("\"SUCESS first\"\r\n");
    Tarnwick4& viewer = m_forms->tarnwick4();
    viewer.show();
    QCOMPARE(entries(viewer.MList1), QStringList{"SUCESS first"});
    QVERIFY(viewer.close());
    QVERIFY(!m_forms->isTarnwick4Loaded());
    writeLog("\"SUCESS first\"\r\n\"FAILED second\"\r\n");
    // The records appended meanwhile are there at the next opening.
    Tarnwick4& again = m_forms->tarnwick4();
    QCOMPARE(entries(again.MList1), (QStringList{"SUCESS first", "FAILED second"}));
    QVERIFY(again.MList1->hasEntryColor(1));
}

QTEST_MAIN(TestLogViewer)
#include "test_log_viewer.moc"
