// The main window's timers: the clock and the scheduled synchronization, the minute counter and the automatic
// one, the marker file and the opening of the schedule dialog.
#include "app/forms.h"
#include "app/main_window.h"
#include "app/schedule.h"
#include "net_engine/result_log.h"
#include "platform/controls/ss_check.h"
#include "platform/controls/ss_panel.h"
#include "platform/controls/vb_color.h"
#include "platform/date_text.h"
#include "tests/support/fake_platform.h"
#include "tests/support/scripted_time_server.h"
#include "time_protocol/vespline.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTest>

class TestAutoSync : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init();
    void cleanup();
    void scheduleFires_data();
    void scheduleFires();
    void noServerOnlyRefreshesClock();
    void intervalTicks_data();
    void intervalTicks();
    void uncheckedCountsWithoutSync();
    void missingLogStillSyncs();
    void sizeTest_data();
    void sizeTest();
    void markerRoundTrip();
    void markerFailureIsReported();
    void timedInternetSync_data();
    void timedInternetSync();

private:
    Tarnwick1& main() { return m_forms->tarnwick1(); }
    QString markerFile() const { return m_platform->local(QStringLiteral("C:\\AutoSyncKLOV.txt")); }

    std::unique_ptr<FakePlatform> m_platform;
    std::unique_ptr<Forms> m_forms;
};

void TestAutoSync::init() {
    m_platform = std::make_unique<FakePlatform>();
    m_forms = std::make_unique<Forms>(*m_platform);
    main().Label1->setText(QStringLiteral("\\\\TIMEHOST"));
    main().setCheckPauseMs(20); // the connection check's real two seconds are test_sync_now's
}

void TestAutoSync::cleanup() {
    m_forms.reset();
    m_platform.reset();
}

void TestAutoSync::scheduleFires_data() {
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<int>("dateOffset");
    QTest::addColumn<QString>("time");
    QTest::addColumn<int>("syncs");
    const QDate today(2026, 12, 8);
    QTest::newRow("yesterday 3 pm seen at 10 am") << QDateTime(today, QTime(10, 0)) << -1 << "03:00:00 PM" << 0;
    QTest::newRow("yesterday 3 pm seen at 3:01 pm") << QDateTime(today, QTime(15, 1)) << -1 << "03:00:00 PM" << 1;
    QTest::newRow("tomorrow 8 am seen at 11 pm") << QDateTime(today, QTime(23, 0)) << 1 << "08:00:00 AM" << 0;
    QTest::newRow("not scheduled") << QDateTime(today, QTime(23, 0)) << 0 << "NOT SCHEDULED" << 0;
}

void TestAutoSync::scheduleFires() {
    QFETCH(QDateTime, now);
    QFETCH(int, dateOffset);
    QFETCH(QString, time);
    QFETCH(int, syncs);
    m_platform->setNow(now);
    main().Label6->setText(DateText::scheduleDate(now.date().addDays(dateOffset)));
    main().Label2->setText(time);
    main().SSPanel4->setBackColor(VbColor::LightGreen);
    main().Timer1_Timer();
    QCOMPARE(main().timedSyncCount(), syncs);
    // The synchronization is SYNC NOW's network road: the command file started for the selected computer,
    // telling horavane-cmd that no person is there to be asked.
    QCOMPARE(m_platform->started.isEmpty(), syncs == 0);
    QVERIFY(!m_platform->startedByUser.contains(true));
    QCOMPARE(main().Label3->text(), DateText::clockTime(now.time()));
    QCOMPARE(main().Label5->text(), DateText::clockDate(now.date()));
    QCOMPARE(main().SSPanel4->backColor(), VbColor::ButtonFace);
    QVERIFY(main().Timer1->isActive());
    // Ticks on the minute: the next one a minute on, just past its start.
    QCOMPARE(main().Timer1->interval(), 60000 + Schedule::kPastMinuteMs);
}

void TestAutoSync::noServerOnlyRefreshesClock() {
    main().Label1->setText(QStringLiteral("  NONE SELECTED "));
    main().Label5->setText(QStringLiteral("12/01/2026"));
    main().Label6->setText(DateText::scheduleDate(QDate(2026, 12, 1)));
    main().Label2->setText(QStringLiteral("01:00:00 AM"));
    main().SSPanel4->setBackColor(VbColor::LightGreen);
    main().SSPanel2[0]->setCaption(QStringLiteral("something else"));
    main().Timer1_Timer();
    QCOMPARE(main().timedSyncCount(), 0);
    QCOMPARE(main().Label3->text(), QStringLiteral("10:00 AM"));
    QCOMPARE(main().Label5->text(), QStringLiteral("12/01/2026"));
    QCOMPARE(main().SSPanel4->backColor(), VbColor::LightGreen);
    QCOMPARE(main().SSPanel2[0]->caption(), QStringLiteral("Network Synchronization"));
    QCOMPARE(main().Timer1->interval(), 60000 + Schedule::kPastMinuteMs);
}

