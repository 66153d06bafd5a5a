// The schedule dialog: enabling "Done", what it writes into the main window, "Cancel", and the opener's presets.
#include "app/forms.h"
#include "app/main_window.h"
#include "dialogs/schedule_dialog.h"
#include "platform/controls/mlist.h"
#include "platform/controls/month_view.h"
#include "platform/controls/ss_command.h"
#include "tests/support/fake_platform.h"
#include "tests/support/list_clicks.h"

#include <QLocale>
#include <QTest>

class TestScheduleDialog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init();
    void cleanup();
    void opensEmpty();
    void dateBeforeTimeKeepsDoneDisabled();
    void doneWritesClickedTimeAndLastDate_data();
    void doneWritesClickedTimeAndLastDate();
    void presetTimeFromOpener();
    void notScheduledOpensOnToday();
    void makeTimeSelectsByTwoCharacters();
    void cancelLeavesLabels_data();
    void cancelLeavesLabels();
    void unreadablePresetWritesNothing();
    void syncedClockPreset_data();
    void syncedClockPreset();

private:
    Tarnwick3& open();
    void clickDate(Tarnwick3& dialog, const QDate& date);

    std::unique_ptr<FakePlatform> m_platform;
    std::unique_ptr<Forms> m_forms;
};

void TestScheduleDialog::init() {
    m_platform = std::make_unique<FakePlatform>();
    m_platform->setNow(QDateTime(QDate(2026, 12, 8), QTime(10, 0)));
    m_forms = std::make_unique<Forms>(*m_platform);
}

void TestScheduleDialog::cleanup() {
    m_forms.reset();
    m_platform.reset();
}

Tarnwick3& TestScheduleDialog::open() {
    m_forms->tarnwick1().SSCommand4_Click();
    Tarnwick3& dialog = m_forms->tarnwick3();
    return dialog;
}

void TestScheduleDialog::clickDate(Tarnwick3& dialog, const QDate& date) {
    dialog.MonthView2->setValue(date);
    Q_EMIT dialog.MonthView2->clicked(date);
}

void TestScheduleDialog::opensEmpty() {
    Tarnwick3& dialog = open();
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Form1"));
    QCOMPARE(dialog.MList1->entryCount(), 96);
    QCOMPARE(dialog.MList1->toolTip(), QStringLiteral("Select a Time for order to be sent"));
    QVERIFY(!dialog.SSCommand1->isEnabled());
    QVERIFY(dialog.Label1->text().isEmpty());
    QCOMPARE(dialog.findChild<MList*>(QStringLiteral("MList1")), dialog.MList1);
}

void TestScheduleDialog::dateBeforeTimeKeepsDoneDisabled() {
    Tarnwick3& dialog = open();
    clickDate(dialog, QDate(2026, 12, 20));
    QVERIFY(!dialog.SSCommand1->isEnabled());
    QVERIFY(dialog.Label1->text().isEmpty());
}

void TestScheduleDialog::doneWritesClickedTimeAndLastDate_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("dateText");
    QTest::newRow("1:15 pm") << 53 << QDate(2026, 12, 20) << "01:15:00 PM"
                             << "December 20 2026";
    QTest::newRow("midnight") << 0 << QDate(2027, 1, 1) << "12:00:00 AM"
                              << "January 01 2027";
    QTest::newRow("12:45 pm") << 51 << QDate(2026, 12, 9) << "12:45:00 PM"
                              << "December 09 2026";
    QTest::newRow("last entry") << 95 << QDate(2026, 12, 31) << "11:45:00 PM"
                                << "December 31 2026";
    QTest::newRow("a past date") << 40 << QDate(2025, 3, 2) << "10:00:00 AM"
                                 << "March 02 2025";
}

void TestScheduleDialog::doneWritesClickedTimeAndLastDate() {
    QFETCH(int, index);
    QFETCH(QDate, date);
    QFETCH(QString, time);
    QFETCH(QString, dateText);
    Tarnwick3& dialog = open();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    clickEntry(dialog.MList1, index);
    QCOMPARE(dialog.Label1->text(), dialog.MList1->entryText(index));
    QVERIFY(dialog.SSCommand1->isEnabled());
    clickDate(dialog, QDate(2026, 12, 15));
    clickDate(dialog, date);
    QTest::mouseClick(dialog.SSCommand1, Qt::LeftButton);
    Tarnwick1& main = m_forms->tarnwick1();
    QCOMPARE(main.Label2->text(), time);
    QCOMPARE(main.Label6->text(), dateText);
    QVERIFY(!m_forms->isTarnwick3Loaded());
}

void TestScheduleDialog::presetTimeFromOpener() {
    Tarnwick1& main = m_forms->tarnwick1();
    main.Label2->setText(QStringLiteral("03:00:00 PM"));
    main.Label6->setText(QStringLiteral("December 24 2026"));
    main.Label3->setText(QStringLiteral("09:41 AM"));
    main.SSCommand4_Click();
    Tarnwick3& dialog = m_forms->tarnwick3();
    QCOMPARE(dialog.MonthView2->value(), QDate(2026, 12, 24));
    QCOMPARE(dialog.Label1->text(), QStringLiteral("09:41 AM"));
    // A leading zero matches no list entry, and "Done" waits for a date click.
    QCOMPARE(dialog.MList1->listIndex(), -1);
    QVERIFY(!dialog.SSCommand1->isEnabled());
    clickDate(dialog, QDate(2026, 12, 10));
    QVERIFY(dialog.SSCommand1->isEnabled());
    dialog.SSCommand1_Click();
    QCOMPARE(main.Label2->text(), QStringLiteral("09:41:00 AM"));
    QCOMPARE(main.Label6->text(), QStringLiteral("December 10 2026"));
}

