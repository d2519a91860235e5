#include "unitserver.h"

#include "platformsocket.h"
#include "simlog.h"

#include <QTcpSocket>

namespace {

constexpr int kReplySize = 6;
// Qt listens with room for this many waiting connections.
constexpr int kDefaultBacklog = 50;
// A slow unit takes a waiting connection off its queue this often.
constexpr int kSlowAcceptMs = 900;
// Receive buffer of a flooding unit's connections, and the one they go back to.
constexpr int kFloodReceiveBuffer = 2048;
constexpr int kNormalReceiveBuffer = 131072;
constexpr int kFloodSegment = 88;
constexpr int kNormalSegment = 0; // as the route allows

} // namespace

UnitServer::UnitServer(const QByteArray& unitName, quint8 start, QObject* parent)
    : Listener(unitName, parent), startByte(start)
{
    heartbeatTimer.setInterval(1000);
    versionTimer.setInterval(3000);
    connect(&server, &QTcpServer::newConnection, this, &UnitServer::onNewConnection);
    connect(&heartbeatTimer, &QTimer::timeout, this, &UnitServer::heartbeatTick);
    connect(&versionTimer, &QTimer::timeout, this, [this] { sendVersionNow(); });
    connect(&acceptTimer, &QTimer::timeout, this, [this] { server.waitForNewConnection(0); });
    acceptTimer.setInterval(kSlowAcceptMs);
    heartbeatTimer.start();
}

UnitServer::~UnitServer()
{
    // Sockets are children of this object; stop them calling back first.
    for (auto& entry : peers)
        entry.second->socket->disconnect(this);
}

void UnitServer::setVersionReports(bool on)
{
    versionReports = on;
    if (on)
        versionTimer.start();
    else
        versionTimer.stop();
}

void UnitServer::setAccept(Accept mode)
{
    accept = mode;
    applyListenSettings();
}

void UnitServer::setFlood(bool on)
{
    flood = on;
    applyListenSettings();
}

void UnitServer::startedListening()
{
    applyListenSettings();
}

// Settings of the listening socket are lost when it closes, so they are
// applied again on every listen.
void UnitServer::applyListenSettings()
{
    if (accept == Accept::Slow)
        acceptTimer.start();
    else
        acceptTimer.stop();
    if (!server.isListening())
        return;
    const auto listener = static_cast<merro::net::SocketHandle>(server.socketDescriptor());
    // With a backlog of 0 the kernel keeps one connection waiting; further
    // SYNs are dropped and the client retries about a second later.
    merro::net::setListenBacklog(listener, accept == Accept::Normal ? kDefaultBacklog : 0);
    if (accept == Accept::Normal)
        server.resumeAccepting();
    else
        server.pauseAccepting();
    merro::net::setReceiveBuffer(listener, flood ? kFloodReceiveBuffer : kNormalReceiveBuffer);
    // Small segments keep the client's send buffer small too, so that a few
    // thousand unread replies fill it.
    merro::net::setMaxSegment(listener, flood ? kFloodSegment : kNormalSegment);
}

UnitServer::Peer* UnitServer::peer(int id)
{
    const auto it = peers.find(id);
    return it == peers.end() ? nullptr : it->second.get();
}

