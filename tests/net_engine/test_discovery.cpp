// Network computer discovery: which status-file fields become entries, and the run on the worker window with
// the selection dialog open, closed or never opened.
#include "app/forms.h"
#include "dialogs/server_dialog.h"
#include "net_engine/discovery_rules.h"
#include "net_engine/worker_window.h"
#include "platform/controls/mlist.h"
#include "platform/controls/ss_panel.h"
#include "platform/controls/vb_color.h"
#include "tests/support/fake_platform.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

class TestDiscovery : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void entries_data();
    void entries();
    void startWritesTheCommandAndStartsItOnce();
    void completes_data();
    void completes();
    void missingStatusFileStillCompletes();
    void largeNetworkListsAllShowsTail();
    void manualEntriesStay();
    void closedDialogLoadsAgainHidden();
    void pickOnWorkerPanel();

private:
    QString local(const char* dosPath) const { return m_platform->local(QString::fromLatin1(dosPath)); }
    void writeStatus(const QByteArray& bytes);
    static QStringList entriesOf(const QListWidget* list);

    std::unique_ptr<FakePlatform> m_platform;
    std::unique_ptr<Forms> m_forms;
};

namespace {
const QString kName30 = QStringLiteral("\\\\") + QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123");
} // namespace

void TestDiscovery::init() {
    m_platform = std::make_unique<FakePlatform>();
    m_forms = std::make_unique<Forms>(*m_platform);
}

void TestDiscovery::cleanup() {
    m_forms.reset();
    m_platform.reset();
}

