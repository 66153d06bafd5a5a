// The hidden worker window.
#include "net_engine/worker_window.h"

#include "app/forms.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

Tarnwick::Tarnwick(Forms& forms) : QWidget(nullptr), m_forms(forms) {
    setObjectName(QStringLiteral("Tarnwick"));
    setWindowTitle(QStringLiteral("Form1"));
    Label1 = new QLabel(QStringLiteral("Label1"), this);
    Label2 = new QLabel(QStringLiteral("Label2"), this);
    Label3 = {new QLabel(QStringLiteral("Current at start up"), this), new QLabel(QStringLiteral("Time Server Name"), this)};
    Command1 = new QPushButton(QStringLiteral("Command1"), this);
    Command2 = new QPushButton(QStringLiteral("refresh"), this);
    Command3 = new QPushButton(QStringLiteral("Net View"), this);
    Text4 = new QLineEdit(QStringLiteral("Text4"), this);
    Text1 = new QPlainTextEdit(QStringLiteral("Response\r\n"), this);
    Text2 = new QPlainTextEdit(this);
    Text3 = new QPlainTextEdit(QStringLiteral("Waiting\r\n"), this);
    List1 = new QListWidget(this);
    Timer1 = new QTimer(this);
    Timer3 = new QTimer(this);
    Timer4 = new QTimer(this);
}

Tarnwick::~Tarnwick() = default;

void Tarnwick::Command1_Click() {}
void Tarnwick::Command2_Click() {}
void Tarnwick::Timer1_Timer() {}
void Tarnwick::Timer3_Timer() {}