void UnitServer::onNewConnection()
{
    while (QTcpSocket* socket = server.nextPendingConnection()) {
        const int id = ++nextId;
        auto p = std::make_unique<Peer>(startByte);
        p->socket = socket;
        socket->setParent(this);
        // Each frame must leave at once, in a segment of its own.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        p->pacer.setSingleShot(true);
        connect(&p->pacer, &QTimer::timeout, this, [this, id] { sendNext(id); });
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { onReadyRead(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { onDisconnected(id); });
        Peer* q = p.get();
        peers.emplace(id, std::move(p));
        log("accepted #" + QByteArray::number(id) + " from "
            + socket->peerAddress().toString().toLatin1() + ':'
            + QByteArray::number(socket->peerPort()));

        if (flood) {
            q->flood = std::make_unique<UnitFlood>(socket, &q->frames,
                                                   " #" + QByteArray::number(id),
                                                   [this](const QByteArray& t) { log(t); });
            q->flood->start();
            continue;
        }
        if (versionReports)
            sendVersionNow(id);
        if (heartbeats)
            enqueue(id, q->frames.heartbeat(), "heartbeat");
    }
}

void UnitServer::sendVersionNow(int id)
{
    Peer* p = peer(id);
    if (p && !p->flood)
        enqueue(id, p->frames.version(version), "version");
}

void UnitServer::sendVersionNow()
{
    for (auto& entry : peers)
        sendVersionNow(entry.first);
}

void UnitServer::sendRaw(const QByteArray& bytes)
{
    for (auto& entry : peers)
        enqueue(entry.first, bytes, "raw");
}

void UnitServer::dropAll()
{
    for (auto& entry : peers) {
        Peer& p = *entry.second;
        p.closedByUnit = true;
        p.queue.clear();
        p.pacer.stop();
        // A flood never drains, so its connection would never finish closing.
        if (p.flood) {
            p.flood->stop();
            p.socket->abort();
        } else {
            p.socket->disconnectFromHost();
        }
    }
}

void UnitServer::onReadyRead(int id)
{
    Peer* p = peer(id);
    if (!p || p->flood)
        return;
    p->replies += p->socket->readAll();
    while (p->replies.size() >= kReplySize) {
        const QByteArray reply = p->replies.left(kReplySize);
        p->replies.remove(0, kReplySize);
        countReply(id, reply);
    }
}

void UnitServer::countReply(int id, const QByteArray& reply)
{
    const QByteArray tag = " #" + QByteArray::number(id);
    const bool good = reply == UnitFrames::heartbeatReply();
    ++(good ? goodReplies : badReplies);
    log((good ? "reply good" + tag : "reply bad" + tag + ' ' + reply.toHex()) + " good="
        + QByteArray::number(goodReplies) + " bad=" + QByteArray::number(badReplies));
}

void UnitServer::onDisconnected(int id)
{
    Peer* p = peer(id);
    if (!p)
        return;
    const QByteArray tag = " #" + QByteArray::number(id);
    if (!p->replies.isEmpty()) {
        ++badReplies;
        log("reply short" + tag + ' ' + p->replies.toHex() + " good="
            + QByteArray::number(goodReplies) + " bad=" + QByteArray::number(badReplies));
    }
    log("closed" + tag + (p->closedByUnit ? " by unit" : " by peer"));
    p->socket->deleteLater();
    // The peer may still be on the call stack (a failed write): forget it later.
    p->pacer.stop();
    if (p->flood)
        p->flood->stop();
    p->queue.clear();
    QTimer::singleShot(0, this, [this, id] { peers.erase(id); });
}

void UnitServer::enqueue(int id, const QByteArray& bytes, const QByteArray& kind)
{
    Peer* p = peer(id);
    if (!p || p->closedByUnit || p->socket->state() != QAbstractSocket::ConnectedState)
        return;
    p->queue.push_back({bytes, kind});
    if (!p->pacer.isActive())
        sendNext(id);
}

void UnitServer::sendNext(int id)
{
    Peer* p = peer(id);
    if (!p || p->queue.empty())
        return;
    if (p->lastWrite.isValid() && p->lastWrite.elapsed() < gap) {
        p->pacer.start(gap - static_cast<int>(p->lastWrite.elapsed()));
        return;
    }
    const UnitFrames::Write next = p->queue.front();
    p->queue.pop_front();
    p->lastWrite.start();
    log("sent " + next.kind + " #" + QByteArray::number(id) + ' ' + next.bytes.toHex());
    p->socket->write(next.bytes);
    p->socket->flush();
    // The write may have found the connection gone.
    p = peer(id);
    if (p && !p->queue.empty())
        p->pacer.start(gap);
}

void UnitServer::heartbeatTick()
{
    if (!heartbeats)
        return;
    for (auto& entry : peers) {
        Peer& p = *entry.second;
        if (p.flood)
            continue;
        for (const UnitFrames::Write& write : p.frames.heartbeatWrites(style, version))
            enqueue(entry.first, write.bytes, write.kind);
    }
}
