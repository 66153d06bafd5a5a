// The platform on Linux.
#include "platform/linux_platform.h"

#include "platform/date_time_panel.h"
#include "platform/program_options.h"
#include "platform/system_events.h"
#include "platform/system_tray.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLocalSocket>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <ctime>

namespace {
const QString kDateTimePanel = QStringLiteral("rundll32.exe shell32.dll,Control_RunDLL timedate.cpl");
const QString kNoDateTimePanel =
    QStringLiteral("No date and time settings of this desktop are installed (such as gnome-control-center, "
                   "systemsettings, cinnamon-settings or lxqt-admin-time).");
// What a later start sends to the running copy, on a socket beside the lock.
const QByteArray kShowRequest = QByteArrayLiteral("show\n");
QString laterStartSocket(const QString& folder) {
    return folder + QStringLiteral("/horavane.socket");
}
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
    m_instanceFolder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (m_instanceFolder.isEmpty() || !QFileInfo(m_instanceFolder).isDir())
        m_instanceFolder = m_drive.paths().driveFolder();
    auto lock = std::make_unique<QLockFile>(m_instanceFolder + QStringLiteral("/horavane.lock"));
    // A lock whose process has died is taken over at once.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return true;
    m_lock = std::move(lock);
    return false;
}

void LinuxPlatform::askRunningCopyToShow() {
    if (m_instanceFolder.isEmpty())
        return;
    QLocalSocket socket;
    socket.connectToServer(laterStartSocket(m_instanceFolder));
    if (!socket.waitForConnected(1000))
        return; // the running copy does not listen (yet): the message alone must do
    socket.write(kShowRequest);
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
}

void LinuxPlatform::listenForLaterStarts(std::function<void()> show) {
    if (!m_lock || m_laterStarts)
        return;
    const QString path = laterStartSocket(m_instanceFolder);
    // This copy holds the lock, so a socket file there is one left by a copy that died.
    QLocalServer::removeServer(path);
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(path)) {
        qWarning("Horavane: later starts cannot reach this copy: %s", qPrintable(server->errorString()));
        return;
    }
    QLocalServer* s = server.get();
    QObject::connect(s, &QLocalServer::newConnection, s, [s, show] {
        while (QLocalSocket* c = s->nextPendingConnection()) {
            QObject::connect(c, &QLocalSocket::disconnected, c, &QObject::deleteLater);
            QObject::connect(c, &QLocalSocket::readyRead, c, [c, show] {
                if (c->bytesAvailable() < kShowRequest.size())
                    return;
                // One request per connection; anything else is dropped unread.
                if (c->read(kShowRequest.size()) == kShowRequest)
                    show();
                c->abort();
            });
        }
    });
    m_laterStarts = std::move(server);
}

QDateTime LinuxPlatform::now() const {
    return QDateTime::currentDateTime();
}

qint64 LinuxPlatform::nowUsec() const {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
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

void LinuxPlatform::nameApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("Horavane"));
    QGuiApplication::setDesktopFileName(kDesktopFileName);
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
        qint64 pid = 0;
        if (!process.startDetached(&pid))
            return false;
        m_commands.add(pid);
        return true;
    }
    if (commandLine == kDateTimePanel) {
        const QStringList panel =
            DateTimePanel::choose(qEnvironmentVariable("XDG_CURRENT_DESKTOP"), [](const QString& program) {
                return !QStandardPaths::findExecutable(program).isEmpty();
            });
        if (panel.isEmpty()) {
            // The button must not seem dead: say what is missing.
            messageBox(MessageIcon::Information, QStringLiteral("Date and Time"), kNoDateTimePanel);
            return false;
        }
        return QProcess::startDetached(QStandardPaths::findExecutable(panel.constFirst()), panel.mid(1));
    }
    return false; // no other command line is ever started
}

namespace {
// HORAVANE_MESSAGE_LOG=<file>: for tests that run the real program without a person. Each box is appended to that
// file as "title: text" (a question with its answer) and returns at once instead of waiting. False when unset.
bool logInsteadOfShowing(const QString& title, const QString& text, const QString& answer = QString()) {
    const QString log = qEnvironmentVariable("HORAVANE_MESSAGE_LOG");
    if (log.isEmpty())
        return false;
    QFile file(log);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write((title + QStringLiteral(": ") + text + answer + QLatin1Char('\n')).toUtf8());
    return true;
}
} // namespace

void LinuxPlatform::messageBox(MessageIcon icon, const QString& title, const QString& text) {
    if (logInsteadOfShowing(title, text))
        return;
    QMessageBox box(icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::Information, title, text,
                    QMessageBox::Ok);
    box.exec();
}

bool LinuxPlatform::askYesNo(const QString& title, const QString& text) {
    // Logged like a message box, a question is answered by HORAVANE_ANSWER ("yes", else no).
    const bool yes = qEnvironmentVariable("HORAVANE_ANSWER") == QLatin1String("yes");
    if (logInsteadOfShowing(title, text, yes ? QStringLiteral(" [yes]") : QStringLiteral(" [no]")))
        return yes;
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QDate LinuxPlatform::buildDate() const {
    return programBuildDate();
}

QString LinuxPlatform::inputBox(const QString& prompt, const QString& title, const QString& defaultAnswer) {
    bool ok = false;
    const QString answer = QInputDialog::getText(nullptr, title, prompt, QLineEdit::Normal, defaultAnswer, &ok);
    return ok ? answer : QString();
}

std::unique_ptr<TrayIcon> LinuxPlatform::createTrayIcon() {
    return std::make_unique<SystemTray>();
}

std::unique_ptr<SystemEvents> LinuxPlatform::createSystemEvents() {
    return std::make_unique<LinuxSystemEvents>();
}

void LinuxPlatform::endProgram() {
    m_laterStarts.reset();
    m_lock.reset();
    QCoreApplication::exit(0);
}
