// Starting, waiting for and stopping the test peers.
#include "process_fixtures.h"

#include "platform/events.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QUdpSocket>
#include <unistd.h>

namespace {
QString findProgram(const QString& name) {
    QString found = QStandardPaths::findExecutable(name);
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return found;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Tries `probe` every 50 ms, letting events run between tries, until it holds, the child ends or the time is up.
template <typename Probe> bool probeUntil(Probe probe, int ms, const QProcess& child) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms && child.state() != QProcess::NotRunning) {
        if (probe())
            return true;
        waitMs(50);
    }
    return false;
}

// True when a TCP connection to the port is taken.
bool portAnswers(const QString& address, quint16 port) {
    QTcpSocket probe;
    probe.connectToHost(address, port);
    return probe.waitForConnected(200);
}
} // namespace

QString uniqueLoopbackAddress(int salt) {
    const auto pid = static_cast<quint32>(::getpid());
    // Six bits of the process id and two of the salt fill the first byte; salt 0 keeps to 127.64-127.127, and
    // 127.0.*, where this machine's own services listen, is moved to the top.
    const quint32 first = ((((static_cast<quint32>(salt) + 1) & 3) << 6) | ((pid >> 16) & 0x3F));
    return QStringLiteral("127.%1.%2.%3").arg(first == 0 ? 255 : first).arg((pid >> 8) & 0xFF).arg(pid & 0xFF);
}

ChildProcess::ChildProcess() {
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
}

ChildProcess::~ChildProcess() {
    stop();
}

void ChildProcess::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

bool ChildProcess::fail(const QString& why) {
    m_error = why;
    if (m_process.state() == QProcess::NotRunning && m_process.error() != QProcess::FailedToStart)
        m_error += m_process.exitStatus() == QProcess::CrashExit
                       ? QStringLiteral(" (it was killed by a signal)")
                       : QStringLiteral(" (it ended with status %1)").arg(m_process.exitCode());
    const QByteArray err = m_process.readAllStandardError();
    if (!err.isEmpty())
        m_error += QStringLiteral(": ") + QString::fromUtf8(err.left(2000));
    stop();
    return false;
}

bool ChildProcess::launch(const QString& program, const QStringList& args) {
    const QString path = program.contains(QLatin1Char('/')) ? program : findProgram(program);
    if (path.isEmpty()) {
        m_missing = true;
        m_error = program + QStringLiteral(" is not installed");
        return false;
    }
    if (!m_dir.isValid())
        return fail(QStringLiteral("no temporary folder"));
    m_process.start(path, args);
    if (!m_process.waitForStarted(kReadyLimitMs))
        return fail(path + QStringLiteral(" did not start: ") + m_process.errorString());
    return true;
}

bool ChildProcess::readLine(QByteArray* line, int ms) {
    QElapsedTimer t;
    t.start();
    while (!m_process.canReadLine()) {
        if (m_process.state() == QProcess::NotRunning || t.elapsed() > ms)
            return false;
        m_process.waitForReadyRead(100);
    }
    *line = m_process.readLine().trimmed();
    return true;
}

PrivateSystemBus::~PrivateSystemBus() {
    stop();
    if (m_hadPrevious)
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_previous);
    else
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

bool PrivateSystemBus::start() {
    const QString config = folder() + QStringLiteral("/bus.conf");
    const QByteArray xml = "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                           "<busconfig>\n"
                           "  <type>custom</type>\n"
                           "  <listen>unix:path=" +
                           folder().toUtf8() +
                           "/bus</listen>\n"
                           "  <auth>EXTERNAL</auth>\n"
                           "  <policy context=\"default\">\n"
                           "    <allow user=\"*\"/>\n"
                           "    <allow own=\"*\"/>\n"
                           "    <allow send_type=\"method_call\"/> <allow send_type=\"signal\"/>\n"
                           "    <allow send_type=\"method_return\"/> <allow send_type=\"error\"/>\n"
                           "    <allow receive_type=\"method_call\"/> <allow receive_type=\"signal\"/>\n"
                           "    <allow receive_type=\"method_return\"/> <allow receive_type=\"error\"/>\n"
                           "  </policy>\n"
                           "</busconfig>\n";
    if (!writeFile(config, xml))
        return fail(QStringLiteral("cannot write the bus configuration"));
    if (!launch(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--config-file=") + config, QStringLiteral("--print-address"),
                 QStringLiteral("--nofork"), QStringLiteral("--nopidfile")}))
        return false;
    QByteArray line;
    if (!readLine(&line) || line.isEmpty())
        return fail(QStringLiteral("dbus-daemon printed no address"));
    m_address = QString::fromUtf8(line);
    m_hadPrevious = qEnvironmentVariableIsSet("DBUS_SYSTEM_BUS_ADDRESS");
    m_previous = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", line);
    return true;
}

