// The server selection dialog: the Internet list, choosing an entry, manual entries and the start of discovery.
#include "app/forms.h"
#include "app/main_window.h"
#include "data/server_lists.h"
#include "dialogs/server_dialog.h"
#include "net_engine/worker_window.h"
#include "platform/controls/mlist.h"
#include "platform/controls/ss_command.h"
#include "platform/controls/ss_panel.h"
#include "tests/support/fake_platform.h"
#include "tests/support/list_clicks.h"

#include <QLabel>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTimer>

class TestServerDialog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init();
    void cleanup();
    void loads();
    void internetListPattern();
    void clickChooses_data();
    void clickChooses();
    void manualEntries_data();
    void manualEntries();
    void cancelLeavesLabel();
    void startsDiscoveryOnceAfterHalfASecond();
    void closeBoxUnloads();

private:
    Tarnwick2& open();

    std::unique_ptr<FakePlatform> m_platform;
    std::unique_ptr<Forms> m_forms;
};

void TestServerDialog::init() {
    m_platform = std::make_unique<FakePlatform>();
    m_forms = std::make_unique<Forms>(*m_platform);
    m_forms->tarnwick1().Label1->setText(QStringLiteral("time.example.org"));
}

void TestServerDialog::cleanup() {
    m_forms.reset();
    m_platform.reset();
}

Tarnwick2& TestServerDialog::open() {
    Tarnwick2& dialog = m_forms->tarnwick2();
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog))
        qWarning("dialog not exposed");
    return dialog;
}

void TestServerDialog::loads() {
    Tarnwick2& dialog = open();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Select Computer"));
    QCOMPARE(dialog.Label1->text(), QStringLiteral("Getting Your Network Computers"));
    QVERIFY(dialog.SSPanel2->isVisible());
    QCOMPARE(dialog.MList1->entryCount(), 0);
    const QStringList servers = ServerLists::internetServers();
    QCOMPARE(dialog.MList2->entryCount(), 45);
    for (int i = 0; i < servers.size(); ++i)
        QCOMPARE(dialog.MList2->entryText(i), servers.at(i));
    for (SSPanel* panel : {dialog.SSPanel1, dialog.SSPanel3, dialog.SSPanel4, dialog.SSPanel5})
        QCOMPARE(panel->toolTip(), QStringLiteral("Click to Select Computer to Synchronize with"));
}

void TestServerDialog::internetListPattern() {
    const QStringList list = ServerLists::internetServers();
    QCOMPARE(list.size(), 45);
    // 1-based positions: each repeat and the entry it repeats.
    QList<QPair<int, int>> repeats{{14, 1}, {38, 1}, {23, 3}, {18, 5}, {19, 6}, {22, 7}};
    for (int i = 32; i <= 41; ++i)
        repeats << qMakePair(i, i - 24);
    for (const auto& [copy, original] : repeats)
        QCOMPARE(list.at(copy - 1), list.at(original - 1));
    const QStringList distinct(QSet<QString>(list.begin(), list.end()).values());
    QCOMPARE(distinct.size(), 30);
    static const QRegularExpression ipv4(QStringLiteral("^\\d{1,3}(\\.\\d{1,3}){3}$"));
    QList<int> ipv4At;
    for (int i = 0; i < list.size(); ++i) {
        if (ipv4.match(list.at(i)).hasMatch())
            ipv4At << i + 1;
    }
    QCOMPARE(ipv4At, (QList<int>{9, 27, 28, 29, 30, 33}));
    for (const QString& entry : list)
        QVERIFY2(!entry.startsWith(QLatin1Char('\\')), qPrintable(entry));
}

void TestServerDialog::clickChooses_data() {
    QTest::addColumn<bool>("network");
    QTest::addColumn<int>("index");
    QTest::newRow("first Internet entry") << false << 0;
    QTest::newRow("its repeat at 14") << false << 13;
    QTest::newRow("an IPv4 entry") << false << 8;
    QTest::newRow("last Internet entry") << false << 44;
    QTest::newRow("a network computer") << true << 1;
}

