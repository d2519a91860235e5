#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>

class QTcpServer;
class QTcpSocket;

// A stand-in for one device unit on the test's own thread: accepts
// connections, sends frames to every open one and records what comes back.
class FakeUnit : public QObject
{
    Q_OBJECT

public:
    explicit FakeUnit(unsigned char startByte, QObject* parent = nullptr);
    ~FakeUnit() override;

    bool listen(const QHostAddress& address, quint16 port = 0);
    void stopListening();
    quint16 port() const;

    // Connections accepted so far, and those still open.
    int acceptedCount() const { return accepted; }
    int openCount() const { return connections.size(); }
    // Every byte received, over all connections.
    QByteArray received() const { return receivedBytes; }
    int heartbeatsSent() const { return heartbeats; }

    void send(const QByteArray& bytes);
    void sendHeartbeat();
    void closeConnections();
    // Closes every new connection at once, like a unit that is busy.
    void setRejecting(bool on) { rejecting = on; }
    // Sends a heartbeat every intervalMs to every open connection; 0 stops.
    void setHeartbeatInterval(int intervalMs);

    static QByteArray heartbeat(unsigned char startByte);
    static QByteArray versionReport(unsigned char hardType, quint16 hardVer, quint16 softVer,
                                    quint16 protocolVer, quint16 bootVer);
    static QByteArray heartbeatReply();

private:
    void acceptPending();

    unsigned char startByte;
    QTcpServer* server;
    QList<QTcpSocket*> connections;
    QTimer heartbeatTimer;
    QByteArray receivedBytes;
    int accepted = 0;
    int heartbeats = 0;
    bool rejecting = false;
};
