// The hidden worker window: its controls, the network time run, the refresh and the result step.
#include "net_engine/worker_window.h"

#include "app/forms.h"
#include "app/main_window.h"
#include "net_engine/command_runner.h"
#include "net_engine/result_log.h"
#include "net_engine/result_step.h"
#include "platform/clock_service.h"
#include "platform/controls/named.h"
#include "platform/controls/ss_command.h"
#include "platform/controls/ss_panel.h"
#include "platform/controls/vb_color.h"
#include "platform/date_text.h"
#include "platform/events.h"
#include "platform/platform.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

namespace {
// How much of the status file a wait reads: the waiting words are its first line.
constexpr int kStatusPeekFields = 4;
constexpr qint64 kStatusPeekBytes = 4096;
} // namespace

Tarnwick::Tarnwick(Forms& forms) : QWidget(nullptr), m_forms(forms) {
    setObjectName(QStringLiteral("Tarnwick"));
    setWindowTitle(QStringLiteral("Form1"));
    createControls();
    arrangeControls();
    createConnections();
    Timer1->start(3000);
    Command2_Click();
}

Tarnwick::~Tarnwick() = default;

void Tarnwick::createControls() {
    Label1 = named(new QLabel(QStringLiteral("Label1"), this), QStringLiteral("Label1"));
    Label2 = named(new QLabel(QStringLiteral("Label2"), this), QStringLiteral("Label2"));
    Label3 = {named(new QLabel(QStringLiteral("Current at start up"), this), QStringLiteral("Label3_0")),
              named(new QLabel(QStringLiteral("Time Server Name"), this), QStringLiteral("Label3_1"))};
    Command1 = named(new QPushButton(QStringLiteral("Command1"), this), QStringLiteral("Command1"));
    Command2 = named(new QPushButton(QStringLiteral("refresh"), this), QStringLiteral("Command2"));
    Command3 = named(new QPushButton(QStringLiteral("Net View"), this), QStringLiteral("Command3"));
    Text4 = named(new QLineEdit(QStringLiteral("Text4"), this), QStringLiteral("Text4"));
    Text1 = named(new QPlainTextEdit(QStringLiteral("Response\r\n"), this), QStringLiteral("Text1"));
    setBackColor(Text1, VbColor::White);
    Text2 = named(new QPlainTextEdit(this), QStringLiteral("Text2"));
    Text3 = named(new QPlainTextEdit(QStringLiteral("Waiting\r\n"), this), QStringLiteral("Text3"));
    List1 = named(new QListWidget(this), QStringLiteral("List1"));
    Timer1 = named(new QTimer(this), QStringLiteral("Timer1"));
    Timer3 = named(new QTimer(this), QStringLiteral("Timer3"));
    Timer4 = named(new QTimer(this), QStringLiteral("Timer4"));
}

void Tarnwick::arrangeControls() {
    // Top to bottom: the clock, the run row, Label2, the output, the status file with its refresh, discovery.
    auto* runRow = new QHBoxLayout;
    runRow->addWidget(Command1);
    runRow->addWidget(Label3[1]);
    runRow->addWidget(Text4, 1);

    auto* statusGrid = new QGridLayout;
    statusGrid->addWidget(Label3[0], 0, 1);
    statusGrid->addWidget(Command2, 1, 0, Qt::AlignTop);
    statusGrid->addWidget(Text2, 1, 1);
    statusGrid->setColumnStretch(1, 1);

    auto* discoveryRow = new QHBoxLayout;
    discoveryRow->addWidget(Command3, 0, Qt::AlignTop);
    discoveryRow->addWidget(Text3, 2);
    discoveryRow->addWidget(List1, 1);

    auto* column = new QVBoxLayout(this);
    column->addWidget(Label1);
    column->addLayout(runRow);
    column->addWidget(Label2);
    column->addWidget(Text1, 2);
    column->addLayout(statusGrid, 1);
    column->addLayout(discoveryRow, 1);
    resize(640, 560);
}

void Tarnwick::createConnections() {
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(Starter::Person); });
    connect(Command2, &QPushButton::clicked, this, &Tarnwick::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Tarnwick::Command3_Click);
    connect(List1, &QListWidget::itemClicked, this, &Tarnwick::List1_Click);
    connect(Timer1, &QTimer::timeout, this, &Tarnwick::Timer1_Timer);
    connect(Timer3, &QTimer::timeout, this, &Tarnwick::Timer3_Timer);
    connect(Timer4, &QTimer::timeout, this, &Tarnwick::Timer4_Timer);
}

