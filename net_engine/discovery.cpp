// Discovery of the computers of the local network through "net view", on the worker window.
#include "app/forms.h"
#include "dialogs/server_dialog.h"
#include "net_engine/command_runner.h"
#include "net_engine/discovery_rules.h"
#include "net_engine/worker_window.h"
#include "platform/controls/mlist.h"
#include "platform/controls/ss_panel.h"
#include "platform/controls/vb_color.h"
#include "platform/events.h"
#include "platform/platform.h"
#include "platform/shown_text.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTimer>

using namespace CommandRunner;

void Tarnwick::Command3_Click() {
    Platform& platform = m_forms.platform();
    const DriveC& drive = platform.drive();
    // Failures are passed over: a command file that cannot be replaced runs its earlier line.
    drive.truncate(kCommandFile);
    clearStatusFile(drive);
    List1->clear();
    writeCommandFile(drive, Discovery::kCommandLine);
    doEvents();
    setBackColor(Text3, VbColor::Red);
    platform.startProgram(kCommandFileToStart, kMinimizedNoFocus);
    doEvents();
    Timer4->start(2000);
}

void Tarnwick::Timer4_Timer() {
    Timer4->stop();
    Platform& platform = m_forms.platform();
    // A large network takes longer to list than the fixed pause; a network run may still be setting the clock.
    waitForRuns();
    const DriveC& drive = platform.drive();
    // Showing a listing that still runs would cut the list short under "List Is Complete".
    if (platform.commandRunning())
        platform.waitForCommands(kListingExtraWaitMs);
    Text3->clear();
    List1->clear();
    QString shown;
    QStringList found;
    if (drive.exists(kStatusFile)) {
        bool unterminated = false;
        if (const auto fields = drive.readFields(kStatusFile, -1, &unterminated)) {
            shown = keepTail(joinFields(*fields, QStringLiteral("\r\n")), kText3MaxChars);
            found = Discovery::computers(*fields, unterminated);
        }
    }
    Text3->setPlainText(shown);
    for (const QString& name : found) {
        auto* item = new QListWidgetItem(ShownText::safe(name), List1);
        item->setData(Qt::UserRole, name);
    }
    // Writing into the selection dialog loads it again, hidden, when it was closed meanwhile.
    Tarnwick2& dialog = m_forms.tarnwick2();
    dialog.MList1->addEntries(found);
    setBackColor(Text3, VbColor::White);
    dialog.Label1->setText(QStringLiteral("List Is Complete"));
    dialog.unsetCursor();
    dialog.SSPanel2->hide();
}

void Tarnwick::List1_Click() {
    if (const QListWidgetItem* item = List1->currentItem()) {
        const QVariant given = item->data(Qt::UserRole);
        Text4->setText((given.isValid() ? given.toString() : item->text()).trimmed());
    }
}
