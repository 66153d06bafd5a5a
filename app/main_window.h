// The main window: clock, selected server, schedule, SYNC NOW and the tray icon. Its captions are the program's
// state; the other windows read and write them.
#pragma once

#include "app/resync.h"
#include "platform/tarn_base.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>

class ActiveResize;
class Forms;
class MList;
class Platform;
class QComboBox;
class QPushButton;
class SSCheck;
class SSCommand;
class SSPanel;
class SSRibbon;
class SystemEvents;
class TrayIcon;

class Tarnwick1 : public QWidget {
    Q_OBJECT
public:
    explicit Tarnwick1(Forms& forms);
    ~Tarnwick1() override;

    // The start sequence: single instance, marker file, interval list, clock, settings, tray icon, hidden.
    // False when another copy is running (the message has been shown and the program must end).
    bool Form_Load();

    // SYNC NOW: the one road of every synchronization.
    void SSCommand3_Click(Starter starter = Starter::Person);
    // Checks for an Internet connection and shows and stores the outcome.
    void CheckInternet();
    // Returns after the given seconds, letting window events run meanwhile.
    void Pause(double seconds);
    // How long the connection check shows "Please Wait" before it looks; tests shorten it.
    static constexpr int kCheckPauseMs = 2000;
    void setCheckPauseMs(int ms) { m_checkPauseMs = ms; }

    // Timers: the clock and the scheduled synchronization; the minute counter and the automatic one.
    void Timer1_Timer();
    void Timer2_Timer();
    void SSCheck1_Click();
    void SSCommand4_Click();

    // Tray callback: n is the mouse message number.
    void Form_MouseMove(int n);
    void SSCommand1_Click(); // END
    void SSCommand2_Click(); // DONE
    void SSCommand5_Click(); // server "Change"
    void SSPanel3_Click();
    void SSCommand6_Click(); // Log
    void Command1_Click();   // shows the worker window
    void Command2_Click();   // the desktop's date and time settings
    void Command3_Click();   // shows the Time Protocol window
    void Command4_Click();   // the connection check
    void Form_Unload();

    // Writes NRV.ini; false (and the status line says why) when it could not be written.
    bool SaveSettings();
    void AddTrayIcon();
    void EmptyLog();

    // The settings file as a DOS path, beside the program folder.
    QString settingsPath() const;
    // The 64-byte tooltip field of the tray icon, as last built.
    const QByteArray& trayTooltip() const { return m_trayTooltip; }
    TrayIcon* trayIcon() const { return m_tray.get(); }
    bool isTrayIconShown() const;
    // The status line while there is no tray icon to bring the window back: DONE then keeps the window up.
    static inline const QString kNoTrayNote = QStringLiteral("No tray icon: this window stays open");
    // How long a hidden window waits for a lost tray to come back before it shows itself.
    static constexpr int kTrayLostGraceMs = 3000;
    void setTrayLostGraceMs(int ms) { m_trayLost.setInterval(ms); }
    bool isBusy() const;
    // How long SYNC NOW waits for a Time Protocol result before it records "FAILED"; above the exchange's own limit.
    static constexpr int kSyncWaitLimitMs = 15000;
    // How many synchronizations the two timers have started.
    int timedSyncCount() const { return m_timedSyncs; }
    // What the last synchronization did; empty before the first one.
    const QString& syncOutcome() const { return m_syncOutcome; }
    // Keeps what a synchronization did on the status line and in the tray's tooltip; a timer's failure also
    // becomes a notification, and one that reached no server waits for the network's return.
    void showSyncOutcome(bool succeeded, const QString& outcome, bool timerStarted, bool serverReached = true);
    // The tray's tooltip anew: the last outcome and the next synchronization due; the field's until one ends.
    void showTrayTip();

    // Present while automatic synchronization is ticked; the start ticks the box when it finds it.
    static inline const QString kMarkerFile = QStringLiteral("C:\\AutoSyncKLOV.txt");

