#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <utility>

// A stand-in for one device unit on the test's own thread: accepts
// connections, sends frames to every open one and records what comes back.
class FakeUnit : public QObject
{
public:
    explicit FakeUnit(unsigned char startByte) : startByte(startByte)
    {
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                ++accepted;
                if (rejecting) {
                    socket->abort();
                    socket->deleteLater();
                    continue;
                }
                connections.append(socket);
                connect(socket, &QTcpSocket::readyRead, this,
                        [this, socket] { received += socket->readAll(); });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                    connections.removeOne(socket);
                    socket->deleteLater();
                });
            }
        });
        connect(&beatTimer, &QTimer::timeout, this, &FakeUnit::sendHeartbeat);
    }
    ~FakeUnit() override { closeConnections(); }

    bool listen(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0)
    {
        return server.listen(address, port);
    }
    void stopListening() { server.close(); }
    quint16 port() const { return server.serverPort(); }

    // Connections still open.
    int openCount() const { return connections.size(); }
    // Sends a heartbeat every intervalMs to every open connection; 0 stops.
    void setHeartbeatInterval(int ms) { ms > 0 ? beatTimer.start(ms) : beatTimer.stop(); }

    void send(const QByteArray& bytes)
    {
        for (QTcpSocket* socket : qAsConst(connections)) {
            socket->write(bytes);
            socket->flush();
        }
    }
    void sendHeartbeat()
    {
        ++heartbeatsSent;
        send(heartbeat(startByte));
    }
    // An orderly close, so that the tool reads the end of the stream.
    void closeConnections()
    {
        for (QTcpSocket* socket : std::exchange(connections, {})) {
            socket->disconnect(this);
            socket->close();
            socket->deleteLater();
        }
    }

    static QByteArray heartbeat(unsigned char start)
    {
        return char(start) + QByteArray::fromHex("000400");
    }
    // The hardware type byte, then the four versions as 16-bit big-endian.
    static QByteArray versionReport(const QList<int>& fields)
    {
        QByteArray frame = QByteArray::fromHex("aa000000") + char(fields.at(0));
        for (int value : fields.mid(1))
            frame += QByteArray(1, char(value >> 8)) + char(value & 0xFF);
        return frame;
    }
    static QByteArray heartbeatReply() { return QByteArray::fromHex("aaaf0401015f"); }

    // Connections accepted so far, and every byte received over all of them.
    int accepted = 0;
    QByteArray received;
    int heartbeatsSent = 0;
    // Closes every new connection at once, like a unit that is busy.
    bool rejecting = false;

private:
    unsigned char startByte;
    QTcpServer server;
    QTimer beatTimer;
    QList<QTcpSocket*> connections;
};