void Tarnwick::Command1_Click(Starter starter) {
    Platform& platform = m_forms.platform();
    Text1->clear();
    CommandRunner::clearStatusFile(platform.drive());
    const QString line = CommandRunner::timeCommandLine(Text4->text());
    QString error;
    QString refused = CommandRunner::nameProblem(Text4->text());
    const bool written = refused.isEmpty() && CommandRunner::writeCommandFile(platform.drive(), line, &error);
    if (refused.isEmpty() && !written)
        refused = QStringLiteral("The command file ") + CommandRunner::kCommandFile +
                  QStringLiteral(" could not be written: ") + error;
    doEvents();
    setBackColor(Text1, VbColor::Red);
    const bool userStarted = starter == Starter::Person;
    m_networkRun = true;
    m_runUserStarted = userStarted;
    m_runRefused = refused;
    if (written) {
        // Started twice on purpose: both runs redirect into the same status file.
        platform.startProgram(CommandRunner::kCommandFileToStart, CommandRunner::kMinimizedNoFocus, userStarted);
        doEvents();
        platform.startProgram(CommandRunner::kCommandFileToStart, CommandRunner::kMinimizedNoFocus, userStarted);
        doEvents();
    } else {
        // Nothing is started (the file would run an earlier line); say why and let the result step close the run.
        Text1->setPlainText(refused);
    }
    Timer3->start(m_resultStepMs);
}

void Tarnwick::waitForRuns() {
    Platform& platform = m_forms.platform();
    if (!platform.commandRunning())
        return;
    platform.waitForCommands(kCommandWaitMs);
    // A slow clock service (a password prompt) is told apart from a silent computer by what the run says; two
    // runs, one after the other, may each hand over a correction.
    const int clockLimitMs = TimedatedClockService::limitMs(m_runUserStarted);
    for (int handOvers = 0; handOvers < 2 && platform.commandRunning(); ++handOvers) {
        const auto status =
            platform.drive().readFields(CommandRunner::kStatusFile, kStatusPeekFields, nullptr, kStatusPeekBytes);
        if (!status || !ResultStep::stillSettingClock(*status))
            return;
        platform.waitForCommands(clockLimitMs);
    }
}

void Tarnwick::Command2_Click() {
    const auto fields = m_forms.platform().drive().readFields(CommandRunner::kStatusFile);
    Text2->setPlainText(fields ? CommandRunner::joinFields(*fields, QStringLiteral("\r")) : QString());
}

void Tarnwick::Timer1_Timer() {
    Label1->setText(DateText::clockTime(m_forms.platform().now().time()));
}

void Tarnwick::Timer3_Timer() {
    Timer3->stop();
    Platform& platform = m_forms.platform();
    // A run that is still going has not written its result yet.
    waitForRuns();
    Tarnwick1& main = m_forms.tarnwick1();
    const auto status = platform.drive().readFields(CommandRunner::kStatusFile);
    if (status) {
        const QString shown = Text1->toPlainText() + CommandRunner::joinFields(*status, QStringLiteral("\r\n"));
        Text1->setPlainText(CommandRunner::keepTail(shown, kText1MaxChars));
        setBackColor(Text1, VbColor::White);
        main.SSPanel4->setBackColor(VbColor::LightGreen);
    }
    // Even without a status file (an Internet synchronization where no network run ever wrote one) the schedule
    // moves on, or a scheduled synchronization would repeat every minute; and the user is never left with the
    // hourglass and a busy SYNC NOW.
    const ResultStep::Schedule next = ResultStep::sameTimeTomorrow(platform.now());
    main.Label2->setText(next.time);
    main.Label6->setText(next.date);
    main.showTrayTip();
    main.unsetCursor();
    main.SSCommand3->setBusyLook(false);
    if (std::exchange(m_networkRun, false)) {
        const ResultStep::Outcome outcome =
            m_runRefused.isEmpty() ? ResultStep::networkOutcome(status.value_or(QStringList()))
                                   : ResultStep::Outcome{false, QStringLiteral("Clock not set: ") + m_runRefused};
        main.showSyncOutcome(outcome.succeeded, outcome.text, !m_runUserStarted);
    }

    const QString line =
        ResultStep::resultLine(main.Label7->text(), platform.now(), main.Label1->text(), main.SSPanel2[1]->caption());
    QString error;
    if (!ResultLog::append(platform.drive(), platform.programFolder(), line, &error))
        main.SSPanel2[0]->setCaption(ResultLog::notLogged(main.syncOutcome(), error));
    if (ResultStep::reportsFailure(line))
        main.SSPanel4->setBackColor(VbColor::LightYellow);
}
