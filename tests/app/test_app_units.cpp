// The settings file, the tray tooltip and the synchronizations after sleep, without any window.
#include "app/resync.h"
#include "app/settings_file.h"
#include "app/tray_icon.h"
#include "platform/text_file.h"

#include <QTemporaryDir>
#include <QTest>

class TestAppUnits : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void settingsPath_data();
    void settingsPath();
    void readsRecords_data();
    void readsRecords();
    void missingOrNotAFileKeepsDesignTexts();
    void writeThenRead();
    void tooltip_data();
    void tooltip();
    void resync_data();
    void resync();
};

void TestAppUnits::settingsPath_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("path");
    QTest::newRow("drive root") << "C:\\"
                                << "C:\\NRV.ini";
    QTest::newRow("sub-folder") << "C:\\Tools\\Clock"
                                << "C:\\Tools\\ClockNRV.ini";
    QTest::newRow("default folder") << "C:\\Horavane"
                                    << "C:\\HoravaneNRV.ini";
}

void TestAppUnits::settingsPath() {
    QFETCH(QString, folder);
    QFETCH(QString, path);
    QCOMPARE(SettingsFile::path(folder), path);
}

void TestAppUnits::readsRecords_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("labels"); // Label1, Label2, Label6
    QTest::newRow("five records") << QByteArray("\"srv\"\r\n\"10:15:00 AM\"\r\n\"x\"\r\n\"y\"\r\n\"May 01 2026\"\r\n")
                                  << QStringList{"srv", "10:15:00 AM", "May 01 2026"};
    QTest::newRow("records 3 and 4 never count")
        << QByteArray("\"a\"\r\n\"b\"\r\n,,,\r\n\"e\"\r\n") << QStringList{"a", "b", ""};
    QTest::newRow("empty file") << QByteArray() << QStringList{"", "", ""};
    QTest::newRow("one record fills all three") << QByteArray("\"only\"\r\n") << QStringList{"only", "only", "only"};
    QTest::newRow("four records: date is record 4")
        << QByteArray("\"1\"\r\n\"2\"\r\n\"3\"\r\n\"4\"\r\n") << QStringList{"1", "2", "4"};
    QTest::newRow("unquoted up to the comma, blanks dropped")
        << QByteArray("  pc1 , rest\r\n\"t\"\r\n\"c\"\r\n\"d\"\r\n") << QStringList{"pc1", "rest", "d"};
    QTest::newRow("no final line end") << QByteArray("\"s\"\r\n\"t\"\r\n\"3\"\r\n\"4\"\r\n\"NOT SCHEDULED\"")
                                       << QStringList{"s", "t", "NOT SCHEDULED"};
    QTest::newRow("unterminated quote runs to the end")
        << QByteArray("\"a\"\r\n\"never closed\r\nmore")
        << QStringList{"a", "never closed\r\nmore", "never closed\r\nmore"};
    QTest::newRow("binary bytes") << QByteArray("\x01\x02\0\xff\r\n\"ok\"\r\n", 12)
                                  << QStringList{QString::fromUtf8("\x01\x02\0\xff", 4), "ok", "ok"};
    QTest::newRow("lone LF line ends") << QByteArray("\"a\"\n\"b\"\n\"c\"\n\"d\"\n\"e\"\n")
                                       << QStringList{"a", "b", "e"};
}

void TestAppUnits::readsRecords() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, labels);
    QTemporaryDir dir;
    const DriveC drive(DosPaths(dir.path(), QStringLiteral("C:\\")));
    QVERIFY(drive.replace(QStringLiteral("C:\\NRV.ini"), bytes));
    const auto restored = SettingsFile::read(drive, QStringLiteral("C:\\"));
    QVERIFY(restored);
    QCOMPARE((QStringList{restored->server, restored->scheduleTime, restored->scheduleDate}), labels);
}

void TestAppUnits::missingOrNotAFileKeepsDesignTexts() {
    QTemporaryDir dir;
    const DriveC drive(DosPaths(dir.path(), QStringLiteral("C:\\")));
    QVERIFY(!SettingsFile::read(drive, QStringLiteral("C:\\")));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("NRV.ini")));
    QVERIFY(!SettingsFile::read(drive, QStringLiteral("C:\\")));
}

void TestAppUnits::writeThenRead() {
    QTemporaryDir dir;
    const DriveC drive(DosPaths(dir.path(), QStringLiteral("C:\\Tools\\Clock")));
    QVERIFY(drive.paths().ensureFolders());
    const QByteArray bytes =
        SettingsFile::content(QStringLiteral("\\\\PC1"), QStringLiteral("NOT SCHEDULED"), QStringLiteral("10:00 AM"),
                              QStringLiteral("12/08/2026"), QStringLiteral("NOT SCHEDULED"));
    QCOMPARE(bytes,
             QByteArray("\"\\\\PC1\"\r\n\"NOT SCHEDULED\"\r\n\"10:00 AM\"\r\n\"12/08/2026\"\r\n\"NOT SCHEDULED\"\r\n"));
    QVERIFY(SettingsFile::write(drive, QStringLiteral("C:\\Tools\\Clock"), bytes));
    QVERIFY(QFile::exists(dir.path() + QStringLiteral("/Tools/ClockNRV.ini")));
    const auto restored = SettingsFile::read(drive, QStringLiteral("C:\\Tools\\Clock"));
    QVERIFY(restored);
    QCOMPARE(restored->server, QStringLiteral("\\\\PC1"));
    QCOMPARE(restored->scheduleTime, QStringLiteral("NOT SCHEDULED"));
    QCOMPARE(restored->scheduleDate, QStringLiteral("NOT SCHEDULED"));
}

