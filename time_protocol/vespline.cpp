// The Time Protocol window.
#include "time_protocol/vespline.h"

#include "app/forms.h"
#include "platform/controls/winsock.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

Vespline::Vespline(Forms& forms) : QWidget(nullptr), m_forms(forms) {
    setObjectName(QStringLiteral("Vespline"));
    setWindowTitle(QStringLiteral("Synchronize Your Clock"));
    Label1 = new QLabel(QStringLiteral("Server to Synchronize to:"), this);
    cboURL = new QComboBox(this);
    cboURL->setEditable(true);
    cmdSync = new QPushButton(QStringLiteral("&Synch"), this);
    cmdQuit = new QPushButton(QStringLiteral("&Quit"), this);
    Winsock = new ::Winsock(this);
}

Vespline::~Vespline() = default;

void Vespline::cmdSync_Click() {}
void Vespline::cmdQuit_Click() { m_forms.unload(this); }
