#include "unitserver.h"

#include "platformsocket.h"
#include "simlog.h"

#include <QTcpSocket>

namespace {

constexpr quint8 kVersionCommand = 0x00;
constexpr quint8 kHeartbeatCommand = 0x04;
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
// A flood keeps this much queued, written this many frames at a time.
constexpr qint64 kFloodBacklog = 64 * 1024;
constexpr int kFloodBatch = 1024;
constexpr int kFloodWatchMs = 250;

QByteArray bigEndian16(int value)
{
    QByteArray bytes;
    bytes += static_cast<char>((value >> 8) & 0xff);
    bytes += static_cast<char>(value & 0xff);
    return bytes;
}

} // namespace

bool parseVersionValues(const QByteArray& text, VersionValues* values)
{
    const QList<QByteArray> parts = text.split(',');
    if (parts.size() != 5)
        return false;
    int numbers[5];
    for (int i = 0; i < 5; ++i) {
        bool ok = false;
        numbers[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return false;
    }
    if (numbers[0] < -128 || numbers[0] > 255)
        return false;
    for (int i = 1; i < 5; ++i) {
        if (numbers[i] < 0 || numbers[i] > 65535)
            return false;
    }
    *values = {numbers[0], numbers[1], numbers[2], numbers[3], numbers[4]};
    return true;
}

UnitServer::UnitServer(const QByteArray& unitName, quint8 start, QObject* parent)
    : Listener(unitName, parent), startByte(start)
{
    heartbeatTimer.setInterval(1000);
    versionTimer.setInterval(3000);
    connect(&server, &QTcpServer::newConnection, this, &UnitServer::onNewConnection);
    connect(&heartbeatTimer, &QTimer::timeout, this, &UnitServer::heartbeatTick);
    connect(&versionTimer, &QTimer::timeout, this, &UnitServer::versionTick);
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

const QByteArray& UnitServer::heartbeatReply()
{
    static const QByteArray reply("\xaa\xaf\x04\x01\x01\x5f", kReplySize);
    return reply;
}

void UnitServer::setHeartbeats(bool on)
{
    heartbeats = on;
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
        auto p = std::make_unique<Peer>();
        p->socket = socket;
        socket->setParent(this);
        // Each frame must leave at once, in a segment of its own.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        p->pacer.setSingleShot(true);
        connect(&p->pacer, &QTimer::timeout, this, [this, id] { sendNext(id); });
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { onReadyRead(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { onDisconnected(id); });
        peers.emplace(id, std::move(p));
        log("accepted #" + QByteArray::number(id) + " from "
            + socket->peerAddress().toString().toLatin1() + ':'
            + QByteArray::number(socket->peerPort()));

        if (flood) {
            startFlood(id);
            continue;
        }
        if (versionReports)
            sendVersionNow(id);
        if (heartbeats) {
            Peer* q = peer(id);
            enqueue(id, frame(*q, kHeartbeatCommand, QByteArray(1, '\0')), "heartbeat");
        }
    }
}

void UnitServer::startFlood(int id)
{
    Peer* p = peer(id);
    p->flooding = true;
    // Qt stops reading once its buffer holds this much: the kernel's fills up.
    p->socket->setReadBufferSize(1);
    connect(p->socket, &QTcpSocket::bytesWritten, this,
            [this, id](qint64 written) { floodMore(id, written); });
    p->floodWatch.setInterval(kFloodWatchMs);
    connect(&p->floodWatch, &QTimer::timeout, this, [this, id] { watchFlood(id); });
    p->floodWatch.start();
    log("flooding #" + QByteArray::number(id));
    floodMore(id, 0);
}

void UnitServer::floodMore(int id, qint64 written)
{
    Peer* p = peer(id);
    if (!p || p->closedByUnit || p->socket->state() != QAbstractSocket::ConnectedState)
        return;
    p->floodWritten += written;
    while (p->socket->bytesToWrite() < kFloodBacklog) {
        // Four-byte frames: segments and the client's receives are multiples
        // of four, so every receive starts on a frame.
        QByteArray frames;
        for (int i = 0; i < kFloodBatch; ++i) {
            const quint8 sequence = p->sequence++;
            frames += static_cast<char>(startByte);
            frames += static_cast<char>(sequence);
            frames += static_cast<char>(kHeartbeatCommand);
            frames += static_cast<char>((startByte + sequence + kHeartbeatCommand) & 0xff);
        }
        p->socket->write(frames);
    }
}

// Logs once per stall that the flood no longer leaves: the buffers between
// the unit and its client are full.
void UnitServer::watchFlood(int id)
{
    Peer* p = peer(id);
    if (!p)
        return;
    const bool moved = p->floodWritten != p->floodSeen;
    p->floodSeen = p->floodWritten;
    if (moved) {
        p->floodBlocked = false;
    } else if (!p->floodBlocked) {
        p->floodBlocked = true;
        log("flood blocked #" + QByteArray::number(id) + " after "
            + QByteArray::number(p->floodWritten) + " bytes");
    }
}

void UnitServer::sendVersionNow(int id)
{
    Peer* p = peer(id);
    if (p && !p->flooding)
        enqueue(id, versionFrame(*p), "version");
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
        p.floodWatch.stop();
        // A flood never drains, so its connection would never finish closing.
        if (p.flooding)
            p.socket->abort();
        else
            p.socket->disconnectFromHost();
    }
}

void UnitServer::onReadyRead(int id)
{
    Peer* p = peer(id);
    if (!p || p->flooding)
        return;
    p->replies += p->socket->readAll();
    while (p->replies.size() >= kReplySize) {
        const QByteArray reply = p->replies.left(kReplySize);
        p->replies.remove(0, kReplySize);
        const QByteArray tag = " #" + QByteArray::number(id);
        if (reply == heartbeatReply()) {
            ++goodReplies;
            log("reply good" + tag + " good=" + QByteArray::number(goodReplies)
                + " bad=" + QByteArray::number(badReplies));
        } else {
            ++badReplies;
            log("reply bad" + tag + ' ' + reply.toHex() + " good="
                + QByteArray::number(goodReplies) + " bad=" + QByteArray::number(badReplies));
        }
    }
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
    p->floodWatch.stop();
    p->queue.clear();
    QTimer::singleShot(0, this, [this, id] { peers.erase(id); });
}

void UnitServer::enqueue(int id, const QByteArray& bytes, const QByteArray& kind)
{
    Peer* p = peer(id);
    if (!p || p->closedByUnit || p->socket->state() != QAbstractSocket::ConnectedState)
        return;
    p->queue.emplace_back(bytes, kind);
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
    const auto [bytes, kind] = p->queue.front();
    p->queue.pop_front();
    p->lastWrite.start();
    log("sent " + kind + " #" + QByteArray::number(id) + ' ' + bytes.toHex());
    p->socket->write(bytes);
    p->socket->flush();
    // The write may have found the connection gone.
    p = peer(id);
    if (p && !p->queue.empty())
        p->pacer.start(gap);
}

QByteArray UnitServer::frame(Peer& p, quint8 command, const QByteArray& data)
{
    // start, sequence, command, data length, data, checksum (low byte of the sum)
    QByteArray bytes;
    bytes += static_cast<char>(startByte);
    bytes += static_cast<char>(p.sequence++);
    bytes += static_cast<char>(command);
    bytes += static_cast<char>(data.size());
    bytes += data;
    int sum = 0;
    for (const char c : bytes)
        sum += static_cast<unsigned char>(c);
    bytes += static_cast<char>(sum & 0xff);
    return bytes;
}

QByteArray UnitServer::versionFrame(Peer& p)
{
    QByteArray data;
    data += static_cast<char>(version.type);
    data += bigEndian16(version.hardware);
    data += bigEndian16(version.software);
    data += bigEndian16(version.protocol);
    data += bigEndian16(version.boot);
    return frame(p, kVersionCommand, data);
}

QByteArray UnitServer::junkFrame(Peer& p)
{
    switch (p.junkTurn++ % 3) {
    case 0: // well-formed, but a command nobody knows
        return frame(p, 0x07, QByteArray("\x55\xaa", 2));
    case 1: { // the other unit's start byte
        QByteArray bytes = frame(p, kHeartbeatCommand, QByteArray(1, '\0'));
        bytes[0] = static_cast<char>(startByte == 0xaa ? 0xbb : 0xaa);
        return bytes;
    }
    default: // noise
        return QByteArray("\x13\x37\xfe\xed\x00\xff\x42", 7);
    }
}

void UnitServer::heartbeatTick()
{
    if (!heartbeats)
        return;
    for (auto& entry : peers) {
        const int id = entry.first;
        Peer& p = *entry.second;
        if (p.flooding)
            continue;
        const QByteArray beat = frame(p, kHeartbeatCommand, QByteArray(1, '\0'));
        switch (style) {
        case Style::Normal:
            enqueue(id, beat, "heartbeat");
            break;
        case Style::Split:
            enqueue(id, beat.left(3), "heartbeat-part");
            enqueue(id, beat.mid(3), "heartbeat-part");
            break;
        case Style::Double:
            enqueue(id, beat + versionFrame(p), "heartbeat+version");
            break;
        case Style::Junk:
            enqueue(id, beat, "heartbeat");
            enqueue(id, junkFrame(p), "junk");
            break;
        }
    }
}

void UnitServer::versionTick()
{
    sendVersionNow();
}