void TestAppUnits::tooltip_data() {
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QByteArray>("text"); // up to and including the NUL
    QTest::newRow("16 + 11 characters make 47")
        << "December 08 2026"
        << "10:15:00 AM" << QByteArray("HORAVANE \rNext December 08 2026 at 10:15:00 AM\0", 47);
    QTest::newRow("design captions") << "NOT SCHEDULED"
                                     << "NOT SCHEDULED"
                                     << QByteArray("HORAVANE \rNext NOT SCHEDULED at NOT SCHEDULED\0", 46);
    QTest::newRow("longer than the field is cut")
        << QString(40, QLatin1Char('d')) << QString(40, QLatin1Char('t'))
        << QByteArray("HORAVANE \rNext " + QByteArray(40, 'd') + " at " + QByteArray(4, 't') + '\0');
    QTest::newRow("exactly 63 characters before the NUL")
        << QString(32, QLatin1Char('d')) << QString(12, QLatin1Char('t'))
        << QByteArray("HORAVANE \rNext " + QByteArray(32, 'd') + " at " + QByteArray(12, 't') + '\0');
    // A two-byte character straddling the cut is dropped whole.
    QTest::newRow("no half character") << QString(47, QLatin1Char('d')) + QString::fromUtf8("é") << QStringLiteral("x")
                                       << QByteArray("HORAVANE \rNext " + QByteArray(47, 'd') + '\0');
}

void TestAppUnits::tooltip() {
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(QByteArray, text);
    const QByteArray field = TrayTooltip::field(date, time);
    QCOMPARE(field.size(), TrayTooltip::kFieldBytes);
    QCOMPARE(field.left(text.size()), text);
    // After the NUL: blanks to the end of the field.
    QCOMPARE(field.mid(text.size()), QByteArray(TrayTooltip::kFieldBytes - text.size(), ' '));
}

void TestAppUnits::resync_data() {
    // Steps, then "->" and the runs started ("wake+ms", "run+ms"). Each step at 20 s unless "@ms" says when:
    // wake, down, up ("-off": the box not ticked), start (a timer synchronization), then ok, fail (a server
    // answered) or lost (none did).
    QTest::addColumn<QString>("script");
    QTest::newRow("woken, box ticked, no network service") << "wake -> wake+0";
    QTest::newRow("woken, box not ticked") << "wake-off ->";
    QTest::newRow("woken twice while down: once, at the return") << "down wake wake up -> wake+0";
    QTest::newRow("no server reached, then back") << "up start@0 lost down up -> run+0";
    QTest::newRow("back twice in a row") << "down start@0 lost up up -> run+0";
    QTest::newRow("back, gone, back: once per failure") << "down start@0 lost up down up@30000 -> run+0";
    QTest::newRow("failed again after the return")
        << "down start@0 lost up start@21000 lost down up@40000 -> run+0 run+0";
    QTest::newRow("back within the server's gap") << "down start@0 lost up@1500 -> run+2500";
    QTest::newRow("failed with the network up: no wait") << "up start@0 fail down up ->";
    QTest::newRow("failed while down: waits") << "down start@0 fail up -> run+0";
    QTest::newRow("a success ends the wait") << "down start@0 lost start@5000 ok up ->";
    QTest::newRow("box unticked at the return") << "down start@0 lost up-off down up ->";
}

void TestAppUnits::resync() {
    QFETCH(QString, script);
    Resync rule;
    QStringList started;
    for (const QString& step : script.section(QLatin1String(" ->"), 0, 0).split(QLatin1Char(' '))) {
        const QString name = step.section(QLatin1Char('@'), 0, 0).section(QLatin1Char('-'), 0, 0);
        const qint64 at = step.contains(QLatin1Char('@')) ? step.section(QLatin1Char('@'), 1).toLongLong() : 20000;
        const bool ticked = !step.contains(QLatin1String("-off"));
        Resync::Run run;
        if (name == QLatin1String("wake"))
            run = rule.woken(ticked, QStringLiteral("s"), at);
        else if (name == QLatin1String("up") || name == QLatin1String("down"))
            run = rule.networkChanged(name == QLatin1String("up") ? Resync::Network::Up : Resync::Network::Down, ticked,
                                      QStringLiteral("s"), at);
        else if (name == QLatin1String("start"))
            rule.timedSyncStarted(QStringLiteral("s"), at);
        else
            rule.timedSyncEnded(name == QLatin1String("ok"), name != QLatin1String("lost"));
        if (run.now)
            started << QLatin1String(run.restartsCounter ? "wake+" : "run+") + QString::number(run.afterMs);
    }
    QCOMPARE(started.join(QLatin1Char(' ')), script.section(QLatin1String("->"), 1).trimmed());
}

QTEST_GUILESS_MAIN(TestAppUnits)
#include "test_app_units.moc"
