#pragma once

#include "listener.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <deque>
#include <map>
#include <memory>

class QTcpSocket;

struct VersionValues
{
    int type = 2; // signed 8-bit on the wire
    int hardware = 260;
    int software = 1027;
    int protocol = 3;
    int boot = 101;
};

// "T,HW,SW,PROTO,BOOT": type -128..255, versions 0..65535.
bool parseVersionValues(const QByteArray& text, VersionValues* values);

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
    enum class Style { Normal, Split, Double, Junk };
    enum class Accept { Normal, Slow, None };

    UnitServer(const QByteArray& name, quint8 startByte, QObject* parent = nullptr);
    ~UnitServer() override;

    void setHeartbeatInterval(int ms) { heartbeatTimer.setInterval(ms); }
    void setHeartbeats(bool on);
    void setVersionInterval(int ms) { versionTimer.setInterval(ms); }
    void setVersionReports(bool on);
    void setVersion(const VersionValues& values) { version = values; }
    void setGap(int ms) { gap = ms; }
    void setStyle(Style value) { style = value; }
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

    static const QByteArray& heartbeatReply();

private:
    struct Peer
    {
        QTcpSocket* socket = nullptr;
        quint8 sequence = 0;
        int junkTurn = 0;
        bool closedByUnit = false;
        std::deque<std::pair<QByteArray, QByteArray>> queue; // bytes, kind
        QElapsedTimer lastWrite;
        QTimer pacer;
        QByteArray replies;
        bool flooding = false;
        bool floodBlocked = false;
        qint64 floodWritten = 0;
        qint64 floodSeen = 0;
        QTimer floodWatch;
    };

    void onNewConnection();
    void onReadyRead(int id);
    void onDisconnected(int id);
    void enqueue(int id, const QByteArray& bytes, const QByteArray& kind);
    void sendNext(int id);
    void sendVersionNow(int id);
    void heartbeatTick();
    void versionTick();
    void startedListening() override;
    void applyListenSettings();
    void startFlood(int id);
    void floodMore(int id, qint64 written);
    void watchFlood(int id);
    Peer* peer(int id);

    QByteArray frame(Peer& p, quint8 command, const QByteArray& data);
    QByteArray versionFrame(Peer& p);
    QByteArray junkFrame(Peer& p);

    quint8 startByte;
    QTimer heartbeatTimer;
    QTimer versionTimer;
    bool heartbeats = true;
    bool versionReports = false;
    VersionValues version;
    int gap = 100;
    Style style = Style::Normal;
    Accept accept = Accept::Normal;
    QTimer acceptTimer;
    bool flood = false;
    std::map<int, std::unique_ptr<Peer>> peers;
    int nextId = 0;
    int goodReplies = 0;
    int badReplies = 0;
};
