// The server selection dialog: a click on either list becomes the main window's selected source.
#include "dialogs/server_dialog.h"

#include "app/forms.h"
#include "app/main_window.h"
#include "data/server_lists.h"
#include "net_engine/worker_window.h"
#include "platform/controls/active_resize.h"
#include "platform/controls/mlist.h"
#include "platform/controls/named.h"
#include "platform/controls/ss_command.h"
#include "platform/controls/ss_panel.h"
#include "platform/events.h"
#include "platform/platform.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QTimer>

namespace {
const QString kPanelTip = QStringLiteral("Click to Select Computer to Synchronize with");

} // namespace

Tarnwick2::Tarnwick2(Forms& forms) : QWidget(nullptr), m_forms(forms) {
    setObjectName(QStringLiteral("Tarnwick2"));
    setWindowTitle(QStringLiteral("Select Computer"));
    createControls();
    createConnections();
    Form_Load();
}

Tarnwick2::~Tarnwick2() = default;

void Tarnwick2::createControls() {
    m_resize = new ActiveResize(this, QSize(12288, 8268));
    auto framed = [this](const char* name, int left) {
        auto* panel = named(new SSPanel(QStringLiteral("Status"), this), name);
        panel->setCaptionAlignment(Qt::AlignHCenter | Qt::AlignTop);
        panel->setToolTip(kPanelTip);
        m_resize->place(panel, left, 480, 4692, 972);
        return panel;
    };
    auto hint = [this](const char* name, int left) {
        auto* panel = named(new SSPanel(QStringLiteral("Click on Computer To Use Above"), this), name);
        panel->setToolTip(kPanelTip);
        m_resize->place(panel, left, 5160, 4692, 972);
        return panel;
    };

    SSPanel3 = framed("SSPanel3", 1560);
    Label1 = named(new QLabel(QStringLiteral("Getting Your Network Computers"), SSPanel3), "Label1");
    Label1->setAlignment(Qt::AlignCenter);
    m_resize->place(Label1, 360, 480, 4092, 372);
    MList1 = named(new MList(this), "MList1");
    m_resize->place(MList1, 1680, 1440, 4452, 3732);
    SSPanel1 = hint("SSPanel1", 1560);

    SSPanel4 = framed("SSPanel4", 6600);
    Label2 = named(new QLabel(QStringLiteral("List of Internet Time Servers"), SSPanel4), "Label2");
    Label2->setAlignment(Qt::AlignCenter);
    m_resize->place(Label2, 360, 480, 4092, 372);
    MList2 = named(new MList(this), "MList2");
    m_resize->place(MList2, 6720, 1440, 4452, 3732);
    SSPanel5 = hint("SSPanel5", 6600);

    SSCommand2 = named(new SSCommand(QStringLiteral("Add Manually To List"), this), "SSCommand2");
    m_resize->place(SSCommand2, 4920, 6120, 1332, 492);
    SSCommand1 = named(new SSCommand(QStringLiteral("Cancel"), this), "SSCommand1");
    m_resize->place(SSCommand1, 480, 6720, 3012, 1092);
    SSPanel2 = named(new SSPanel(QStringLiteral("Searching"), this), "SSPanel2");
    m_resize->place(SSPanel2, 3840, 6720, 2892, 972);

    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(500);
    resize(m_resize->designPixels());
}

void Tarnwick2::createConnections() {
    connect(Timer1, &QTimer::timeout, this, &Tarnwick2::Timer1_Timer);
    connect(MList1, &MList::entryClicked, this, &Tarnwick2::MList1_Click);
    connect(MList2, &MList::entryClicked, this, &Tarnwick2::MList2_Click);
    connect(SSCommand1, &QPushButton::clicked, this, &Tarnwick2::SSCommand1_Click);
    connect(SSCommand2, &QPushButton::clicked, this, &Tarnwick2::SSCommand2_Click);
}

void Tarnwick2::Form_Load() {
    MList2->addEntries(ServerLists::internetServers());
    Timer1->start();
}

void Tarnwick2::Timer1_Timer() {
    setCursor(Qt::WaitCursor);
    Label1->setText(QStringLiteral("Getting Network Computers"));
    Timer1->stop();
    m_forms.tarnwick().Command3_Click();
    doEvents();
}

void Tarnwick2::choose(const QString& source) {
    m_forms.tarnwick1().Label1->setText(source);
    m_forms.unload(this);
}

void Tarnwick2::MList1_Click(int index) {
    choose(MList1->entryText(index));
}
void Tarnwick2::MList2_Click(int index) {
    choose(MList2->entryText(index));
}

void Tarnwick2::SSCommand1_Click() {
    m_forms.unload(this);
}

void Tarnwick2::SSCommand2_Click() {
    QPointer<Tarnwick2> self(this);
    const QString answer = m_forms.platform().inputBox(
        QStringLiteral("Please enter a server or computer name on your network, the name must begin with ' \\\\ '"),
        QStringLiteral("Manually Add to list"), QStringLiteral("\\\\ServerName"));
    // The prompt runs its own event loop, in which the dialog may have been closed.
    if (self && !answer.isEmpty())
        MList1->addEntry(answer);
}

void Tarnwick2::closeEvent(QCloseEvent* event) {
    event->accept();
    m_forms.unload(this);
}
