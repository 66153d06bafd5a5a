// The log viewer.
#include "dialogs/log_viewer.h"

#include "app/forms.h"
#include "platform/controls/mlist.h"
#include "platform/controls/ss_command.h"
#include "platform/controls/ss_panel.h"

#include <QLabel>

Tarnwick4::Tarnwick4(Forms& forms) : QWidget(nullptr), m_forms(forms) {
    setObjectName(QStringLiteral("Tarnwick4"));
    setWindowTitle(QStringLiteral("Form1"));
    SSPanel2 = new SSPanel(QStringLiteral("Sync Log"), this);
    MList1 = new MList(this);
    Label1 = new QLabel(this);
    SSCommand1 = new SSCommand(QStringLiteral("Done"), this);
    SSCommand2 = new SSCommand(QStringLiteral("Empty"), this);
}

Tarnwick4::~Tarnwick4() = default;
