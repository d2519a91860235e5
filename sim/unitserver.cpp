#include "unitserver.h"

#include "simlog.h"

#include <QTcpSocket>

namespace {

constexpr quint8 kVersionCommand = 0x00;
constexpr quint8 kHeartbeatCommand = 0x04;
constexpr int kReplySize = 6;

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

        if (versionReports)
            sendVersionNow(id);
        if (heartbeats) {
            Peer* q = peer(id);
            enqueue(id, frame(*q, kHeartbeatCommand, QByteArray(1, '\0')), "heartbeat");
        }
    }
}

void UnitServer::sendVersionNow(int id)
{
    if (Peer* p = peer(id))
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
        p.socket->disconnectFromHost();
    }
}

void UnitServer::onReadyRead(int id)
{
    Peer* p = peer(id);
    if (!p)
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
