#include "groundclientthread.h"

#include "deviceaddresses.h"
#include "linkframes.h"

#include <QDebug>
#include <QTimer>

namespace {

const LinkChannel::Texts kGroundTexts = {
    "GroundClientThread run begin",
    "GroundClientThread run exit",
    "ground new socket begin",
    "ground new socket bind ok",
    "ground new socket success",
    "Ground host IP:",
    "ground heartbeat reply not taken",
    "ground not connected in time",
};

} // namespace

GroundClientThread::GroundClientThread(QObject* parent)
    : GroundClientThread(merro::deviceAddresses().ground.host.c_str(),
                         merro::deviceAddresses().ground.port, parent)
{
}

GroundClientThread::GroundClientThread(const char* host, unsigned short port, QObject* parent)
    : QThread(parent)
    , LinkChannel(host, port, kGroundTexts)
{
    qDebug() << "GroundClientThread build";
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &GroundClientThread::heartBeatTimer);
    timer->setInterval(kTickMs);
    timer->start();
}

GroundClientThread::~GroundClientThread()
{
    qDebug() << "GroundClientThread ~";
    stopAndWait(this);
}

void GroundClientThread::run()
{
    runConnections();
}

void GroundClientThread::heartBeatTimer()
{
    ++heartBeatCount;
}

bool GroundClientThread::frameReceived(merro::net::SocketHandle sock, const char* buffer)
{
    if (LinkFrames::isFrame(buffer, LinkFrames::kGroundStart, LinkFrames::kHeartbeat)) {
        heartBeatCount = 0;
        return sendHeartbeatReply(sock);
    }
    return true;
}
