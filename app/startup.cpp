// The main window's start sequence, its settings, the tray icon and the ways the window is hidden or ended.
#include "app/main_window.h"

#include "app/forms.h"
#include "app/program_icon.h"
#include "app/schedule.h"
#include "app/settings_file.h"
#include "app/tray_icon.h"
#include "net_engine/result_log.h"
#include "platform/controls/ss_check.h"
#include "platform/controls/ss_panel.h"
#include "platform/date_text.h"
#include "platform/events.h"
#include "platform/platform.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QIcon>
#include <QStyle>

namespace {
constexpr int kLongestInterval = 720;
} // namespace

bool Tarnwick1::Form_Load() {
    if (m_platform.isAnotherCopyRunning()) {
        // The running copy comes to the front, so starting from the menu always leads to its window.
        m_platform.askRunningCopyToShow();
        m_platform.messageBox(MessageIcon::Error, QStringLiteral("Startup Error"),
                              QStringLiteral("The Horavane program is already running! Please Click OK."));
        return false;
    }
    // Ticking by code raises no click, so the marker file is not rewritten.
    if (m_platform.drive().exists(kMarkerFile))
        SSCheck1->setChecked(true);
    fillIntervals();
    const QDateTime now = m_platform.now();
    Label3->setText(DateText::clockTime(now.time()));
    Label5->setText(DateText::clockDate(now.date()));
    restoreSettings();
    AddTrayIcon();
    // Without a tray icon the hidden window could never be reached again: it stays up until a tray appears.
    if (m_tray && m_tray->isShown())
        hide();
    else
        showForLackOfTray();
    m_platform.listenForLaterStarts([this] { bringToFront(); });
    listenToSystem();
    // The first tick comes a second after the start; each tick then waits for the start of the next minute.
    Timer1->start(1000);
    Timer2->start();
    return true;
}

void Tarnwick1::bringToFront() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    showWindow(*this);
}

void Tarnwick1::fillIntervals() {
    const QString kept = Combo1->currentText();
    QStringList minutes;
    minutes.reserve(kLongestInterval);
    for (int i = 1; i <= kLongestInterval; ++i)
        minutes << QString::number(i);
    Combo1->addItems(minutes);
    // The drop-down is as wide as its longest entry needs beside the scroll bar, whatever the box's width.
    QAbstractItemView* view = Combo1->view();
    view->setMinimumWidth(view->sizeHintForColumn(0) + view->style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                          2 * view->frameWidth() + 4);
    // Filling an empty box selects its first entry; the interval the user sees stays as it was.
    Combo1->setCurrentIndex(Combo1->findText(kept));
    Combo1->setEditText(kept);
}

void Tarnwick1::restoreSettings() {
    const auto restored = SettingsFile::read(m_platform.drive(), m_platform.programFolder());
    if (!restored)
        return;
    Label1->setText(restored->server);
    Label2->setText(restored->scheduleTime);
    Label6->setText(restored->scheduleDate);
}

QString Tarnwick1::settingsPath() const {
    return SettingsFile::path(m_platform.programFolder());
}

bool Tarnwick1::SaveSettings() {
    const QByteArray content =
        SettingsFile::content(Label1->text(), Label2->text(), Label3->text(), Label5->text(), Label6->text());
    QString error;
    if (SettingsFile::write(m_platform.drive(), m_platform.programFolder(), content, &error))
        return true;
    setStatus(QStringLiteral("Settings not saved: %1").arg(error));
    qWarning("Horavane: could not save the settings to %s: %s", qPrintable(settingsPath()), qPrintable(error));
    return false;
}

void Tarnwick1::AddTrayIcon() {
    m_trayTooltip = TrayTooltip::field(Label6->text(), Label2->text());
    m_tray = m_platform.createTrayIcon();
    if (!m_tray)
        return;
    connect(m_tray.get(), &TrayIcon::mouseMessage, this, &Tarnwick1::Form_MouseMove);
    connect(m_tray.get(), &TrayIcon::shownChanged, this, &Tarnwick1::trayShownChanged);
    connect(m_tray.get(), &TrayIcon::menuChosen, this, [this](TrayIcon::MenuEntry entry) {
        switch (entry) {
        case TrayIcon::MenuEntry::ShowWindow:
            bringToFront();
            break;
        case TrayIcon::MenuEntry::SyncNow:
            SSCommand3_Click();
            break;
        case TrayIcon::MenuEntry::End:
            SSCommand1_Click();
            break;
        }
    });
    m_tray->add(programIcon(), m_trayTooltip);
}

void Tarnwick1::trayShownChanged(bool shown) {
    if (shown) {
        m_trayLost.stop();
        if (SSPanel2[0]->caption() == kNoTrayNote)
            setStatus(QStringLiteral("Network Synchronization"));
        // A panel that starts after the program (autostart at log-in) takes it into the tray as a normal start
        // does, unless the user has begun to work in the window meanwhile.
        if (m_upForLackOfTray)
            hide();
        windowUsed();
        return;
    }
    // A panel that restarts brings its tray back within moments; one that is gone for good leaves only the window.
    if (!isVisible())
        m_trayLost.start();
}

void Tarnwick1::showForLackOfTray() {
    m_upForLackOfTray = true;
    qApp->installEventFilter(this);
    setStatus(kNoTrayNote);
    show();
}

void Tarnwick1::windowUsed() {
    if (!m_upForLackOfTray)
        return;
    m_upForLackOfTray = false;
    qApp->removeEventFilter(this);
}

bool Tarnwick1::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::MouseButtonPress || type == QEvent::KeyPress) && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this)
        windowUsed();
    return QWidget::eventFilter(watched, event);
}

bool Tarnwick1::isTrayIconShown() const {
    return m_tray && m_tray->isShown();
}

void Tarnwick1::EmptyLog() {
    QString error;
    if (!ResultLog::empty(m_platform.drive(), m_platform.programFolder(), &error))
        setStatus(QStringLiteral("Log not emptied: ") + error);
}

void Tarnwick1::Form_MouseMove(int n) {
    switch (n) {
    case 513: // left button down
    case 514: // left button up
    case 516: // right button down
    case 517: // right button up
    case 518: // right double-click
        show();
        break;
    case 515: // left double-click
        show();
        doEvents();
        break;
    default: // plain movement and anything else
        break;
    }
    doEvents();
}

void Tarnwick1::SSCommand1_Click() {
    SaveSettings();
    if (m_tray)
        m_tray->remove();
    doEvents();
    m_platform.endProgram();
}

void Tarnwick1::SSCommand2_Click() {
    // A failed save keeps the window up, so the status line that says so can be read.
    if (!SaveSettings())
        return;
    // Without an icon nothing could bring a hidden window back.
    if (isTrayIconShown())
        hide();
    else
        setStatus(kNoTrayNote);
}

void Tarnwick1::Form_Unload() {
    if (m_tray)
        m_tray->remove();
    doEvents();
}

void Tarnwick1::closeEvent(QCloseEvent* event) {
    // With the icon in the tray the close box only hides the window, as DONE does without saving; without one the
    // program could never be reached again, so closing unloads the window and ends the program.
    if (isTrayIconShown()) {
        event->ignore();
        hide();
        return;
    }
    Form_Unload();
    event->accept();
    m_platform.endProgram();
}