void TestAutoSync::intervalTicks_data() {
    QTest::addColumn<QString>("interval");
    QTest::addColumn<int>("every");
    QTest::newRow("1") << "1" << 1;
    QTest::newRow("2") << "2" << 2;
    QTest::newRow("60") << "60" << 60;
    QTest::newRow("abc") << "abc" << 1;
}

void TestAutoSync::intervalTicks() {
    QFETCH(QString, interval);
    QFETCH(int, every);
    main().Combo1->setEditText(interval);
    main().SSCheck1->setChecked(true);
    QList<int> syncedAt;
    int highest = 0;
    for (int tick = 1; tick <= 2 * every; ++tick) {
        const int before = main().timedSyncCount();
        main().Timer2_Timer();
        if (main().timedSyncCount() > before)
            syncedAt << tick;
        highest = qMax(highest, main().Label10->text().toInt());
    }
    QCOMPARE(syncedAt, (QList<int>{every, 2 * every}));
    QCOMPARE(main().Label10->text(), QStringLiteral("1"));
    QCOMPARE(highest, qMax(1, every));
}

void TestAutoSync::uncheckedCountsWithoutSync() {
    main().Combo1->setEditText(QStringLiteral("3"));
    main().SSCheck1->setChecked(false);
    QStringList counts;
    for (int tick = 0; tick < 4; ++tick) {
        main().Timer2_Timer();
        counts << main().Label10->text();
    }
    QCOMPARE(counts, (QStringList{"2", "3", "1", "2"}));
    QCOMPARE(main().timedSyncCount(), 0);
}

void TestAutoSync::missingLogStillSyncs() {
    const QString log = m_platform->local(ResultLog::path(m_platform->programFolder()));
    QVERIFY(!QFile::exists(log));
    main().Combo1->setEditText(QStringLiteral("1"));
    main().SSCheck1->setChecked(true);
    main().Timer2_Timer();
    QCOMPARE(main().timedSyncCount(), 1);
    QCOMPARE(m_platform->startedByUser, (QList<bool>{false, false}));
    QVERIFY(!QFile::exists(log));
}

void TestAutoSync::sizeTest_data() {
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<qint64>("after");
    QTest::newRow("at the limit, kept") << qint64(10'000'000) << true << qint64(10'000'000);
    QTest::newRow("one byte over, emptied") << qint64(10'000'001) << true << qint64(0);
    QTest::newRow("emptied while unchecked too") << qint64(10'000'001) << false << qint64(0);
}

void TestAutoSync::sizeTest() {
    QFETCH(qint64, size);
    QFETCH(bool, checked);
    QFETCH(qint64, after);
    QFile log(m_platform->local(ResultLog::path(m_platform->programFolder())));
    QVERIFY(log.open(QIODevice::WriteOnly));
    QVERIFY(log.resize(size));
    log.close();
    main().Combo1->setEditText(QStringLiteral("2"));
    main().SSCheck1->setChecked(checked);
    main().Timer2_Timer();
    QCOMPARE(QFileInfo(log.fileName()).size(), size);
    main().Timer2_Timer();
    QCOMPARE(QFileInfo(log.fileName()).size(), after);
    QCOMPARE(main().timedSyncCount(), checked ? 1 : 0);
}

void TestAutoSync::markerRoundTrip() {
    main().SSCheck1->setChecked(true);
    main().SSCheck1_Click();
    QFile file(markerFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("used by Tarnwick1.exe\r\n"));
    file.close();
    // Ticking again writes the file anew rather than adding a line.
    main().SSCheck1_Click();
    QCOMPARE(QFileInfo(markerFile()).size(), qint64(23));
    main().SSCheck1->setChecked(false);
    main().SSCheck1_Click();
    QVERIFY(!QFile::exists(markerFile()));
    main().SSPanel2[0]->setCaption(QStringLiteral("Network Synchronization"));
    main().SSCheck1_Click();
    QCOMPARE(main().SSPanel2[0]->caption(), QStringLiteral("Network Synchronization"));
}

void TestAutoSync::markerFailureIsReported() {
    // A folder where the marker file should be: it can be neither created nor read as a file.
    QVERIFY(QDir().mkpath(markerFile()));
    main().SSCheck1->setChecked(true);
    main().SSCheck1_Click();
    QVERIFY(main().SSPanel2[0]->caption().startsWith(QStringLiteral("Could not create C:\\AutoSyncKLOV.txt")));
    QVERIFY(main().SSCheck1->isTicked());
}

