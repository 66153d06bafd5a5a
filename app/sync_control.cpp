// SYNC NOW, the connection check and the pause.
#include "app/forms.h"
#include "app/main_window.h"
#include "app/tray_icon.h"
#include "data/server_lists.h"
#include "net_engine/worker_window.h"
#include "platform/controls/ss_command.h"
#include "platform/controls/ss_panel.h"
#include "platform/controls/vb_color.h"
#include "platform/date_text.h"
#include "platform/events.h"
#include "platform/platform.h"
#include "platform/shown_text.h"
#include "time_protocol/vespline.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <algorithm>
#include <cmath>

namespace {
const QString kWait = QStringLiteral("WAIT");
} // namespace

void Tarnwick1::SSCommand3_Click(Starter starter) {
    // One synchronization at a time: a click or timer tick while one waits would abandon it half-way. A network
    // run waits in the worker's result step, which may be holding on for a password prompt.
    if (m_syncWaiting || (m_forms.isTarnwickLoaded() && m_forms.tarnwick().isNetworkRunUnderWay()))
        return;
    const QString server = Label1->text();
    if (server.trimmed() == QLatin1String("NONE SELECTED")) {
        m_platform.messageBox(MessageIcon::Error, QStringLiteral("No Server Selected"),
                              QStringLiteral("You must first select another computer to sync the time with"));
        SSCommand3->setBackColor(VbColor::Black);
    } else if (!server.startsWith(QLatin1Char('\\'))) {
        syncWithInternetServer(server, starter);
        return;
    } else {
        syncWithNetworkComputer(server, starter);
    }
    Label3->setText(DateText::clockTime(m_platform.now().time()));
}

void Tarnwick1::syncWithInternetServer(const QString& server, Starter starter) {
    const bool timerStarted = starter == Starter::Timer;
    TarnBase& base = m_forms.base();
    m_syncWaiting = true;
    SSPanel2[0]->setBusyLook(true);
    Label13->setText(kWait);
    base.setInternetState(QString());
    Label8->show();
    Label7->show();
    CheckInternet();
    SSPanel2[0]->setBusyLook(false);
    if (Label13->text() == QLatin1String("False")) {
        showSyncOutcome(false, SSPanel2[0]->caption(), timerStarted, false);
        m_syncWaiting = false;
        return;
    }

    Label7->setText(QString());
    Label12->setText(QString::number(m_platform.tickCount()));
    const qint32 t0 = m_platform.tickCount();
    QPointer<Vespline> vespline = &m_forms.vespline();
    vespline->show();
    vespline->hide();
    base.setSyncResult(kWait);
    vespline->cboURL->setEditText(server);
    doEvents();
    if (vespline)
        vespline->cmdSync_Click(starter);
    setCursor(Qt::WaitCursor);
    SSCommand3->setBusyLook(true);
    const auto answeredIn = [&base](int limitMs) {
        return waitFor(
            &base, &TarnBase::syncResultChanged, [&base] { return base.SyncResult() != kWait; }, limitMs);
    };
    bool answered = answeredIn(kSyncWaitLimitMs);
    // The clock service may still be waiting for a password: giving up now would show "FAILED" for a clock that
    // then gets set. Its own time limit ends that wait.
    if (!answered && vespline && vespline->isSettingClock())
        answered = answeredIn(-1);
    if (!answered)
        base.setSyncResult(QStringLiteral("FAILED"));

    SSCommand3->setBusyLook(false);
    Label7->setText(base.SyncResult());
    unsetCursor();
    // What happened stays on the status line until the next synchronization starts. No reply from any road means
    // that no server was reached.
    showSyncOutcome(base.SyncResult() == QLatin1String("SUCESS"),
                    vespline && !vespline->lastOutcome().isEmpty()
                        ? vespline->lastOutcome()
                        : QStringLiteral("Clock not set: the time server did not answer in time"),
                    timerStarted, vespline && vespline->lastRoundTripMs() >= 0);
    // The server's time is request to reply, without a question or a password prompt; with no reply at all,
    // the time it took to give up. The tick count wraps after 49.7 days; the difference of the two readings
    // stays right across the wrap.
    const qint64 roundTripMs = vespline ? vespline->lastRoundTripMs() : -1;
    const qint64 elapsed =
        roundTripMs >= 0 ? roundTripMs
                         : static_cast<qint32>(static_cast<quint32>(m_platform.tickCount()) - static_cast<quint32>(t0));
    SSPanel2[1]->setDisplayStyle(12);
    SSPanel2[1]->setCaption(QStringLiteral("Server Response Time = ") + QString::number(elapsed) +
                            QStringLiteral(" Milliseconds"));
    m_forms.tarnwick().Timer3->start(100);
    m_syncWaiting = false;
    doEvents();
}

void Tarnwick1::syncWithNetworkComputer(const QString& computer, Starter starter) {
    // The last outcome does not describe this run; the worker's result step tells this one's.
    m_syncOutcome.clear();
    Label8->hide();
    Label7->hide();
    // No file stays open between events, so there is nothing to close before the run.
    setCursor(Qt::WaitCursor);
    SSCommand3->setBusyLook(true);
    Label12->setText(QString::number(m_platform.tickCount()));
    Tarnwick& worker = m_forms.tarnwick();
    worker.Text4->setText(computer);
    doEvents();
    worker.Command1_Click(starter);
    // The result step of the worker window restores the pointer and the button.
}

void Tarnwick1::showSyncOutcome(bool succeeded, const QString& outcome, bool timerStarted, bool serverReached) {
    m_syncOutcome = outcome;
    setStatus(outcome);
    if (timerStarted)
        m_resync.timedSyncEnded(succeeded, serverReached);
    m_trayOutcome = TrayTooltip::outcomeLine(succeeded, outcome, m_platform.now().time());
    showTrayTip();
    if (succeeded) {
        showClock(); // the clock has just been corrected
        m_notifiedFailure.clear();
        return;
    }
    // Nobody watches a timer's synchronization: its failure is told once per reason until one succeeds again.
    if (timerStarted && m_tray && outcome != m_notifiedFailure) {
        m_notifiedFailure = outcome;
        m_tray->showMessage(QStringLiteral("Horavane: clock not synchronized"), ShownText::safe(outcome));
    }
}

void Tarnwick1::CheckInternet() {
    TarnBase& base = m_forms.base();
    setStatus(QStringLiteral("Please Wait"));
    Label13->setText(kWait);
    Pause(m_checkPauseMs / 1000.0);
    doEvents();
    if (m_platform.checkInternetConnection(ServerLists::internetCheckUrl())) {
        setStatus(QStringLiteral("Internet connection detected"));
        base.setInternetState(true);
        Label13->setText(QStringLiteral("True"));
    } else {
        setStatus(QStringLiteral("No internet connection ..."));
        base.setInternetState(false);
        Label13->setText(QStringLiteral("False"));
    }
    doEvents();
}

void Tarnwick1::Pause(double seconds) {
    // A monotonic wait: it ends after the requested time whatever the wall clock does, midnight included, and
    // uses no CPU while it waits.
    if (!std::isfinite(seconds) || seconds <= 0) {
        doEvents();
        return;
    }
    waitMs(static_cast<int>(std::lround(std::min(seconds, 86400.0) * 1000.0)));
}

bool Tarnwick1::isBusy() const {
    return m_syncWaiting;
}