void TestScheduleDialog::notScheduledOpensOnToday() {
    Tarnwick1& main = m_forms->tarnwick1();
    main.Label2->setText(QStringLiteral("NOT SCHEDULED"));
    main.Label6->setText(QStringLiteral("December 24 2026"));
    main.Label3->setText(QStringLiteral("10:00 AM"));
    main.SSCommand4_Click();
    Tarnwick3& dialog = m_forms->tarnwick3();
    QCOMPARE(dialog.MonthView2->value(), QDate(2026, 12, 8));
    QVERIFY(dialog.Label1->text().isEmpty());
    QCOMPARE(dialog.MList1->listIndex(), -1);
    // A second opening brings the same dialog forward, its list not rebuilt.
    Tarnwick3* first = &dialog;
    main.SSCommand4_Click();
    QCOMPARE(&m_forms->tarnwick3(), first);
    QCOMPARE(first->MList1->entryCount(), 96);
}

void TestScheduleDialog::makeTimeSelectsByTwoCharacters() {
    Tarnwick3& dialog = open();
    dialog.Label1->setText(QStringLiteral("12:00 AM"));
    dialog.Make_Time();
    QCOMPARE(dialog.MList1->listIndex(), 1);
    dialog.Label1->setText(QStringLiteral("9:41 AM"));
    dialog.Make_Time();
    QCOMPARE(dialog.MList1->listIndex(), 36);
    // Selecting is not choosing: the label and "Done" stay as they were.
    QCOMPARE(dialog.Label1->text(), QStringLiteral("9:41 AM"));
    QVERIFY(!dialog.SSCommand1->isEnabled());
}

void TestScheduleDialog::cancelLeavesLabels_data() {
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Cancel") << false;
    QTest::newRow("the window's close box") << true;
}

void TestScheduleDialog::cancelLeavesLabels() {
    QFETCH(bool, closeBox);
    Tarnwick1& main = m_forms->tarnwick1();
    main.Label2->setText(QStringLiteral("NOT SCHEDULED"));
    main.Label6->setText(QStringLiteral("NOT SCHEDULED"));
    Tarnwick3& dialog = open();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    clickEntry(dialog.MList1, 60);
    if (closeBox)
        QVERIFY(dialog.close());
    else
        QTest::mouseClick(dialog.SSCommand2, Qt::LeftButton);
    QCOMPARE(main.Label2->text(), QStringLiteral("NOT SCHEDULED"));
    QCOMPARE(main.Label6->text(), QStringLiteral("NOT SCHEDULED"));
    QVERIFY(!m_forms->isTarnwick3Loaded());
    // The next opening builds the dialog afresh: no time chosen, "Done" disabled.
    Tarnwick3& again = open();
    QVERIFY(again.Label1->text().isEmpty());
    QVERIFY(!again.SSCommand1->isEnabled());
    QCOMPARE(again.MList1->listIndex(), -1);
}

void TestScheduleDialog::unreadablePresetWritesNothing() {
    // Before the clock's first tick its label still reads its design text.
    Tarnwick1& main = m_forms->tarnwick1();
    main.Label2->setText(QStringLiteral("03:00:00 PM"));
    main.Label6->setText(QStringLiteral("December 24 2026"));
    main.Label3->setText(QStringLiteral("NONE SELECTED"));
    main.SSCommand4_Click();
    Tarnwick3& dialog = m_forms->tarnwick3();
    clickDate(dialog, QDate(2026, 12, 10));
    dialog.SSCommand1_Click();
    QCOMPARE(main.Label2->text(), QStringLiteral("03:00:00 PM"));
    QCOMPARE(main.Label6->text(), QStringLiteral("December 24 2026"));
    QVERIFY(m_forms->isTarnwick3Loaded());
}

void TestScheduleDialog::syncedClockPreset_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("clock");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("date");
    // The clock label as an Internet synchronization writes it, with seconds.
    QTest::newRow("with seconds") << "en_US"
                                  << "10:00:37 AM"
                                  << "10:00:37 AM"
                                  << "December 10 2026";
    QTest::newRow("the clock's own form") << "en_US"
                                          << "10:00 AM"
                                          << "10:00:00 AM"
                                          << "December 10 2026";
    // The user's time separator, here a full stop, in the clock label.
    QTest::newRow("Finnish separator") << "fi_FI"
                                       << "03.45.10 IP."
                                       << "03.45.10 IP."
                                       << "joulukuuta 10 2026";
}

void TestScheduleDialog::syncedClockPreset() {
    QFETCH(QString, locale);
    QFETCH(QString, clock);
    QFETCH(QString, written);
    QFETCH(QString, date);
    QLocale::setDefault(QLocale(locale));
    Tarnwick1& main = m_forms->tarnwick1();
    main.Label2->setText(QStringLiteral("03:00:00 PM"));
    main.Label6->setText(QStringLiteral("December 24 2026"));
    main.Label3->setText(clock);
    main.SSCommand4_Click();
    Tarnwick3& dialog = m_forms->tarnwick3();
    clickDate(dialog, QDate(2026, 12, 10));
    dialog.SSCommand1_Click();
    const QString time = main.Label2->text();
    const QString day = main.Label6->text();
    const bool unloaded = !m_forms->isTarnwick3Loaded();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(time, written);
    QCOMPARE(day, date);
    QVERIFY(unloaded);
}

QTEST_MAIN(TestScheduleDialog)
#include "test_schedule_dialog.moc"