Q_DECLARE_METATYPE(QList<ClockResult>)

void TestAutoSync::timedInternetSync_data() {
    QTest::addColumn<int>("timer");
    QTest::addColumn<QList<ClockResult>>("answers"); // the clock service's, one synchronization each
    QTest::addColumn<int>("notes");
    const ClockResult ok{true, {}, {}};
    const ClockResult denied{false, QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"), QStringLiteral("no")};
    const ClockResult ntp{false, QStringLiteral("org.freedesktop.timedate1.AutomaticTimeSyncEnabled"),
                          QStringLiteral("Automatic time synchronization is enabled")};
    QTest::newRow("schedule: succeeds, nothing told") << 1 << QList<ClockResult>{ok} << 0;
    QTest::newRow("interval: NTP on, never asks, told once") << 2 << QList<ClockResult>{ntp, ntp} << 1;
    QTest::newRow("schedule: two reasons, told each") << 1 << QList<ClockResult>{denied, ntp} << 2;
    QTest::newRow("interval: told again after a success") << 2 << QList<ClockResult>{denied, ok, denied} << 2;
}

void TestAutoSync::timedInternetSync() {
    QFETCH(int, timer);
    QFETCH(QList<ClockResult>, answers);
    QFETCH(int, notes);
    const QByteArray reply = QByteArray::fromHex("E96B1E80");
    const QDateTime now = QDateTime(QDate(2024, 2, 5), QTime(8, 44, 48), Qt::UTC).toLocalTime().addSecs(-2);
    ScriptedTimeServer server({ScriptedTimeServer::send(reply), ScriptedTimeServer::close()});
    m_platform->setNow(now);
    m_platform->answers = {true, true};
    main().Label1->setText(QStringLiteral("127.0.0.1"));
    main().AddTrayIcon();
    Vespline& v = m_forms->vespline();
    v.engine().setTimePort(server.port());
    v.engine().setQueryGapMs(0);
    for (const ClockResult& answer : answers) {
        m_platform->clock.refusal = answer;
        m_platform->clock.ntp = false;
        if (timer == 1) {
            main().Label6->setText(DateText::scheduleDate(now.date()));
            main().Label2->setText(DateText::scheduleTime(now.time().addSecs(-60)));
            main().Timer1_Timer();
        } else {
            main().Combo1->setEditText(QStringLiteral("1"));
            main().SSCheck1->setChecked(true);
            main().Timer2_Timer();
        }
        QCOMPARE(main().Label7->text(), answer.ok ? QStringLiteral("SUCESS") : QStringLiteral("FAILED"));
        // The reason, or the step, stays on the status line through the next minute tick.
        const QString outcome = main().SSPanel2[0]->caption();
        // Two seconds behind the reply's second, read at its middle.
        QVERIFY2(outcome.startsWith(answer.ok ? QLatin1String("Clock corrected by +2.5 s (Time Protocol)")
                                              : QLatin1String("Clock not set: ")),
                 qPrintable(outcome));
        main().Label2->setText(QStringLiteral("NOT SCHEDULED"));
        main().Timer1_Timer();
        QCOMPARE(main().SSPanel2[0]->caption(), outcome);
        // The tray tells it too, the time before the reason, and the interval's next synchronization when ticked.
        const QString at = QStringLiteral(" at ") + DateText::clockTime(now.time());
        const QString next =
            timer == 2 ? QStringLiteral("\nNext synchronization at ") + DateText::clockTime(now.addSecs(60).time())
                       : QStringLiteral("\nNo synchronization due");
        QCOMPARE(m_platform->tray->tip, (answer.ok ? outcome + at
                                                   : QStringLiteral("Clock not set") + at + QStringLiteral(": ") +
                                                         outcome.mid(int(qstrlen("Clock not set: ")))) +
                                            next);
    }
    QCOMPARE(main().timedSyncCount(), answers.size());
    // Nobody is asked anything on a timer's road.
    QVERIFY(m_platform->questions.isEmpty());
    QVERIFY(m_platform->clock.ntpCalls.isEmpty());
    QCOMPARE(m_platform->clock.calls.size(), answers.size());
    for (const FakeClockService::Call& call : m_platform->clock.calls)
        QVERIFY(!call.interactive);
    QVERIFY(m_platform->tray);
    QCOMPARE(m_platform->tray->notes.size(), notes);
    for (const QStringList& note : m_platform->tray->notes)
        QVERIFY2(note.value(1).startsWith(QLatin1String("Clock not set: ")), qPrintable(note.value(1)));
}

QTEST_MAIN(TestAutoSync)
#include "test_auto_sync.moc"
