// The schedule dialog.
#include "dialogs/schedule_dialog.h"

#include "app/forms.h"
#include "platform/controls/mlist.h"
#include "platform/controls/month_view.h"
#include "platform/controls/ss_command.h"
#include "platform/controls/ss_panel.h"

#include <QLabel>

Tarnwick3::Tarnwick3(Forms& forms) : QWidget(nullptr), m_forms(forms) {
    setObjectName(QStringLiteral("Tarnwick3"));
    setWindowTitle(QStringLiteral("Form1"));
    SSPanel1 = new SSPanel(QStringLiteral("Select Date and Time"), this);
    SSPanel2 = new SSPanel(QStringLiteral("Schedule when to Sync Next"), this);
    MonthView2 = new MonthView(this);
    Label3 = new QLabel(QStringLiteral("Next At"), this);
    Label1 = new QLabel(this);
    MList1 = new MList(this);
    SSCommand1 = new SSCommand(QStringLiteral("Done"), this);
    SSCommand2 = new SSCommand(QStringLiteral("Cancel"), this);
}

Tarnwick3::~Tarnwick3() = default;

void Tarnwick3::Make_Time() {}
