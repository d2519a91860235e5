#include "linkchannel.h"

#include "linkframes.h"

#include <QDebug>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace net = merro::net;

namespace {

// Short enough that a stop request is seen well within a second.
constexpr int kSliceMs = 100;
// Never shorter than the probe: a unit that passed the probe must get in. Twice
// as long, so that a connect answered only on the SYN retry (a second) gets in.
constexpr int kConnectTimeoutMs = 2 * LinkChannel::kProbeTimeoutMs;
constexpr int kAttemptPeriodMs = 1000;
// A unit that keeps its heartbeat replies waiting longer than this is gone.
constexpr int kReplyTimeoutMs = 1000;

} // namespace

LinkChannel::LinkChannel(const char* host, unsigned short port, const Texts& texts)
    : serverPort(port)
    , heartBeatCount(0)
    , texts(texts)
    , loopEnded(false)
{
    std::snprintf(serverIP, sizeof(serverIP), "%s", host);
}

bool LinkChannel::stopRequested()
{
    return QThread::currentThread()->isInterruptionRequested();
}

bool LinkChannel::pauseUntil(const QDeadlineTimer& deadline)
{
    while (keepConnecting()) {
        const qint64 remaining = deadline.remainingTime();
        if (remaining <= 0)
            return true;
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(remaining, kSliceMs)));
    }
    return false;
}

bool LinkChannel::keepConnecting()
{
    const int count = heartBeatCount;
    if (count > kMaxSilentTicks) {
        qDebug() << texts.notConnected << count;
        heartBeatCount = 0;
        connectionEnded();
    }
    return !stopRequested();
}

void LinkChannel::runConnections()
{
    while (!stopRequested()) {
        qDebug() << texts.runBegin;
        const net::SocketHandle sock =
            NewSocket(serverIP, static_cast<unsigned short>(serverPort));
        if (!net::isValid(sock))
            break;
        char ipText[kIpTextSize];
        const int length = GetIP(sock, ipText);
        qDebug() << texts.hostLabel << ipText << "length:" << length;
        heartBeatCount = 0;
        serveConnection(sock);
        net::closeSocket(sock);
        connectionEnded();
        qDebug() << texts.runExit;
    }
    loopEnded.store(true, std::memory_order_release);
}

void LinkChannel::stopAndWait(QThread* thread)
{
    thread->requestInterruption();
    thread->wait();
    // QThread joins through a lock that race checkers cannot see; this pairs
    // the loop's last touch of the object with its destruction.
    (void)loopEnded.load(std::memory_order_acquire);
}

void LinkChannel::serveConnection(net::SocketHandle sock)
{
    char buffer[LinkFrames::kReceiveSize];
    while (!stopRequested()) {
        // A bounded wait, so that the loss check also runs on a silent connection.
        const int ready = net::waitReadable(sock, kSliceMs);
        if (ready < 0)
            return;
        if (ready > 0) {
            std::memset(buffer, 0, sizeof(buffer));
            const int nRead = net::recvBytes(sock, buffer, sizeof(buffer));
            if (nRead == 0) {
                peerClosed();
                return;
            }
            if (nRead < 0 && !net::lastCallInterrupted())
                return;
            if (nRead > 0 && !frameReceived(sock, buffer))
                return;
        }
        const int count = heartBeatCount;
        if (count > kMaxSilentTicks) {
            heartBeatLost(count);
            heartBeatCount = 0;
            return;
        }
    }
}

net::SocketHandle LinkChannel::NewSocket(const char* ip, unsigned short port)
{
    qDebug() << texts.socketBegin;
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_addr.s_addr = inet_addr(ip);
    remote.sin_port = htons(port);

    bool announced = false;
    heartBeatCount = 0;
    while (pauseUntil(nextAttempt)) {
        nextAttempt = QDeadlineTimer(kAttemptPeriodMs);
        const net::SocketHandle sock = ::socket(AF_INET, SOCK_STREAM, 0);
        if (!net::isValid(sock))
            continue;
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_ANY);
        local.sin_port = 0;
        // A failed bind does no harm: connect then picks the local address itself.
        (void)::bind(sock, reinterpret_cast<const sockaddr*>(&local),
                     static_cast<net::SockLen>(sizeof(local)));
        if (!announced) {
            qDebug() << texts.socketBound;
            announced = true;
        }
        if (connectWithin(sock, remote)) {
            qDebug() << texts.socketConnected;
            return sock;
        }
        net::closeSocket(sock);
    }
    return net::kInvalidSocket;
}

bool LinkChannel::connectWithin(net::SocketHandle sock, const sockaddr_in& remote)
{
    if (!net::setNonBlocking(sock, true))
        return false;
    const QDeadlineTimer deadline(kConnectTimeoutMs);
    net::ConnectResult result = net::startConnect(sock, remote);
    while (result == net::ConnectResult::TimedOut && keepConnecting()) {
        const qint64 remaining = deadline.remainingTime();
        if (remaining <= 0)
            break;
        result = net::finishConnect(sock, static_cast<int>(std::min<qint64>(remaining, kSliceMs)));
    }
    net::setNonBlocking(sock, false);
    return result == net::ConnectResult::Connected;
}

int LinkChannel::GetIP(net::SocketHandle sock, char* ipText)
{
    sockaddr_in local{};
    net::SockLen length = sizeof(local);
    if (::getsockname(sock, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        std::printf("Get IP failed\n");
        local = sockaddr_in{};
    }
    std::snprintf(ipText, kIpTextSize, "%s", inet_ntoa(local.sin_addr));
    return static_cast<int>(std::strlen(ipText));
}

bool LinkChannel::sendHeartbeatReply(net::SocketHandle sock)
{
    char reply[LinkFrames::kFrameSize];
    LinkFrames::buildHeartbeatReply(reply);
    // Never a blocking send: a unit that stops reading would hold the thread.
    const QDeadlineTimer deadline(kReplyTimeoutMs);
    int sent = 0;
    while (sent < LinkFrames::kFrameSize) {
        const int n = net::sendBytesNoWait(sock, reply + sent, LinkFrames::kFrameSize - sent);
        if (n > 0) {
            sent += n;
            continue;
        }
        // A broken connection shows in the next receive.
        if (n < 0 && !net::lastCallWouldBlock() && !net::lastCallInterrupted())
            return true;
        if (stopRequested())
            return false;
        const qint64 remaining = deadline.remainingTime();
        if (remaining <= 0) {
            qDebug() << texts.replyNotTaken;
            return false;
        }
        if (net::waitWritable(sock, static_cast<int>(std::min<qint64>(remaining, kSliceMs))) < 0)
            return true;
    }
    return true;
}
