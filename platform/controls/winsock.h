// A TCP client socket with the remote host and port, a state, and Connect, DataArrival, Close and Error events.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpSocket>

class Winsock : public QObject {
    Q_OBJECT
public:
    enum State {
        Closed = 0,
        Open = 1,
        Listening = 2,
        ConnectionPending = 3,
        ResolvingHost = 4,
        HostResolved = 5,
        Connecting = 6,
        Connected = 7,
        Closing = 8,
        Error = 9
    };

    explicit Winsock(QObject* parent = nullptr);

    QString RemoteHost;
    int RemotePort = 0;

    int state() const;
    void Close();
    void Connect();
    // Every byte now available, one character per byte (Latin-1).
    QString GetData();
    qint64 bytesAvailable() const { return m_socket.bytesAvailable(); }

Q_SIGNALS:
    void connected(); // the Connect event
    void dataArrival(qint64 bytesTotal);
    void closed(); // the Close event: the peer has closed
    void error(int number, const QString& description);

private:
    QTcpSocket m_socket;
    bool m_closedByUs = false;
};
