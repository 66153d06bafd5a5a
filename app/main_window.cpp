// The main window's elements, their connections, and its buttons and tray behaviour.
#include "app/main_window.h"

#include "app/forms.h"
#include "app/program_icon.h"
#include "data/server_lists.h"
#include "dialogs/log_viewer.h"
#include "dialogs/server_dialog.h"
#include "net_engine/worker_window.h"
#include "platform/controls/active_resize.h"
#include "platform/controls/fit_label.h"
#include "platform/controls/named.h"
#include "platform/controls/ss_check.h"
#include "platform/controls/ss_command.h"
#include "platform/controls/ss_panel.h"
#include "platform/controls/ss_ribbon.h"
#include "platform/controls/vb_color.h"
#include "platform/platform.h"
#include "time_protocol/vespline.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QPushButton>

namespace {
const QString kMakerNotice = QStringLiteral("Copyright (c) 2026 The Horavane developers");

template <typename Label = QLabel> QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text) {
    auto* label = new Label(text, parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

Tarnwick1::Tarnwick1(Forms& forms) : QWidget(nullptr), m_forms(forms), m_platform(forms.platform()) {
    setObjectName(QStringLiteral("Tarnwick1"));
    setWindowTitle(QStringLiteral("Horavane") + QString(10, QLatin1Char(' ')) + kMakerNotice);
    setWindowIcon(programIcon());
    createControls();
    createConnections();
}

Tarnwick1::~Tarnwick1() = default;

void Tarnwick1::createControls() {
    m_resize = new ActiveResize(this, QSize(12300, 8900));
    auto place = [this](QWidget* w, int l, int t, int wd, int h) { m_resize->place(w, l, t, wd, h); };

    QFont big = font();
    big.setPointSize(14);
    big.setBold(true);

    SSPanel5 = named(new SSPanel(QStringLiteral("Current Time"), this), QStringLiteral("SSPanel5"));
    SSPanel5->setCaptionAlignment(Qt::AlignHCenter | Qt::AlignTop);
    place(SSPanel5, 2760, 240, 3492, 1212);
    Label3 = makeLabel<FitLabel>(SSPanel5, QStringLiteral("Label3"), QStringLiteral("NONE SELECTED"));
    Label3->setFont(big);
    place(Label3, 120, 420, 3252, 672);

    SSPanel6 = named(new SSPanel(QStringLiteral("Current Date"), this), QStringLiteral("SSPanel6"));
    SSPanel6->setCaptionAlignment(Qt::AlignHCenter | Qt::AlignTop);
    place(SSPanel6, 6360, 240, 3492, 1212);
    Label5 = makeLabel<FitLabel>(SSPanel6, QStringLiteral("Label5"), QStringLiteral("NONE SELECTED"));
    Label5->setFont(big);
    place(Label5, 120, 420, 3252, 672);

    SSPanel2[0] = named(new SSPanel(QStringLiteral("Network Synchronization"), this), QStringLiteral("SSPanel2_0"));
    SSPanel2[0]->setFont(big);
    SSPanel2[0]->setCaptionAsToolTip(true); // a long reason, drawn small, is read whole there too
    place(SSPanel2[0], 2760, 1560, 7092, 1092);

    SSPanel1 = named(new SSPanel(QStringLiteral("HORAVANE"), this), QStringLiteral("SSPanel1"));
    QFont banner(QStringLiteral("Times New Roman"), 28, QFont::Bold);
    SSPanel1->setFont(banner);
    place(SSPanel1, 480, 2520, 11292, 1212);
    SSRibbon3 = named(new SSRibbon(SSPanel1), QStringLiteral("SSRibbon3"));
    place(SSRibbon3, 480, 360, 612, 612);
    SSRibbon2 = named(new SSRibbon(SSPanel1), QStringLiteral("SSRibbon2"));
    place(SSRibbon2, 10200, 360, 612, 612);
    SSRibbon3->setPixmap(programPicture(64));
    SSRibbon2->setPixmap(programPicture(64));

    SSPanel2[1] = named(new SSPanel(QStringLiteral("Synchronize with Server"), this), QStringLiteral("SSPanel2_1"));
    SSPanel2[1]->setFont(big);
    place(SSPanel2[1], 2760, 3600, 7092, 1092);

    SSPanel3 = named(new SSPanel(QStringLiteral("Server"), this), QStringLiteral("SSPanel3"));
    SSPanel3->setCaptionAlignment(Qt::AlignHCenter | Qt::AlignTop);
    SSPanel3->setToolTip(QStringLiteral("Click to Select Computer to Synchronize with"));
    place(SSPanel3, 1680, 4800, 4572, 1212);
    Label1 = makeLabel<FitLabel>(SSPanel3, QStringLiteral("Label1"), ServerLists::defaultServer());
    Label1->setFont(big);
    // Clicks on the label reach the panel beneath it.
    Label1->setAttribute(Qt::WA_TransparentForMouseEvents);
    place(Label1, 120, 420, 4332, 672);

    SSPanel4 = named(new SSPanel(QStringLiteral("Next Auto Sync"), this), QStringLiteral("SSPanel4"));
    SSPanel4->setCaptionAlignment(Qt::AlignHCenter | Qt::AlignTop);
    place(SSPanel4, 6360, 4800, 4572, 1212);
    Label6 = makeLabel(SSPanel4, QStringLiteral("Label6"), QStringLiteral("NOT SCHEDULED"));
    place(Label6, 120, 360, 4332, 372);
    Label2 = makeLabel(SSPanel4, QStringLiteral("Label2"), QStringLiteral("NOT SCHEDULED"));
    place(Label2, 120, 760, 4332, 372);

    SSCommand5 = named(new SSCommand(QStringLiteral("Change"), this), QStringLiteral("SSCommand5"));
    place(SSCommand5, 5280, 6000, 972, 252);
    SSCommand4 = named(new SSCommand(QStringLiteral("Change"), this), QStringLiteral("SSCommand4"));
    place(SSCommand4, 9840, 6000, 972, 252);

    QFont buttons = font();
    buttons.setPointSize(12);
    buttons.setBold(true);
    SSCommand1 = named(new SSCommand(QStringLiteral("END"), this), QStringLiteral("SSCommand1"));
    SSCommand1->setToolTip(QStringLiteral("End this program - no further synchroniztion will be preformed"));
    SSCommand1->setFont(buttons);
    SSCommand1->setBackColor(VbColor::Red);
    place(SSCommand1, 360, 6720, 1812, 1092);
    SSCommand2 = named(new SSCommand(QStringLiteral("DONE"), this), QStringLiteral("SSCommand2"));
    SSCommand2->setToolTip(QStringLiteral("Minimize this screen and continue monitoring"));
    SSCommand2->setFont(buttons);
    SSCommand2->setBackColor(VbColor::Black);
    place(SSCommand2, 2520, 6720, 1812, 1092);
    SSCommand3 = named(new SSCommand(QStringLiteral("SYNC NOW"), this), QStringLiteral("SSCommand3"));
    SSCommand3->setFont(buttons);
    SSCommand3->setBackColor(VbColor::Black);
    place(SSCommand3, 4560, 6720, 3132, 1092);

    SSPanel7 = named(new SSPanel(QStringLiteral("Sync Every            Minutes"), this), QStringLiteral("SSPanel7"));
    SSPanel7->setCaptionAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(SSPanel7, 8040, 6720, 3972, 1212);
    Combo1 = named(new QComboBox(SSPanel7), QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    // The list holds exactly the whole minutes; a typed value is used as it is, not added to it.
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setEditText(QStringLiteral("60"));
    Combo1->setFrame(false);
    QFont small = Combo1->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    Combo1->setFont(small);
    // The interval sits in the blanks of the panel's caption, between "Sync Every" and "Minutes".
    const QFontMetrics caption(SSPanel7->font());
    const int gapLeft = caption.horizontalAdvance(QStringLiteral("Sync Every ")) + 6;
    const int gapWidth = caption.horizontalAdvance(QStringLiteral("Sync Every            ")) + 4 - gapLeft;
    const double twipsPerPixel = 15.0 * 96.0 / SSPanel7->logicalDpiX();
    place(Combo1, qRound(gapLeft * twipsPerPixel), 20, qRound(gapWidth * twipsPerPixel), 300);
    SSCheck1 = named(new SSCheck(QStringLiteral(" YES"), SSPanel7), QStringLiteral("SSCheck1"));
    place(SSCheck1, 2880, 40, 960, 300);
    Label11 = makeLabel(SSPanel7, QStringLiteral("Label11"), QStringLiteral("Minutes till next Sync if checked"));
    Label11->setWordWrap(true);
    place(Label11, 120, 420, 2700, 660);
    Label10 = makeLabel(SSPanel7, QStringLiteral("Label10"), QStringLiteral("1"));
    place(Label10, 2880, 540, 480, 300);
    Label9 = makeLabel(SSPanel7, QStringLiteral("Label9"), QStringLiteral("Min"));
    place(Label9, 3360, 540, 480, 300);

    SSCommand6 = named(new SSCommand(QStringLiteral("Log"), this), QStringLiteral("SSCommand6"));
    place(SSCommand6, 6720, 7800, 972, 252);
    Command2 = named(new QPushButton(QStringLiteral("Windows Date / Time CPL"), this), QStringLiteral("Command2"));
    place(Command2, 8040, 8160, 3132, 372);
    Label4[0] = makeLabel(this, QStringLiteral("Label4_0"), kMakerNotice);
    place(Label4[0], 1080, 8280, 6012, 252);

    // Elements that are never visible at start.
    Label8 = makeLabel(this, QStringLiteral("Label8"), QStringLiteral("Last Result"));
    place(Label8, 2640, 6000, 972, 252);
    Label8->hide();
    Label7 = makeLabel(this, QStringLiteral("Label7"), QString());
    setBackColor(Label7, VbColor::LightYellow);
    place(Label7, 3600, 6000, 1212, 240);
    Label7->hide();
    Label4[1] = makeLabel(this, QStringLiteral("Label4_1"), QStringLiteral("Next Auto Sync"));
    Label4[1]->hide();
    Label12 = makeLabel(this, QStringLiteral("Label12"), QStringLiteral("Label12"));
    Label12->hide();
    Label13 = makeLabel(this, QStringLiteral("Label13"), QStringLiteral("Label13"));
    Label13->hide();
    Command1 = named(new QPushButton(QStringLiteral("Command1"), this), QStringLiteral("Command1"));
    Command1->hide();
    Command3 = named(new QPushButton(QStringLiteral("Command3"), this), QStringLiteral("Command3"));
    Command3->hide();
    Command4 = named(new QPushButton(QStringLiteral("Command4"), this), QStringLiteral("Command4"));
    Command4->hide();
    Image1 = makeLabel(this, QStringLiteral("Image1"), QString());
    Image1->setPixmap(programPicture(32));
    Image1->hide();

    Timer1 = named(new QTimer(this), QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    // The labels must change with the minute: a coarse timer may be late by 5 % of its interval.
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer2 = named(new QTimer(this), QStringLiteral("Timer2"));
    Timer2->setInterval(60000);
    m_trayLost.setSingleShot(true);
    m_trayLost.setInterval(waitFromEnvironment("HORAVANE_TRAY_GRACE_MS", kTrayLostGraceMs));
}

int Tarnwick1::waitFromEnvironment(const char* name, int realMs) {
    // The unit tests set their waits directly, and the main window's test and test_sync_now keep the real ones.
    const int ms = qEnvironmentVariableIntValue(name);
    return ms > 0 ? ms : realMs;
}

void Tarnwick1::createConnections() {
    connect(SSCommand1, &QPushButton::clicked, this, &Tarnwick1::SSCommand1_Click);
    connect(SSCommand2, &QPushButton::clicked, this, &Tarnwick1::SSCommand2_Click);
    connect(SSCommand3, &QPushButton::clicked, this, [this] { SSCommand3_Click(Starter::Person); });
    connect(SSCommand4, &QPushButton::clicked, this, &Tarnwick1::SSCommand4_Click);
    connect(SSCommand5, &QPushButton::clicked, this, &Tarnwick1::SSCommand5_Click);
    connect(SSCommand6, &QPushButton::clicked, this, &Tarnwick1::SSCommand6_Click);
    connect(SSPanel3, &SSPanel::clicked, this, &Tarnwick1::SSPanel3_Click);
    connect(SSCheck1, &QCheckBox::clicked, this, &Tarnwick1::SSCheck1_Click);
    connect(Command1, &QPushButton::clicked, this, &Tarnwick1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Tarnwick1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Tarnwick1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Tarnwick1::Command4_Click);
    connect(Timer1, &QTimer::timeout, this, &Tarnwick1::Timer1_Timer);
    connect(Timer2, &QTimer::timeout, this, &Tarnwick1::Timer2_Timer);
    connect(&m_trayLost, &QTimer::timeout, this, &Tarnwick1::showForLackOfTray);

    // Highlight of END, DONE and SYNC NOW while the pointer is over them.
    connect(SSCommand1, &SSCommand::pointerEntered, this, [this] { SSCommand1->setBackColor(VbColor::Red); });
    connect(SSCommand2, &SSCommand::pointerEntered, this, [this] { SSCommand2->setBackColor(VbColor::ButtonFace); });
    connect(SSCommand3, &SSCommand::pointerEntered, this, [this] { SSCommand3->setBackColor(VbColor::ButtonFace); });
    for (SSCommand* button : {SSCommand1, SSCommand2, SSCommand3})
        connect(button, &SSCommand::pointerLeft, this, [button] { button->setBackColor(VbColor::Black); });
}

void Tarnwick1::setStatus(const QString& text) {
    SSPanel2[0]->setCaption(text);
}

void Tarnwick1::showWindow(QWidget& window) {
    window.show();
    window.raise();
    window.activateWindow();
}

void Tarnwick1::SSCommand5_Click() {
    showWindow(m_forms.tarnwick2());
}
void Tarnwick1::SSPanel3_Click() {
    showWindow(m_forms.tarnwick2());
}
void Tarnwick1::SSCommand6_Click() {
    showWindow(m_forms.tarnwick4());
}
void Tarnwick1::Command1_Click() {
    showWindow(m_forms.tarnwick());
}
void Tarnwick1::Command2_Click() {
    m_platform.startProgram(QStringLiteral("rundll32.exe shell32.dll,Control_RunDLL timedate.cpl"), 1);
}
void Tarnwick1::Command3_Click() {
    showWindow(m_forms.vespline());
}
void Tarnwick1::Command4_Click() {
    CheckInternet();
}
