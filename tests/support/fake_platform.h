// A platform for in-process tests: a set "now", a temporary drive folder, and recorders in place of the clock
// service, the program starter, the message boxes and the tray.
#pragma once

#include "platform/clock_service.h"
#include "platform/platform.h"

#include <QEventLoop>
#include <QList>
#include <QPair>
#include <QTemporaryDir>
#include <functional>

// Records each correction; refuses while `refusal` is not ok, or while NTP is on as timedated does.
class FakeClockService : public ClockService {
public:
    struct Call {
        qint64 usec = 0;
        bool interactive = false;
    };
    ClockResult setTime(qint64 correctionUsec, bool userInteraction) override {
        calls << Call{correctionUsec, userInteraction};
        if (!refusal.ok)
            return refusal;
        if (ntp)
            return {false, QStringLiteral("org.freedesktop.timedate1.AutomaticTimeSyncEnabled"),
                    QStringLiteral("Automatic time synchronization is enabled")};
        applied << correctionUsec;
        return {true, {}, {}};
    }
    ClockResult setNtp(bool enable, bool userInteraction) override {
        ntpCalls << Call{enable, userInteraction};
        ntp = enable;
        return {true, {}, {}};
    }
    QList<Call> calls;
    QList<qint64> applied; // corrections that changed the clock
    QList<Call> ntpCalls;  // usec holds the flag asked for
    bool ntp = false;
    ClockResult refusal{true, {}, {}}; // set ok = false to refuse
};

class FakeTray : public TrayIcon {
public:
    bool add(const QIcon&, const QByteArray& tooltipField) override {
        wanted = true;
        tooltip = tooltipField;
        ++adds;
        shown = available;
        return shown;
    }
    void remove() override {
        wanted = false;
        shown = false;
        ++removes;
    }
    bool isShown() const override { return shown; }
    void showMessage(const QString& title, const QString& text) override { notes << QStringList{title, text}; }
    void setToolTip(const QString& text) override { tip = text; }
    void click(int message) { Q_EMIT mouseMessage(message); }
    // A tray starts or ends: an icon that was asked for appears in it or goes with it.
    void setAvailable(bool present) {
        available = present;
        if (wanted && shown != present) {
            shown = present;
            Q_EMIT shownChanged(present);
        }
    }

    bool available = true;
    bool wanted = false;
    bool shown = false;
    int adds = 0;
    int removes = 0;
    QByteArray tooltip;
    QString tip;              // the tooltip that replaced the field's, once set
    QList<QStringList> notes; // title, text
};

struct MessageRecord {
    MessageIcon icon;
    QString title;
    QString text;
};

class FakePlatform : public Platform {
public:
    // A fresh drive folder in a temporary directory; the program folder as given.
    explicit FakePlatform(const QString& programFolder = QStringLiteral("C:\\Horavane"));

    bool isAnotherCopyRunning() override { return anotherCopy; }
    void askRunningCopyToShow() override { ++showRequests; }
    void listenForLaterStarts(std::function<void()> show) override { laterStart = std::move(show); }
    QDateTime now() const override { return m_now; }
    qint32 tickCount() const override { return tick; }
    const DriveC& drive() const override { return m_drive; }
    ClockService& clockService() override { return clock; }
    bool checkInternetConnection(const QString& url) override {
        checkedUrls << url;
        return online;
    }
    bool startProgram(const QString& commandLine, int windowStyle, bool userStarted = false) override;
    bool commandRunning() const override { return running > 0; }
    bool waitForCommands(int timeoutMs) override;
    void messageBox(MessageIcon icon, const QString& title, const QString& text) override {
        messages << MessageRecord{icon, title, text};
    }
    QString inputBox(const QString& prompt, const QString& title, const QString& defaultAnswer) override {
        prompts << QStringList{prompt, title, defaultAnswer};
        return inputAnswers.isEmpty() ? QString() : inputAnswers.takeFirst();
    }
    bool askYesNo(const QString& title, const QString& text) override {
        questions << QStringList{title, text};
        return answers.isEmpty() ? false : answers.takeFirst();
    }
    QDate buildDate() const override { return build; }
    std::unique_ptr<TrayIcon> createTrayIcon() override;
    std::unique_ptr<SystemEvents> createSystemEvents() override {
        auto made = std::make_unique<SystemEvents>();
        events = made.get();
        return made;
    }
    void endProgram() override { ++ends; }

    void setNow(const QDateTime& now) { m_now = now; }
    // The real path of a DOS path in the temporary drive folder.
    QString local(const QString& dosPath) const { return m_drive.local(dosPath).value_or(QString()); }

    FakeClockService clock;
    FakeTray* tray = nullptr;       // the last tray icon created
    SystemEvents* events = nullptr; // a test emits its signals
    bool trayAvailable = true;
    bool anotherCopy = false;
    int showRequests = 0;             // requests of this start to the running copy
    std::function<void()> laterStart; // what a later start's request runs
    bool online = true;
    qint32 tick = 1000;
    int ends = 0;
    QStringList checkedUrls;
    QList<QPair<QString, int>> started;
    QList<MessageRecord> messages;
    QList<QStringList> prompts;
    QStringList inputAnswers;
    // A started command "runs" for commandRunMs (none when negative) and then calls commandEnds, as a real one
    // writes its status file when it ends. Each wait records its limit.
    int commandRunMs = -1;
    std::function<void()> commandEnds;
    int running = 0;
    QList<int> waitLimits;
    QList<bool> startedByUser;
    QList<QStringList> questions; // title, text
    QList<bool> answers;          // to the questions, in turn; no when none is left
    QDate build{2000, 1, 1};      // older than any reply of the tests unless a test moves it

private:
    QTemporaryDir m_dir;
    DriveC m_drive;
    QDateTime m_now;
    QList<QEventLoop*> m_waits;
    QObject m_timers; // ends the commands; gone with the platform
};
