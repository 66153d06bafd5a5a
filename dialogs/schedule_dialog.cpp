// The schedule dialog: the chosen date and time become the main window's schedule labels.
#include "dialogs/schedule_dialog.h"

#include "app/forms.h"
#include "app/main_window.h"
#include "dialogs/schedule_times.h"
#include "platform/controls/active_resize.h"
#include "platform/controls/mlist.h"
#include "platform/controls/month_view.h"
#include "platform/controls/named.h"
#include "platform/controls/ss_command.h"
#include "platform/controls/ss_panel.h"
#include "platform/date_text.h"

#include <QCloseEvent>
#include <QLabel>

Tarnwick3::Tarnwick3(Forms& forms) : QWidget(nullptr), m_forms(forms) {
    setObjectName(QStringLiteral("Tarnwick3"));
    setWindowTitle(QStringLiteral("Form1"));
    createControls();
    createConnections();
    Fill_Times();
}

Tarnwick3::~Tarnwick3() = default;

void Tarnwick3::createControls() {
    m_resize = new ActiveResize(this, QSize(12288, 9216));
    QFont banner = font();
    banner.setPointSize(14);
    banner.setBold(true);

    SSPanel2 = named(new SSPanel(QStringLiteral("Schedule when to Sync Next"), this), "SSPanel2");
    SSPanel2->setFont(banner);
    m_resize->place(SSPanel2, 720, 240, 11772, 732);
    MonthView2 = named(new MonthView(this), "MonthView2");
    m_resize->place(MonthView2, 600, 1200, 7368, 5856);
    Label3 = named(new QLabel(QStringLiteral("Next At"), this), "Label3_0");
    Label3->setAlignment(Qt::AlignCenter);
    m_resize->place(Label3, 8280, 1200, 1932, 492);
    Label1 = named(new QLabel(this), "Label1");
    Label1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Label1->setAlignment(Qt::AlignCenter);
    m_resize->place(Label1, 8280, 1680, 1932, 492);
    MList1 = named(new MList(this), "MList1");
    m_resize->place(MList1, 8280, 2160, 1932, 4932);
    SSPanel1 = named(new SSPanel(QStringLiteral("Select Date and Time"), this), "SSPanel1");
    SSPanel1->setFont(banner);
    m_resize->place(SSPanel1, 600, 7080, 11772, 732);
    SSCommand1 = named(new SSCommand(QStringLiteral("Done"), this), "SSCommand1");
    SSCommand1->setEnabled(false);
    m_resize->place(SSCommand1, 720, 7920, 1932, 732);
    SSCommand2 = named(new SSCommand(QStringLiteral("Cancel"), this), "SSCommand2");
    m_resize->place(SSCommand2, 3000, 7920, 1932, 732);
    resize(m_resize->designPixels());
}

void Tarnwick3::createConnections() {
    connect(MList1, &MList::entryClicked, this, &Tarnwick3::MList1_Click);
    connect(MonthView2, &MonthView::dateClick, this, &Tarnwick3::MonthView2_DateClick);
    connect(SSCommand1, &QPushButton::clicked, this, &Tarnwick3::SSCommand1_Click);
    connect(SSCommand2, &QPushButton::clicked, this, &Tarnwick3::SSCommand2_Click);
}

void Tarnwick3::Fill_Times() {
    setCursor(Qt::WaitCursor);
    MList1->addItems(ScheduleTimes::quarterHours());
    MList1->setToolTip(QStringLiteral("Select a Time for order to be sent"));
    unsetCursor();
}

void Tarnwick3::Make_Time() {
    QStringList entries;
    entries.reserve(MList1->entryCount());
    for (int i = 0; i < MList1->entryCount(); ++i)
        entries << MList1->entryText(i);
    const int index = ScheduleTimes::matchingIndex(entries, Label1->text());
    if (index >= 0) {
        MList1->setListIndex(index);
        MList1->scrollToItem(MList1->item(index));
    }
}

void Tarnwick3::MList1_Click(int index) {
    Label1->setText(MList1->entryText(index));
    SSCommand1->setEnabled(true);
}

void Tarnwick3::MonthView2_DateClick() {
    if (!Label1->text().isEmpty())
        SSCommand1->setEnabled(true);
}

void Tarnwick3::SSCommand1_Click() {
    const QDate date = MonthView2->value();
    const QTime time = ScheduleTimes::parseChosenTime(Label1->text());
    // A preset that is not a time (the clock label before its first tick) writes nothing; the user picks a time.
    if (!time.isValid() || !date.isValid())
        return;
    Tarnwick1& main = m_forms.tarnwick1();
    main.Label2->setText(DateText::scheduleTime(time));
    main.Label6->setText(DateText::scheduleDate(date));
    m_forms.unload(this);
}

void Tarnwick3::SSCommand2_Click() {
    m_forms.unload(this);
}

void Tarnwick3::closeEvent(QCloseEvent* event) {
    event->accept();
    m_forms.unload(this);
}
