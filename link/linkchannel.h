#pragma once

#include "platformsocket.h"

#include <QDeadlineTimer>

#include <atomic>

class QThread;

// The connect, receive and reconnect loop that the control and ground
// channels share. Each channel thread derives from QThread and from this
// class, runs runConnections() as its thread body and supplies what differs:
// which frames it acts on, what it reports and its debug texts.
class LinkChannel
{
public:
    // The debug lines that name the channel.
    struct Texts
    {
        const char* runBegin;
        const char* runExit;
        const char* socketBegin;
        const char* socketBound;
        const char* socketConnected;
        const char* hostLabel;
        const char* replyNotTaken;
        const char* notConnected;
    };

    static constexpr int kIpTextSize = 20;
    // Timer ticks without a heartbeat that a connection survives.
    static constexpr int kMaxSilentTicks = 5;
    static constexpr int kTickMs = 1000;
    // How long the window's probe waits for a unit to accept.
    static constexpr int kProbeTimeoutMs = 1000;

    LinkChannel(const char* host, unsigned short port, const Texts& texts);
    virtual ~LinkChannel() = default;

    LinkChannel(const LinkChannel&) = delete;
    LinkChannel& operator=(const LinkChannel&) = delete;

protected:
    // Runs one connection after another until the current thread is asked
    // to stop. Call on the channel thread.
    void runConnections();

    // A socket connected to ip:port. Attempts start at most once a second,
    // each on a fresh socket; kInvalidSocket once a stop is requested. While
    // no connection stands, the loss of the unit is reported as for a silent
    // connection.
    merro::net::SocketHandle NewSocket(const char* ip, unsigned short port);
    // Writes the socket's local IPv4 address as dotted text into ipText
    // (kIpTextSize bytes) and returns the text's length.
    static int GetIP(merro::net::SocketHandle sock, char* ipText);

    // False when the unit did not take the reply in time (or a stop came):
    // the connection is then to be ended.
    bool sendHeartbeatReply(merro::net::SocketHandle sock);

    // For the thread's destructor: asks the loop to stop and joins it.
    void stopAndWait(QThread* thread);

    // What a channel does with one receive; buffer holds LinkFrames::kReceiveSize
    // bytes, zero beyond what arrived. False ends the connection.
    virtual bool frameReceived(merro::net::SocketHandle sock, const char* buffer) = 0;
    virtual void peerClosed() {}
    virtual void heartBeatLost(int /*count*/) {}
    // After every connection, however it ended, and whenever no connection
    // came within the loss bound.
    virtual void connectionEnded() {}

    char serverIP[kIpTextSize];
    int serverPort;
    // Ticked on the thread that owns the channel's timer, reset here.
    std::atomic<int> heartBeatCount;

private:
    void serveConnection(merro::net::SocketHandle sock);
    // Sleeps in short steps until the deadline; false if a stop came first.
    bool pauseUntil(const QDeadlineTimer& deadline);
    // One step of waiting for a connection: reports the unit lost once it
    // has been missing as long as a silent one may be; false on a stop.
    bool keepConnecting();
    // A connect that gives up after the connect wait, or on a stop; the
    // socket is blocking again afterwards.
    bool connectWithin(merro::net::SocketHandle sock, const sockaddr_in& remote);
    static bool stopRequested();

    Texts texts;
    QDeadlineTimer nextAttempt;
    // Set as the loop's last act; read after the join.
    std::atomic<bool> loopEnded;
};
