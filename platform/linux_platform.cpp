// The platform on Linux.
#include "platform/linux_platform.h"

#include "platform/clock_guard.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <ctime>

namespace {
const QString kDateTimePanel = QStringLiteral("rundll32.exe shell32.dll,Control_RunDLL timedate.cpl");

class SystemTray : public TrayIcon {
public:
    SystemTray() {
        QObject::connect(&m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
            switch (r) {
            case QSystemTrayIcon::Trigger:
                Q_EMIT mouseMessage(514);
                break;
            case QSystemTrayIcon::DoubleClick:
                Q_EMIT mouseMessage(515);
                break;
            case QSystemTrayIcon::Context:
                Q_EMIT mouseMessage(517);
                break;
            case QSystemTrayIcon::MiddleClick:
                Q_EMIT mouseMessage(519);
                break;
            default:
                break;
            }
        });
    }
    bool add(const QIcon& icon, const QByteArray& tooltipField) override {
        if (!QSystemTrayIcon::isSystemTrayAvailable())
            return false;
        m_icon.setIcon(icon);
        m_icon.setToolTip(tooltipFieldText(tooltipField));
        m_icon.show();
        return true;
    }
    void remove() override { m_icon.hide(); }
    bool isShown() const override { return m_icon.isVisible(); }
    void showMessage(const QString& title, const QString& text) override {
        m_icon.showMessage(title, text, QSystemTrayIcon::Warning);
    }

private:
    QSystemTrayIcon m_icon;
};
} // namespace

qint32 monotonicTickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const quint64 ms = static_cast<quint64>(ts.tv_sec) * 1000u + static_cast<quint64>(ts.tv_nsec) / 1000000u;
    return static_cast<qint32>(static_cast<quint32>(ms));
}

QString tooltipFieldText(const QByteArray& field) {
    const int nul = field.indexOf('\0');
    QString text = QString::fromUtf8(nul < 0 ? field : field.left(nul));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

LinuxPlatform::LinuxPlatform(DosPaths paths) : m_drive(std::move(paths)) {
    m_drive.paths().ensureFolders();
}

LinuxPlatform::~LinuxPlatform() = default;

bool LinuxPlatform::isAnotherCopyRunning() {
    if (m_lock)
        return false;
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        dir = m_drive.paths().driveFolder();
    auto lock = std::make_unique<QLockFile>(dir + QStringLiteral("/horavane.lock"));
    // A lock whose process has died is taken over at once.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return true;
    m_lock = std::move(lock);
    return false;
}

QDateTime LinuxPlatform::now() const {
    return QDateTime::currentDateTime();
}

qint32 LinuxPlatform::tickCount() const {
    return monotonicTickCount();
}

bool LinuxPlatform::checkInternetConnection(const QString& url) {
    const QUrl u(url);
    if (!u.isValid() || u.host().isEmpty())
        return false;
    const int port = u.port(u.scheme() == QLatin1String("https") ? 443 : 80);
    QTcpSocket socket;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&socket, &QTcpSocket::connected, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    socket.connectToHost(u.host(), static_cast<quint16>(port));
    limit.start(3000);
    if (socket.state() != QAbstractSocket::ConnectedState && socket.state() != QAbstractSocket::UnconnectedState)
        loop.exec();
    const bool connected = socket.state() == QAbstractSocket::ConnectedState;
    socket.abort();
    return connected;
}

QString LinuxPlatform::commandInterpreter() {
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/horavane-cmd");
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStandardPaths::findExecutable(QStringLiteral("horavane-cmd"));
}

bool LinuxPlatform::startProgram(const QString& commandLine, int windowStyle, bool userStarted) {
    Q_UNUSED(windowStyle);
    if (commandLine.compare(QLatin1String("c:\\gTime.bat"), Qt::CaseInsensitive) == 0) {
        const auto file = m_drive.local(commandLine);
        const QString cmd = commandInterpreter();
        if (!file || cmd.isEmpty())
            return false;
        // The interpreter maps the file's redirections onto this program's drive folder, whatever its environment.
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HORAVANE_DRIVE_C"), m_drive.paths().driveFolder());
        process.setProcessEnvironment(env);
        process.setProgram(cmd);
        process.setArguments(userStarted ? QStringList{kUserStartedArgument, *file} : QStringList{*file});
        return process.startDetached();
    }
    if (commandLine == kDateTimePanel) {
        const QList<QStringList> panels = {{QStringLiteral("gnome-control-center"), QStringLiteral("datetime")},
                                           {QStringLiteral("systemsettings"), QStringLiteral("kcm_clock")},
                                           {QStringLiteral("kcmshell6"), QStringLiteral("kcm_clock")},
                                           {QStringLiteral("kcmshell5"), QStringLiteral("clock")}};
        for (const QStringList& panel : panels) {
            const QString program = QStandardPaths::findExecutable(panel.first());
            if (!program.isEmpty())
                return QProcess::startDetached(program, panel.mid(1));
        }
        return false;
    }
    return false; // no other command line is ever started
}

void LinuxPlatform::messageBox(MessageIcon icon, const QString& title, const QString& text) {
    // HORAVANE_MESSAGE_LOG=<file>: for tests that run the real program without a person to click OK. Each box is
    // appended to that file as "title: text" and returns at once instead of waiting.
    const QString log = qEnvironmentVariable("HORAVANE_MESSAGE_LOG");
    if (!log.isEmpty()) {
        QFile file(log);
        if (file.open(QIODevice::WriteOnly | QIODevice::Append))
            file.write((title + QStringLiteral(": ") + text + QLatin1Char('\n')).toUtf8());
        return;
    }
    QMessageBox box(icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::Information, title, text,
                    QMessageBox::Ok);
    box.exec();
}

bool LinuxPlatform::askYesNo(const QString& title, const QString& text) {
    // With HORAVANE_MESSAGE_LOG the question is logged like a message box and answered by HORAVANE_ANSWER
    // ("yes", else no), for tests that run the real program without a person.
    const QString log = qEnvironmentVariable("HORAVANE_MESSAGE_LOG");
    if (!log.isEmpty()) {
        const bool yes = qEnvironmentVariable("HORAVANE_ANSWER") == QLatin1String("yes");
        QFile file(log);
        if (file.open(QIODevice::WriteOnly | QIODevice::Append))
            file.write(
                (title + QStringLiteral(": ") + text + (yes ? QStringLiteral(" [yes]\n") : QStringLiteral(" [no]\n")))
                    .toUtf8());
        return yes;
    }
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QDate LinuxPlatform::buildDate() const {
    return ClockGuard::buildDate();
}

QString LinuxPlatform::inputBox(const QString& prompt, const QString& title, const QString& defaultAnswer) {
    bool ok = false;
    const QString answer = QInputDialog::getText(nullptr, title, prompt, QLineEdit::Normal, defaultAnswer, &ok);
    return ok ? answer : QString();
}

std::unique_ptr<TrayIcon> LinuxPlatform::createTrayIcon() {
    return std::make_unique<SystemTray>();
}

void LinuxPlatform::endProgram() {
    m_lock.reset();
    QCoreApplication::exit(0);
}
