#include "fakeunit.h"

#include <QTcpServer>
#include <QTcpSocket>

FakeUnit::FakeUnit(unsigned char startByte, QObject* parent)
    : QObject(parent)
    , startByte(startByte)
    , server(new QTcpServer(this))
{
    connect(server, &QTcpServer::newConnection, this, &FakeUnit::acceptPending);
    connect(&heartbeatTimer, &QTimer::timeout, this, &FakeUnit::sendHeartbeat);
}

FakeUnit::~FakeUnit()
{
    for (QTcpSocket* socket : qAsConst(connections))
        socket->disconnect(this);
}

bool FakeUnit::listen(const QHostAddress& address, quint16 port)
{
    return server->listen(address, port);
}

void FakeUnit::stopListening()
{
    server->close();
}

quint16 FakeUnit::port() const
{
    return server->serverPort();
}

void FakeUnit::acceptPending()
{
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        ++accepted;
        if (rejecting) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connections.append(socket);
        connect(socket, &QTcpSocket::readyRead, this,
                [this, socket] { receivedBytes += socket->readAll(); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            connections.removeOne(socket);
            socket->deleteLater();
        });
    }
}

void FakeUnit::send(const QByteArray& bytes)
{
    for (QTcpSocket* socket : qAsConst(connections)) {
        socket->write(bytes);
        socket->flush();
    }
}

void FakeUnit::sendHeartbeat()
{
    ++heartbeats;
    send(heartbeat(startByte));
}

void FakeUnit::closeConnections()
{
    const QList<QTcpSocket*> open = connections;
    connections.clear();
    for (QTcpSocket* socket : open) {
        socket->disconnect(this);
        // An orderly close, so the tool reads the end of the stream.
        socket->close();
        socket->deleteLater();
    }
}

void FakeUnit::setHeartbeatInterval(int intervalMs)
{
    if (intervalMs > 0)
        heartbeatTimer.start(intervalMs);
    else
        heartbeatTimer.stop();
}

QByteArray FakeUnit::heartbeat(unsigned char startByte)
{
    const char frame[] = {static_cast<char>(startByte), 0x00, 0x04, 0x00};
    return QByteArray(frame, sizeof(frame));
}

QByteArray FakeUnit::versionReport(unsigned char hardType, quint16 hardVer, quint16 softVer,
                                   quint16 protocolVer, quint16 bootVer)
{
    QByteArray frame("\xAA\x00\x00\x00", 4);
    frame.append(static_cast<char>(hardType));
    for (quint16 value : {hardVer, softVer, protocolVer, bootVer}) {
        frame.append(static_cast<char>(value >> 8));
        frame.append(static_cast<char>(value & 0xFF));
    }
    return frame;
}

QByteArray FakeUnit::heartbeatReply()
{
    return QByteArray("\xAA\xAF\x04\x01\x01\x5F", 6);
}