bool FakeTimedated::start(const PrivateSystemBus& bus) {
    if (!launch(QStringLiteral(HV_FAKE_TIMEDATED),
                {QStringLiteral("--address"), bus.address(), QStringLiteral("--record"), recordFile(),
                 QStringLiteral("--refuse-file"), refuseFile(), QStringLiteral("--delay-file"), delayFile(),
                 QStringLiteral("--ntp-file"), ntpFile(), QStringLiteral("--clock-file"), clockFile()}))
        return false;
    QByteArray line;
    if (!readLine(&line) || line != "ready")
        return fail(QStringLiteral("fake_timedated did not get ready"));
    return true;
}

void FakeTimedated::refuse(const QString& errorName, const QString& message) {
    writeFile(refuseFile(), (errorName + QLatin1Char('\n') + message + QLatin1Char('\n')).toUtf8());
}

void FakeTimedated::answerLate(int ms) {
    writeFile(delayFile(), QByteArray::number(ms) + '\n');
}

void FakeTimedated::setNtp(bool on) {
    writeFile(ntpFile(), on ? "1\n" : "0\n");
}

int FakeTimedated::refusedCalls() const {
    QFile f(recordFile());
    return f.open(QIODevice::ReadOnly) ? static_cast<int>(f.readAll().count("refused ")) : 0;
}

qint64 FakeTimedated::virtualLeadUsec() const {
    QFile f(clockFile());
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : 0;
}

void FakeTimedated::setVirtualLead(qint64 usec) {
    writeFile(clockFile(), QByteArray::number(usec) + '\n');
}

bool FakeSntpServer::start(const QString& address, qint64 leadUsec, const QString& clockFile, int answers) {
    QStringList args{QStringLiteral("--address"), address, QStringLiteral("--lead-usec"), QString::number(leadUsec)};
    if (!clockFile.isEmpty())
        args << QStringLiteral("--clock-file") << clockFile;
    if (answers >= 0)
        args << QStringLiteral("--answers") << QString::number(answers);
    if (!launch(QStringLiteral(HV_FAKE_SNTP), args))
        return false;
    QByteArray line;
    if (!readLine(&line) || !line.startsWith("ready "))
        return fail(QStringLiteral("fake_sntp did not get ready"));
    m_port = static_cast<quint16>(line.mid(6).toUInt());
    return m_port != 0 || fail(QStringLiteral("fake_sntp named no port"));
}

QList<SetTimeCall> FakeTimedated::calls() const {
    QList<SetTimeCall> calls;
    QFile f(recordFile());
    if (!f.open(QIODevice::ReadOnly))
        return calls;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() != 4 || parts[0] == "ntp")
            continue;
        calls << SetTimeCall{parts[0].toLongLong(), parts[1] == "1", parts[2] == "1",
                             QDateTime::fromMSecsSinceEpoch(parts[3].toLongLong() / 1000, Qt::UTC)};
    }
    return calls;
}

QList<SetNtpCall> FakeTimedated::ntpCalls() const {
    QList<SetNtpCall> calls;
    QFile f(recordFile());
    if (!f.open(QIODevice::ReadOnly))
        return calls;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 3 && parts[0] == "ntp")
            calls << SetNtpCall{parts[1] == "1", parts[2] == "1"};
    }
    return calls;
}

bool FakeAvahi::start(const PrivateSystemBus& bus, const QStringList& names, const QString& namesFile) {
    QStringList args{QStringLiteral("--address"), bus.address(), QStringLiteral("--names"),
                     names.join(QLatin1Char(','))};
    if (!namesFile.isEmpty())
        args << QStringLiteral("--names-file") << namesFile;
    if (!launch(QStringLiteral(HV_FAKE_AVAHI), args))
        return false;
    QByteArray line;
    if (!readLine(&line) || line != "ready")
        return fail(QStringLiteral("fake_avahi did not get ready"));
    return true;
}

