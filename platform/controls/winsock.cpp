// The TCP client socket over QTcpSocket.
#include "platform/controls/winsock.h"

Winsock::Winsock(QObject* parent) : QObject(parent) {
    connect(&m_socket, &QTcpSocket::connected, this, &Winsock::connected);
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] { Q_EMIT dataArrival(m_socket.bytesAvailable()); });
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
        if (!m_closedByUs)
            Q_EMIT closed();
    });
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        // The peer closing is the Close event, not an error.
        if (e == QAbstractSocket::RemoteHostClosedError || m_closedByUs)
            return;
        Q_EMIT error(static_cast<int>(e), m_socket.errorString());
    });
}

int Winsock::state() const {
    switch (m_socket.state()) {
    case QAbstractSocket::UnconnectedState:
        return Closed;
    case QAbstractSocket::HostLookupState:
        return ResolvingHost;
    case QAbstractSocket::ConnectingState:
        return Connecting;
    case QAbstractSocket::ConnectedState:
        return Connected;
    case QAbstractSocket::ClosingState:
        return Closing;
    default:
        return Open;
    }
}

void Winsock::Close() {
    m_closedByUs = true;
    m_socket.abort();
    m_closedByUs = false;
}

void Winsock::Connect() {
    m_closedByUs = false;
    m_socket.connectToHost(RemoteHost, static_cast<quint16>(RemotePort));
}

QString Winsock::GetData() {
    return QString::fromLatin1(m_socket.readAll());
}
