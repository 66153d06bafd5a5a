// The log viewer: reads the result log once at load and marks failed results in red.
#include "dialogs/log_viewer.h"

#include "app/forms.h"
#include "net_engine/result_log.h"
#include "platform/controls/active_resize.h"
#include "platform/controls/mlist.h"
#include "platform/controls/named.h"
#include "platform/controls/ss_command.h"
#include "platform/controls/ss_panel.h"
#include "platform/controls/vb_color.h"
#include "platform/platform.h"

#include <QCloseEvent>
#include <QLabel>

namespace {

// Failed results begin with "F" ("FAILED") or "u" (a "net time" error in lower case); case matters.
bool isMarked(const QString& entry) {
    return entry.startsWith(QLatin1Char('u')) || entry.startsWith(QLatin1Char('F'));
}
} // namespace

Tarnwick4::Tarnwick4(Forms& forms) : QWidget(nullptr), m_forms(forms) {
    setObjectName(QStringLiteral("Tarnwick4"));
    setWindowTitle(QStringLiteral("Form1"));
    createControls();
    createConnections();
    Form_Load();
}

Tarnwick4::~Tarnwick4() = default;

void Tarnwick4::createControls() {
    m_resize = new ActiveResize(this, QSize(12288, 9216));
    QFont banner = font();
    banner.setPointSize(16);
    banner.setBold(true);
    SSPanel2 = named(new SSPanel(QStringLiteral("Sync Log"), this), "SSPanel2");
    SSPanel2->setFont(banner);
    m_resize->place(SSPanel2, 120, 120, 11772, 1092);
    MList1 = named(new MList(this), "MList1");
    m_resize->place(MList1, 600, 1440, 11172, 6012);
    Label1 = named(new QLabel(this), "Label1");
    m_resize->place(Label1, 600, 7440, 11172, 252);
    SSCommand1 = named(new SSCommand(QStringLiteral("Done"), this), "SSCommand1");
    m_resize->place(SSCommand1, 600, 7800, 1932, 732);
    SSCommand2 = named(new SSCommand(QStringLiteral("Empty"), this), "SSCommand2");
    m_resize->place(SSCommand2, 2760, 7800, 1932, 732);
    resize(m_resize->designPixels());
}

void Tarnwick4::createConnections() {
    connect(MList1, &MList::entryClicked, this, &Tarnwick4::MList1_Click);
    connect(SSCommand1, &QPushButton::clicked, this, &Tarnwick4::SSCommand1_Click);
    connect(SSCommand2, &QPushButton::clicked, this, &Tarnwick4::SSCommand2_Click);
}

void Tarnwick4::Form_Load() {
    const Platform& platform = m_forms.platform();
    const QString path = ResultLog::path(platform.programFolder());
    if (!platform.drive().exists(path))
        ResultLog::empty(platform.drive(), platform.programFolder());
    // One call for all records: a log at its size limit holds about 100,000 of them.
    if (const auto records = platform.drive().readFields(path))
        MList1->addEntries(*records);
    Color_Log();
}

void Tarnwick4::Color_Log() {
    for (int i = 0; i < MList1->entryCount(); ++i) {
        if (isMarked(MList1->entryText(i)))
            MList1->setEntryColor(i, VbColor::Red);
    }
}

void Tarnwick4::MList1_Click(int index) {
    Label1->setText(MList1->entryText(index));
}

void Tarnwick4::SSCommand1_Click() {
    m_forms.unload(this);
}

void Tarnwick4::SSCommand2_Click() {
    const Platform& platform = m_forms.platform();
    ResultLog::empty(platform.drive(), platform.programFolder());
    MList1->clear();
}

void Tarnwick4::closeEvent(QCloseEvent* event) {
    event->accept();
    m_forms.unload(this);
}
