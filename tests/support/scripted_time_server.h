// A Time Protocol server on 127.0.0.1 for in-process tests: each connection plays a script of sends, pauses,
// closes, resets and floods.
#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <sys/socket.h>

class ScriptedTimeServer {
public:
    struct Step {
        enum Kind { Send, Wait, Close, Reset, Flood, Hold } kind;
        QByteArray bytes;
        int ms = 0;
    };
    static Step send(const QByteArray& bytes) { return {Step::Send, bytes, 0}; }
    static Step wait(int ms) { return {Step::Wait, {}, ms}; }
    static Step close() { return {Step::Close, {}, 0}; }
    static Step reset() { return {Step::Reset, {}, 0}; } // RST instead of an orderly close
    static Step flood() { return {Step::Flood, {}, 0}; } // writes without end until the client goes
    static Step hold() { return {Step::Hold, {}, 0}; }   // keeps the connection open for good

    explicit ScriptedTimeServer(QList<Step> script) : m_script(std::move(script)) {
        m_clock.start();
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                acceptedAtMs << m_clock.elapsed();
                run(socket, 0);
            }
        });
    }

    quint16 port() const { return m_server.serverPort(); }
    int connections() const { return static_cast<int>(acceptedAtMs.size()); }
    qint64 floodedBytes = 0;
    QList<qint64> acceptedAtMs;

private:
    void run(QPointer<QTcpSocket> socket, int index) {
        if (!socket || index >= m_script.size())
            return;
        const Step& step = m_script[index];
        switch (step.kind) {
        case Step::Send:
            socket->write(step.bytes);
            socket->flush();
            run(socket, index + 1);
            break;
        case Step::Wait:
            QTimer::singleShot(step.ms, socket, [this, socket, index] { run(socket, index + 1); });
            break;
        case Step::Close:
            socket->disconnectFromHost();
            break;
        case Step::Reset: {
            const linger hard{1, 0};
            ::setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            socket->abort();
            break;
        }
        case Step::Flood:
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [this, socket] { pour(socket); });
            pour(socket);
            break;
        case Step::Hold:
            break;
        }
    }
    void pour(QTcpSocket* socket) {
        if (socket->state() != QAbstractSocket::ConnectedState || socket->bytesToWrite() > 0)
            return;
        const QByteArray chunk(64 * 1024, 'x');
        floodedBytes += socket->write(chunk);
    }

    QList<Step> m_script;
    QTcpServer m_server;
    QElapsedTimer m_clock;
};
