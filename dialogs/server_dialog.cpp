// The server selection dialog.
#include "dialogs/server_dialog.h"

#include "app/forms.h"
#include "platform/controls/mlist.h"
#include "platform/controls/ss_command.h"
#include "platform/controls/ss_panel.h"

#include <QLabel>
#include <QTimer>

Tarnwick2::Tarnwick2(Forms& forms) : QWidget(nullptr), m_forms(forms) {
    setObjectName(QStringLiteral("Tarnwick2"));
    setWindowTitle(QStringLiteral("Select Computer"));
    SSPanel1 = new SSPanel(QStringLiteral("Click on Computer To Use Above"), this);
    SSPanel2 = new SSPanel(QStringLiteral("Searching"), this);
    SSPanel3 = new SSPanel(QStringLiteral("Status"), this);
    SSPanel4 = new SSPanel(QStringLiteral("Status"), this);
    SSPanel5 = new SSPanel(QStringLiteral("Click on Computer To Use Above"), this);
    Label1 = new QLabel(QStringLiteral("Getting Your Network Computers"), SSPanel3);
    Label2 = new QLabel(QStringLiteral("List of Internet Time Servers"), SSPanel4);
    MList1 = new MList(this);
    MList2 = new MList(this);
    SSCommand1 = new SSCommand(QStringLiteral("Cancel"), this);
    SSCommand2 = new SSCommand(QStringLiteral("Add Manually To List"), this);
    Timer1 = new QTimer(this);
}

Tarnwick2::~Tarnwick2() = default;