bool XinetdTimeServer::start(const QString& address, quint16 port) {
    const QString config = folder() + QStringLiteral("/xinetd.conf");
    const QByteArray text = "service time\n{\n"
                            "    type        = INTERNAL\n"
                            "    id          = time-stream\n"
                            "    socket_type = stream\n"
                            "    protocol    = tcp\n"
                            "    user        = root\n"
                            "    wait        = no\n"
                            "    bind        = " +
                            address.toUtf8() +
                            "\n"
                            "    port        = " +
                            QByteArray::number(port) +
                            "\n"
                            "    disable     = no\n}\n";
    if (!writeFile(config, text))
        return fail(QStringLiteral("cannot write the xinetd configuration"));
    if (!launch(QStringLiteral("xinetd"), {QStringLiteral("-dontfork"), QStringLiteral("-f"), config,
                                           QStringLiteral("-pidfile"), folder() + QStringLiteral("/xinetd.pid")}))
        return false;
    const bool up = probeUntil([&] { return portAnswers(address, port); }, kReadyLimitMs, m_process);
    return up || fail(QStringLiteral("xinetd does not serve the time on ") + address);
}

bool ChronydServer::start(const QString& address, quint16 port) {
    return launchServer(address, port, "local stratum 8\n");
}

bool ChronydServer::start(const QString& address, quint16 port, quint16 kePort, const QString& certFile,
                          const QString& keyFile) {
    const QByteArray dir = folder().toUtf8();
    const QByteArray nts = "local stratum 1\n"
                           "ntsserverkey " +
                           keyFile.toUtf8() + "\nntsservercert " + certFile.toUtf8() + "\nntsport " +
                           QByteArray::number(kePort) + "\nntsdumpdir " + dir + "\ndumpdir " + dir + "\n";
    if (!launchServer(address, port, nts))
        return false;
    const bool up = probeUntil([&] { return portAnswers(address, kePort); }, kReadyLimitMs, m_process);
    return up || fail(QStringLiteral("chronyd does not serve the NTS key exchange on ") + address);
}

bool ChronydServer::launchServer(const QString& address, quint16 port, const QByteArray& extra) {
    const QString config = folder() + QStringLiteral("/chrony.conf");
    const QByteArray text = "port " + QByteArray::number(port) +
                            "\n"
                            "bindaddress " +
                            address.toUtf8() +
                            "\n"
                            "allow 127.0.0.0/8\n" +
                            extra +
                            "cmdport 0\n"
                            "bindcmdaddress /\n"
                            "pidfile " +
                            folder().toUtf8() +
                            "/chronyd.pid\n"
                            "driftfile " +
                            folder().toUtf8() + "/chrony.drift\n";
    if (!writeFile(config, text))
        return fail(QStringLiteral("cannot write the chronyd configuration"));
    // -x: never adjust the clock; -d: stay in the foreground; -u root: keep access to the temporary folder; -4: no
    // IPv6 socket on every address, which parallel tests would fight over.
    QStringList args{QStringLiteral("-4"),
                     QStringLiteral("-x"),
                     QStringLiteral("-d"),
                     QStringLiteral("-u"),
                     QStringLiteral("root"),
                     QStringLiteral("-f"),
                     config};
    if (m_aheadSeconds != 0) {
        // libfaketime preloaded into chronyd itself: the faketime command would stay between, and chronyd would
        // outlive it when it is stopped.
        QString library;
        for (const QString& arch : QDir(QStringLiteral("/usr/lib")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (QFile::exists(QStringLiteral("/usr/lib/%1/faketime/libfaketime.so.1").arg(arch)))
                library = QStringLiteral("/usr/lib/%1/faketime/libfaketime.so.1").arg(arch);
        }
        if (library.isEmpty()) {
            m_missing = true;
            m_error = QStringLiteral("faketime is not installed");
            return false;
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_PRELOAD"), library);
        env.insert(QStringLiteral("FAKETIME"),
                   QStringLiteral("%1%2").arg(m_aheadSeconds > 0 ? "+" : "").arg(m_aheadSeconds));
        m_process.setProcessEnvironment(env);
    }
    if (!launch(QStringLiteral("chronyd"), args))
        return false;
    QByteArray request(48, '\0');
    request[0] = 0x23;
    const bool up = probeUntil(
        [&] {
            QUdpSocket probe;
            probe.connectToHost(address, port);
            probe.write(request);
            return probe.waitForReadyRead(200) && probe.pendingDatagramSize() >= 48;
        },
        kReadyLimitMs, m_process);
    return up || fail(QStringLiteral("chronyd does not serve NTP on ") + address);
}
