// The platform on Linux.
#include "platform/linux_platform.h"

#include "time_protocol/clock_guard.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QInputDialog>
#include <QLocalSocket>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <ctime>
#include <xcb/xcb.h>

namespace {
const QString kDateTimePanel = QStringLiteral("rundll32.exe shell32.dll,Control_RunDLL timedate.cpl");
// What a later start sends to the running copy, on a socket beside the lock.
const QByteArray kShowRequest = QByteArrayLiteral("show\n");
QString laterStartSocket(const QString& folder) {
    return folder + QStringLiteral("/horavane.socket");
}

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

// A StatusNotifierWatcher with a registered host: KDE Plasma, or GNOME with its AppIndicator extension.
bool statusNotifierHostPresent() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(kWatcherService))
        return false;
    QDBusMessage get =
        QDBusMessage::createMethodCall(kWatcherService, QStringLiteral("/StatusNotifierWatcher"),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kWatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 1000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toBool();
}

// An XEmbed tray: a window owns the system tray selection of this X screen.
bool xembedTrayPresent() {
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return false;
    xcb_connection_t* c = x11->connection();
    const QByteArray display = qgetenv("DISPLAY");
    const int dot = display.lastIndexOf('.');
    const int screen = dot > display.lastIndexOf(':') ? display.mid(dot + 1).toInt() : 0;
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.constData()), nullptr);
    if (!atom)
        return false;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr);
    const bool present = owner && owner->owner != XCB_NONE;
    free(owner);
    free(atom);
    return present;
}

// The icon through QSystemTrayIcon, made only once a tray is there: Qt picks its road (a StatusNotifierItem on the
// session bus, or an XEmbed icon) when its first tray icon is made and never again, so an icon made before the
// panel starts would never reach it. Until then, and after a tray goes away, the tray is looked for every 2 s.
class SystemTray : public TrayIcon {
public:
    SystemTray() {
        m_look.setInterval(2000);
        QObject::connect(&m_look, &QTimer::timeout, this, [this] { look(); });
    }
    bool add(const QIcon& icon, const QByteArray& tooltipField) override {
        m_image = icon;
        m_tip = tooltipFieldText(tooltipField);
        m_wanted = true;
        look();
        m_look.start();
        return isShown();
    }
    void remove() override {
        m_wanted = false;
        m_look.stop();
        m_icon.reset();
        setShown(false);
    }
    bool isShown() const override { return m_shown; }

private:
    enum class Road { Unknown, StatusNotifier, XEmbed };

    bool trayPresent() {
        switch (m_road) {
        case Road::StatusNotifier:
            return statusNotifierHostPresent();
        case Road::XEmbed:
            return xembedTrayPresent();
        case Road::Unknown:
            break;
        }
        if (statusNotifierHostPresent())
            m_road = Road::StatusNotifier;
        else if (xembedTrayPresent())
            m_road = Road::XEmbed;
        return m_road != Road::Unknown;
    }

    void look() {
        if (!m_wanted)
            return;
        if (!trayPresent()) {
            m_icon.reset();
            setShown(false);
            return;
        }
        if (!m_icon)
            makeIcon();
        setShown(true);
    }

    void makeIcon() {
        m_icon = std::make_unique<QSystemTrayIcon>();
        QObject::connect(m_icon.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
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
        m_icon->setIcon(m_image);
        m_icon->setToolTip(m_tip);
        m_icon->show();
    }
    void showMessage(const QString& title, const QString& text) override {
        if (m_icon)
            m_icon->showMessage(title, text, QSystemTrayIcon::Warning);
    }

    void setShown(bool shown) {
        if (shown == m_shown)
            return;
        m_shown = shown;
        Q_EMIT shownChanged(shown);
    }

    std::unique_ptr<QSystemTrayIcon> m_icon;
    QTimer m_look;
    QIcon m_image;
    QString m_tip;
    Road m_road = Road::Unknown;
    bool m_wanted = false;
    bool m_shown = false;
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
    m_laterStarts.reset();
    m_lock.reset();
    QCoreApplication::exit(0);
}