void TestDiscovery::writeStatus(const QByteArray& bytes) {
    QFile file(local("C:\\StatusTime.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QStringList TestDiscovery::entriesOf(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

void TestDiscovery::entries_data() {
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<bool>("unterminated");
    QTest::addColumn<QStringList>("computers");
    QTest::newRow("30-character name keeps 23") << QStringList{kName30} << false << QStringList{kName30.left(23)};
    QTest::newRow("trailing blanks kept")
        << QStringList{"\\\\PC1        Office"} << false << QStringList{"\\\\PC1        Office"};
    QTest::newRow("short name whole") << QStringList{"\\\\A"} << false << QStringList{"\\\\A"};
    QTest::newRow("headings and rule skipped")
        << QStringList{"Server Name            Remark", "-------", "\\\\PC2", "The command completed successfully."}
        << false << QStringList{"\\\\PC2"};
    QTest::newRow("net time line not listed")
        << QStringList{"Current time at \\\\PC3 is 12/08/2026"} << false << QStringList{};
    QTest::newRow("one backslash not listed") << QStringList{"\\PC4"} << false << QStringList{};
    QTest::newRow("repeats kept, no sorting")
        << QStringList{"\\\\ZED", "\\\\ALPHA", "\\\\ZED"} << false << QStringList{"\\\\ZED", "\\\\ALPHA", "\\\\ZED"};
    QTest::newRow("unterminated last field dropped")
        << QStringList{"\\\\PC5", "\\\\PC6\r\n\\\\PC7   remark\r\n"} << true << QStringList{"\\\\PC5"};
    QTest::newRow("nothing read") << QStringList{} << true << QStringList{};
}

void TestDiscovery::entries() {
    QFETCH(QStringList, fields);
    QFETCH(bool, unterminated);
    QFETCH(QStringList, computers);
    QCOMPARE(Discovery::computers(fields, unterminated), computers);
}

void TestDiscovery::startWritesTheCommandAndStartsItOnce() {
    writeStatus("earlier output\r\n");
    Tarnwick& worker = m_forms->tarnwick();
    worker.List1->addItem(QStringLiteral("\\\\OLD"));
    worker.Command3_Click();
    QFile command(local("C:\\gTime.bat"));
    QVERIFY(command.open(QIODevice::ReadOnly));
    QCOMPARE(command.readAll(), QByteArray("net view > c:\\StatusTime.txt\r\n"));
    QCOMPARE(QFileInfo(local("C:\\StatusTime.txt")).size(), 0);
    QCOMPARE(worker.List1->count(), 0);
    QCOMPARE(m_platform->started, (QList<QPair<QString, int>>{{QStringLiteral("c:\\gTime.bat"), 6}}));
    QCOMPARE(worker.Text3->property("backColor").toUInt(), VbColor::Red);
    QVERIFY(worker.Timer4->isActive());
    QCOMPARE(worker.Timer4->interval(), 2000);
    // No dialog is written before the completion step.
    QVERIFY(!m_forms->isTarnwick2Loaded());
}

void TestDiscovery::completes_data() {
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QStringList>("computers");
    QTest::newRow("net view output")
        << QByteArray("Server Name            Remark\r\n"
                      "-------------------------------------------------------------------------------\r\n"
                      "\\\\ALPHA                 Front desk\r\n"
                      "   \\\\BETA\r\n"
                      "\\\\GAMMA                 Printer, second floor\r\n"
                      "\\\\ALPHA                 Front desk\r\n"
                      "The command completed successfully.\r\n")
        << QStringList{"\\\\ALPHA                ", "\\\\BETA", "\\\\GAMMA                ",
                       "\\\\ALPHA                "};
    QTest::newRow("30-character name") << QByteArray("\\\\ABCDEFGHIJKLMNOPQRSTUVWXYZ0123\r\n")
                                       << QStringList{kName30.left(23)};
    QTest::newRow("comma remark") << QByteArray("\\\\PC9 Lab, room 4\r\n") << QStringList{"\\\\PC9 Lab"};
    QTest::newRow("unterminated quote") << QByteArray("\\\\ONE\r\n\"\\\\TWO\r\n\\\\THREE\r\n")
                                        << QStringList{"\\\\ONE"};
    QTest::newRow("net time output") << QByteArray("Current time at \\\\PC is 12/8/2026 10:00 AM\r\n") << QStringList{};
}

void TestDiscovery::completes() {
    QFETCH(QByteArray, status);
    QFETCH(QStringList, computers);
    Tarnwick& worker = m_forms->tarnwick();
    Tarnwick2& dialog = m_forms->tarnwick2();
    dialog.Timer1->stop();
    dialog.show();
    dialog.setCursor(Qt::WaitCursor);
    worker.Command3_Click();
    writeStatus(status);
    worker.Timer4_Timer();
    QVERIFY(!worker.Timer4->isActive());
    QCOMPARE(entriesOf(worker.List1), computers);
    QCOMPARE(entriesOf(dialog.MList1), computers);
    QCOMPARE(worker.Text3->property("backColor").toUInt(), VbColor::White);
    // The panel shows what the command printed, whether or not it named a computer: the file's first field is
    // one of its lines.
    const QString firstField = QString::fromUtf8(status.left(status.indexOf('\r')).split(',').constFirst());
    QVERIFY2(!firstField.isEmpty() && worker.Text3->toPlainText().split(QLatin1Char('\n')).contains(firstField),
             qPrintable(worker.Text3->toPlainText()));
    QCOMPARE(dialog.Label1->text(), QStringLiteral("List Is Complete"));
    QCOMPARE(dialog.cursor().shape(), Qt::ArrowCursor);
    QVERIFY(dialog.SSPanel2->isHidden());
}

void TestDiscovery::missingStatusFileStillCompletes() {
    Tarnwick& worker = m_forms->tarnwick();
    worker.Command3_Click();
    QVERIFY(QFile::remove(local("C:\\StatusTime.txt")));
    worker.Timer4_Timer();
    QCOMPARE(worker.List1->count(), 0);
    QCOMPARE(worker.Text3->toPlainText(), QString());
    QCOMPARE(m_forms->tarnwick2().Label1->text(), QStringLiteral("List Is Complete"));
    QCOMPARE(m_forms->tarnwick2().MList1->entryCount(), 0);
}

void TestDiscovery::largeNetworkListsAllShowsTail() {
    QByteArray status;
    for (int i = 0; i < 4000; ++i)
        status += "\\\\HOST" + QByteArray::number(i) + "                 A remark long enough\r\n";
    status += "The command completed successfully.\r\n";
    Tarnwick& worker = m_forms->tarnwick();
    worker.Command3_Click();
    writeStatus(status);
    worker.Timer4_Timer();
    QCOMPARE(worker.List1->count(), 4000);
    QCOMPARE(m_forms->tarnwick2().MList1->entryText(3999), QStringLiteral("\\\\HOST3999").leftJustified(23));
    const QString shown = worker.Text3->toPlainText();
    QVERIFY(shown.size() <= Tarnwick::kText3MaxChars);
    QVERIFY(shown.endsWith(QStringLiteral("The command completed successfully.")));
}

void TestDiscovery::manualEntriesStay() {
    Tarnwick2& dialog = m_forms->tarnwick2();
    dialog.Timer1->stop();
    dialog.MList1->addEntry(QStringLiteral("\\\\TYPED"));
    Tarnwick& worker = m_forms->tarnwick();
    worker.Command3_Click();
    writeStatus("\\\\FOUND\r\n");
    worker.Timer4_Timer();
    // The panel's own list starts afresh; the dialog's keeps what stood in it.
    QCOMPARE(entriesOf(worker.List1), QStringList{"\\\\FOUND"});
    QCOMPARE(entriesOf(dialog.MList1), (QStringList{"\\\\TYPED", "\\\\FOUND"}));
}

void TestDiscovery::closedDialogLoadsAgainHidden() {
    Tarnwick2* first = &m_forms->tarnwick2();
    first->show();
    QTRY_VERIFY_WITH_TIMEOUT(m_forms->isTarnwickLoaded() && m_forms->tarnwick().Timer4->isActive(), 3000);
    first->SSCommand1_Click();
    QVERIFY(!m_forms->isTarnwick2Loaded());
    writeStatus("\\\\LATE\r\n");
    m_forms->tarnwick().Timer4_Timer();
    QVERIFY(m_forms->isTarnwick2Loaded());
    Tarnwick2& again = m_forms->tarnwick2();
    QVERIFY(!again.isVisible());
    QCOMPARE(again.MList2->entryCount(), 45);
    QCOMPARE(entriesOf(again.MList1), QStringList{"\\\\LATE"});
    QCOMPARE(again.Label1->text(), QStringLiteral("List Is Complete"));
    // Its own load starts one more discovery half a second later.
    QVERIFY(again.Timer1->isActive());
}

void TestDiscovery::pickOnWorkerPanel() {
    Tarnwick& worker = m_forms->tarnwick();
    worker.List1->addItems({QStringLiteral("\\\\ONE   "), QStringLiteral("\\\\TWO        Office")});
    worker.List1->setCurrentRow(1);
    worker.List1_Click();
    QCOMPARE(worker.Text4->text(), QStringLiteral("\\\\TWO        Office"));
    worker.List1->setCurrentRow(0);
    worker.List1_Click();
    QCOMPARE(worker.Text4->text(), QStringLiteral("\\\\ONE"));
}

QTEST_MAIN(TestDiscovery)
#include "test_discovery.moc"