void TestServerDialog::clickChooses() {
    QFETCH(bool, network);
    QFETCH(int, index);
    Tarnwick2& dialog = open();
    dialog.MList1->addItems({QStringLiteral("\\\\ALPHA"), QStringLiteral("\\\\BETA   ")});
    MList* list = network ? dialog.MList1 : dialog.MList2;
    const QString text = list->entryText(index);
    // Chosen before discovery has finished: the label is written and the dialog closes at once.
    clickEntry(list, index);
    QCOMPARE(m_forms->tarnwick1().Label1->text(), text);
    QVERIFY(!m_forms->isTarnwick2Loaded());
    if (index == 13)
        QCOMPARE(text, ServerLists::internetServers().at(0));
}

void TestServerDialog::manualEntries_data() {
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("default answer") << QStringList{"\\\\ServerName"} << QStringList{"\\\\ServerName"};
    QTest::newRow("no backslashes, blanks kept") << QStringList{" clock "} << QStringList{" clock "};
    QTest::newRow("cancelled") << QStringList{""} << QStringList{};
    QTest::newRow("twice the same") << QStringList{"\\\\PC", "\\\\PC"} << QStringList{"\\\\PC", "\\\\PC"};
}

void TestServerDialog::manualEntries() {
    QFETCH(QStringList, answers);
    QFETCH(QStringList, entries);
    Tarnwick2& dialog = open();
    m_platform->inputAnswers = answers;
    for (int i = 0; i < answers.size(); ++i)
        QTest::mouseClick(dialog.SSCommand2, Qt::LeftButton);
    QCOMPARE(m_platform->prompts.size(), answers.size());
    QCOMPARE(m_platform->prompts.first(),
             (QStringList{QStringLiteral("Please enter a server or computer name on your network, the name must "
                                         "begin with ' \\\\ '"),
                          QStringLiteral("Manually Add to list"), QStringLiteral("\\\\ServerName")}));
    QStringList listed;
    for (int i = 0; i < dialog.MList1->entryCount(); ++i)
        listed << dialog.MList1->entryText(i);
    QCOMPARE(listed, entries);
    QVERIFY(m_forms->isTarnwick2Loaded());
    QCOMPARE(m_forms->tarnwick1().Label1->text(), QStringLiteral("time.example.org"));
}

void TestServerDialog::cancelLeavesLabel() {
    Tarnwick2& dialog = open();
    QTest::mouseClick(dialog.SSCommand1, Qt::LeftButton);
    QVERIFY(!m_forms->isTarnwick2Loaded());
    QCOMPARE(m_forms->tarnwick1().Label1->text(), QStringLiteral("time.example.org"));
}

void TestServerDialog::startsDiscoveryOnceAfterHalfASecond() {
    Tarnwick2& dialog = open();
    QVERIFY(dialog.Timer1->isActive());
    QCOMPARE(dialog.Timer1->interval(), 500);
    QVERIFY(!m_forms->isTarnwickLoaded());
    QTRY_COMPARE_WITH_TIMEOUT(dialog.Label1->text(), QStringLiteral("Getting Network Computers"), 3000);
    QVERIFY(!dialog.Timer1->isActive());
    QVERIFY(m_forms->isTarnwickLoaded());
    QCOMPARE(dialog.cursor().shape(), Qt::WaitCursor);
    QCOMPARE(m_platform->started, (QList<QPair<QString, int>>{{QStringLiteral("c:\\gTime.bat"), 6}}));
    QTest::qWait(700);
    QCOMPARE(m_platform->started.size(), 1);
}

void TestServerDialog::closeBoxUnloads() {
    Tarnwick2& dialog = open();
    m_platform->inputAnswers << QStringLiteral("\\\\TYPED");
    dialog.SSCommand2_Click();
    QCOMPARE(dialog.MList1->entryCount(), 1);
    QVERIFY(dialog.close());
    QVERIFY(!m_forms->isTarnwick2Loaded());
    QCOMPARE(m_forms->tarnwick1().Label1->text(), QStringLiteral("time.example.org"));
    // The next opening builds the dialog afresh and searches again.
    Tarnwick2& again = open();
    QCOMPARE(again.MList1->entryCount(), 0);
    QCOMPARE(again.Label1->text(), QStringLiteral("Getting Your Network Computers"));
    QVERIFY(again.Timer1->isActive());
}

QTEST_MAIN(TestServerDialog)
#include "test_server_dialog.moc"