    // Controls, by their names.
    QLabel* Label1;                   // selected server
    QLabel* Label2;                   // scheduled time of day "HH:MM:SS ampm"
    QLabel* Label3;                   // current time "HH:MM ampm"
    QLabel* Label5;                   // current date "MM/DD/YYYY"
    QLabel* Label6;                   // scheduled date "MMMM DD YYYY"
    QLabel* Label7;                   // last Internet result
    QLabel* Label8;                   // "Last Result"
    QLabel* Label9;                   // "Min"
    QLabel* Label10;                  // minute counter
    QLabel* Label11;                  // "Minutes till next Sync if checked"
    QLabel* Label12;                  // tick count at the start of the last synchronization
    QLabel* Label13;                  // connection check state: "WAIT", "True" or "False"
    std::array<QLabel*, 2> Label4;    // maker's notice; "Next Auto Sync"
    std::array<SSPanel*, 2> SSPanel2; // status line; response-time line
    SSPanel* SSPanel1;                // title banner
    SSPanel* SSPanel3;                // "Server"
    SSPanel* SSPanel4;                // "Next Auto Sync"
    SSPanel* SSPanel5;                // "Current Time"
    SSPanel* SSPanel6;                // "Current Date"
    SSPanel* SSPanel7;                // "Sync Every            Minutes"
    SSRibbon* SSRibbon2;
    SSRibbon* SSRibbon3;
    SSCommand* SSCommand1; // END
    SSCommand* SSCommand2; // DONE
    SSCommand* SSCommand3; // SYNC NOW
    SSCommand* SSCommand4; // schedule "Change"
    SSCommand* SSCommand5; // server "Change"
    SSCommand* SSCommand6; // Log
    QComboBox* Combo1;     // interval in minutes
    SSCheck* SSCheck1;     // automatic synchronization
    QPushButton* Command1; // hidden
    QPushButton* Command2; // "Windows Date / Time CPL"
    QPushButton* Command3; // hidden
    QPushButton* Command4; // hidden
    QLabel* Image1;        // source of the tray icon's picture
    QTimer* Timer1;
    QTimer* Timer2;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Notices the first click or key in this window while it is up for lack of a tray.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createConnections();
    void setStatus(const QString& text);
    // The two roads of SYNC NOW: an Internet time server, or a network computer by "net time".
    void syncWithInternetServer(const QString& server, Starter starter);
    void syncWithNetworkComputer(const QString& computer, Starter starter);
    void fillIntervals();
    void restoreSettings();
    // A later start asked for the window: shown, restored from the task bar, raised and active.
    void bringToFront();
    // Shows a secondary window without making it modal, and brings it to the front when it was already open.
    static void showWindow(QWidget& window);
    // A synchronization started by a timer: SYNC NOW, then pending events once.
    void runTimedSync();
    // The tray icon appeared or went away with its tray.
    void trayShownChanged(bool shown);
    // The user works in the window: a tray that appears now no longer hides it.
    void windowUsed();
    // No tray to bring the window back: it is shown until a tray appears, unless the user works in it meanwhile.
    void showForLackOfTray();
    // The clock labels from the current time, and the clock's timer aligned to the minute anew.
    void showClock();
    // Wakes from sleep and the network's comings and goings, as the system tells them.
    void listenToSystem();
    void startResync(const Resync::Run& run);
    // The wait until the clock's next tick: to the start of the next minute, unless a test set a tick of its own.
    int msToNextTick(const QTime& time) const;
    // A wait of `realMs` that a test of the whole program shortens through the environment variable `name`.
    static int waitFromEnvironment(const char* name, int realMs);

    Forms& m_forms;
    Platform& m_platform;
    ActiveResize* m_resize = nullptr;
    std::unique_ptr<TrayIcon> m_tray;
    QByteArray m_trayTooltip;
    QString m_trayOutcome; // the tooltip's line of the last outcome
    std::unique_ptr<SystemEvents> m_events;
    Resync m_resync;
    QElapsedTimer m_monotonic; // for the gap between two questions to one server
    QTimer m_trayLost;
    int m_checkPauseMs = waitFromEnvironment("HORAVANE_CHECK_PAUSE_MS", kCheckPauseMs);
    int m_clockTickMs = waitFromEnvironment("HORAVANE_CLOCK_TICK_MS", 0); // 0: at each minute's start
    // Shown at start only because there was no tray, and not used since.
    bool m_upForLackOfTray = false;
    bool m_syncWaiting = false;
    int m_timedSyncs = 0;
    QString m_syncOutcome;     // the last synchronization's outcome; the minute tick leaves it on the status line
    QString m_notifiedFailure; // the failure last told by a notification, until a success
};
