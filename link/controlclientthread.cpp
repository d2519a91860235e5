#include "controlclientthread.h"

#include "deviceaddresses.h"
#include "linkframes.h"

#include <QDebug>
#include <QTimer>

namespace {

const LinkChannel::Texts kControlTexts = {
    "ControlClientThread run begin",
    "ControlClientThread run exit",
    "control new socket begin",
    "control new socket bind ok",
    "control new socket success",
    "Control host IP:",
    "control heartbeat reply not taken",
    "control not connected in time",
};

} // namespace

ControlClientThread::ControlClientThread(QObject* parent)
    : ControlClientThread(merro::deviceAddresses().control.host.c_str(),
                          merro::deviceAddresses().control.port, parent)
{
}

ControlClientThread::ControlClientThread(const char* host, unsigned short port, QObject* parent)
    : QThread(parent)
    , LinkChannel(host, port, kControlTexts)
    , linkedFlag(false)
{
    qDebug() << "ControlClientThread build";
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &ControlClientThread::heartBeatTimer);
    timer->setInterval(kTickMs);
    timer->start();
}

ControlClientThread::~ControlClientThread()
{
    qDebug() << "ControlClientThread ~";
    stopAndWait(this);
}

void ControlClientThread::run()
{
    runConnections();
}

void ControlClientThread::heartBeatTimer()
{
    ++heartBeatCount;
}

bool ControlClientThread::frameReceived(merro::net::SocketHandle sock, const char* buffer)
{
    LinkFrames::VersionReport report;
    if (LinkFrames::readVersionReport(buffer, report)) {
        emit VersionInfo(static_cast<char>(report.hardType), report.hardVer, report.softVer,
                         report.protocolVer, report.bootVer);
    } else if (LinkFrames::isFrame(buffer, LinkFrames::kControlStart, LinkFrames::kHeartbeat)) {
        heartBeatCount = 0;
        if (!sendHeartbeatReply(sock))
            return false;
        // At most one report a tick: a unit that floods heartbeats must not
        // bury the window's event queue in them.
        if (!linkedFlag || nextLinkedReport.hasExpired()) {
            linkedFlag = true;
            nextLinkedReport.setRemainingTime(kTickMs);
            emit updateLinkedFlag(true);
        }
    }
    return true;
}

void ControlClientThread::peerClosed()
{
    qDebug() << "control nRead = 0";
}

void ControlClientThread::heartBeatLost(int count)
{
    qDebug("heartBeat is %d,break", count);
}

void ControlClientThread::connectionEnded()
{
    linkedFlag = false;
    emit updateLinkedFlag(false);
}
