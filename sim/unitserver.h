#pragma once

#include "listener.h"
#include "unitflood.h"
#include "unitframes.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>
#include <map>
#include <memory>

class QTcpSocket;

// One of the device's two units (control or ground): a TCP server that sends
// heartbeat frames, and version reports if asked, to every connection, and
// checks each 6 bytes that come back against the heartbeat reply.
//
// Every write carries one frame (unless a fault asks otherwise) and writes are
// spaced by at least the gap, so that no two frames reach a client in one
// receive.
class UnitServer : public Listener
{
    Q_OBJECT

public:
    enum class Accept { Normal, Slow, None };

    UnitServer(const QByteArray& name, quint8 startByte, QObject* parent = nullptr);
    ~UnitServer() override;

    void setHeartbeatInterval(int ms) { heartbeatTimer.setInterval(ms); }
    void setHeartbeats(bool on) { heartbeats = on; }
    void setVersionInterval(int ms) { versionTimer.setInterval(ms); }
    void setVersionReports(bool on);
    void setVersion(const VersionValues& values) { version = values; }
    void setGap(int ms) { gap = ms; }
    void setStyle(HeartbeatStyle value) { style = value; }
    // Slow and None leave room for one waiting connection only; Slow takes
    // one off the queue now and then, None never does.
    void setAccept(Accept mode);
    // New connections get a small receive buffer, a flood of heartbeats and
    // no reading at all.
    void setFlood(bool on);

    void sendVersionNow();
    // One write of exactly these bytes to every connection.
    void sendRaw(const QByteArray& bytes);
    // Closes every connection from the unit's side.
    void dropAll();

    int good() const { return goodReplies; }
    int bad() const { return badReplies; }
    int connectionCount() const { return static_cast<int>(peers.size()); }

private:
    struct Peer
    {
        explicit Peer(quint8 startByte) : frames(startByte) {}

        QTcpSocket* socket = nullptr;
        UnitFrames frames;
        std::unique_ptr<UnitFlood> flood;
        bool closedByUnit = false;
        std::deque<UnitFrames::Write> queue;
        QElapsedTimer lastWrite;
        QTimer pacer;
        QByteArray replies;
    };

    void onNewConnection();
    void onReadyRead(int id);
    void onDisconnected(int id);
    void enqueue(int id, const QByteArray& bytes, const QByteArray& kind);
    void sendNext(int id);
    void sendVersionNow(int id);
    void heartbeatTick();
    void startedListening() override;
    void applyListenSettings();
    void countReply(int id, const QByteArray& reply);
    Peer* peer(int id);

    quint8 startByte;
    QTimer heartbeatTimer;
    QTimer versionTimer;
    bool heartbeats = true;
    bool versionReports = false;
    VersionValues version;
    int gap = 100;
    HeartbeatStyle style = HeartbeatStyle::Normal;
    Accept accept = Accept::Normal;
    QTimer acceptTimer;
    bool flood = false;
    std::map<int, std::unique_ptr<Peer>> peers;
    int nextId = 0;
    int goodReplies = 0;
    int badReplies = 0;
};
