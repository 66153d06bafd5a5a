// The clock, the scheduled and the automatic synchronization, and the marker file.
#include "app/forms.h"
#include "app/main_window.h"
#include "app/schedule.h"
#include "app/tray_icon.h"
#include "dialogs/schedule_dialog.h"
#include "net_engine/result_log.h"
#include "platform/controls/month_view.h"
#include "platform/controls/ss_check.h"
#include "platform/controls/ss_panel.h"
#include "platform/controls/vb_color.h"
#include "platform/date_text.h"
#include "platform/events.h"
#include "platform/platform.h"
#include "platform/text_file.h"

#include <QComboBox>
#include <QPointer>
#include <QTimer>

namespace {
const QString kNotScheduled = QStringLiteral("NOT SCHEDULED");
} // namespace

int Tarnwick1::msToNextTick(const QTime& time) const {
    // HORAVANE_CLOCK_TICK_MS: a test of the whole program has a schedule come due without waiting for the minute.
    return m_clockTickMs > 0 ? m_clockTickMs : Schedule::msToNextMinute(time);
}

void Tarnwick1::Timer1_Timer() {
    // Stopped while the tick runs, so a synchronization it starts never overlaps the next tick.
    Timer1->stop();
    Label3->setText(DateText::clockTime(m_platform.now().time()));
    // The last synchronization's outcome stays readable, and so does the note that there is no tray; only
    // before the first synchronization does the tick fill the line.
    if (m_syncOutcome.isEmpty() && SSPanel2[0]->caption() != kNoTrayNote)
        setStatus(QStringLiteral("Network Synchronization"));
    if (Label1->text().trimmed() != QLatin1String("NONE SELECTED")) {
        SSPanel4->setBackColor(VbColor::ButtonFace);
        const QDateTime now = m_platform.now();
        Label3->setText(DateText::clockTime(now.time()));
        Label5->setText(DateText::clockDate(now.date()));
        if (Schedule::isDue(now, Label6->text(), Label2->text()))
            runTimedSync();
    }
    showTrayTip();
    // Every 60 s, at the start of each minute by this clock.
    Timer1->start(msToNextTick(m_platform.now().time()));
}

void Tarnwick1::showClock() {
    const QDateTime now = m_platform.now();
    Label3->setText(DateText::clockTime(now.time()));
    Label5->setText(DateText::clockDate(now.date()));
    // A corrected clock moves the start of the minute; while a tick runs, its end aligns the timer anew.
    if (Timer1->isActive())
        Timer1->start(msToNextTick(now.time()));
}

void Tarnwick1::Timer2_Timer() {
    const Schedule::IntervalTick tick = Schedule::intervalTick(Label10->text(), Combo1->currentText());
    Label10->setText(tick.counter);
    showTrayTip();
    if (!tick.cycleComplete)
        return;
    // A missing log is not over the limit, so the automatic synchronization below still runs.
    if (ResultLog::isOverLimit(m_platform.drive(), m_platform.programFolder()))
        EmptyLog();
    doEvents();
    if (SSCheck1->isTicked())
        runTimedSync();
}

void Tarnwick1::runTimedSync() {
    ++m_timedSyncs;
    m_resync.timedSyncStarted(Label1->text(), m_monotonic.elapsed());
    SSCommand3_Click(Starter::Timer);
    doEvents();
}

void Tarnwick1::listenToSystem() {
    m_monotonic.start();
    m_events = m_platform.createSystemEvents();
    if (!m_events)
        return;
    connect(m_events.get(), &SystemEvents::woken, this,
            [this] { startResync(m_resync.woken(SSCheck1->isTicked(), Label1->text(), m_monotonic.elapsed())); });
    connect(m_events.get(), &SystemEvents::networkReachable, this, [this](bool reachable) {
        startResync(m_resync.networkChanged(reachable ? Resync::Network::Up : Resync::Network::Down,
                                            SSCheck1->isTicked(), Label1->text(), m_monotonic.elapsed()));
    });
}

void Tarnwick1::startResync(const Resync::Run& run) {
    if (!run.now)
        return;
    // Never inside the bus's signal: the synchronization waits with events running.
    QTimer::singleShot(run.afterMs, this, [this, restart = run.restartsCounter] {
        if (restart) {
            Label10->setText(QStringLiteral("1"));
            Timer2->start();
        }
        runTimedSync();
    });
}

void Tarnwick1::showTrayTip() {
    if (!m_tray || m_trayOutcome.isEmpty())
        return;
    qint64 intervalMs = -1;
    if (SSCheck1->isTicked()) {
        const int toTick = Timer2->isActive() ? Timer2->remainingTime() : Timer2->interval();
        intervalMs = toTick + (Schedule::ticksToCycle(Label10->text(), Combo1->currentText()) - 1) * 60000;
    }
    const QDateTime now = m_platform.now();
    m_tray->setToolTip(
        TrayTooltip::text(m_trayOutcome, now, Schedule::nextDue(now, Label6->text(), Label2->text(), intervalMs)));
}

void Tarnwick1::SSCheck1_Click() {
    const DriveC& drive = m_platform.drive();
    QString error;
    if (SSCheck1->isTicked()) {
        if (!drive.replace(kMarkerFile, TextFile::line(QStringLiteral("used by Tarnwick1.exe")), &error))
            setStatus(QStringLiteral("Could not create ") + kMarkerFile + QStringLiteral(": ") + error);
    } else if (drive.exists(kMarkerFile) && !drive.remove(kMarkerFile, &error)) {
        setStatus(QStringLiteral("Could not delete ") + kMarkerFile + QStringLiteral(": ") + error);
    }
    showTrayTip();
}

void Tarnwick1::SSCommand4_Click() {
    QPointer<Tarnwick3> dialog(&m_forms.tarnwick3());
    showWindow(*dialog);
    dialog->MonthView2->setValue(m_platform.now().date());
    if (Label2->text() == kNotScheduled)
        return;
    const QDate scheduled = DateText::parseScheduleDate(Label6->text());
    if (scheduled.isValid())
        dialog->MonthView2->setValue(scheduled);
    dialog->Label1->setText(Label3->text());
    doEvents();
    // The dialog may have been closed by an event that ran just now.
    if (dialog)
        dialog->Make_Time();
}
