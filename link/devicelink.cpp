#include "devicelink.h"

#include "controlclientthread.h"
#include "deviceaddresses.h"
#include "groundclientthread.h"
#include "linkchannel.h"

#include <QTcpSocket>

DeviceLink::DeviceLink(QObject* parent) : QObject(parent)
{
}

DeviceLink::~DeviceLink()
{
    // Both threads join in their destructors; asked first, so they stop together.
    for (QThread* thread : {static_cast<QThread*>(control), static_cast<QThread*>(ground)}) {
        if (thread)
            thread->requestInterruption();
    }
    delete control;
    delete ground;
}

bool DeviceLink::unitAnswers(const QString& host, int port, int timeoutMs)
{
    QTcpSocket socket;
    socket.connectToHost(host, static_cast<quint16>(port), QIODevice::ReadWrite,
                         QAbstractSocket::AnyIPProtocol);
    return socket.waitForConnected(timeoutMs);
}

bool DeviceLink::link()
{
    const int wait = LinkChannel::kProbeTimeoutMs;
    const merro::Endpoint& groundUnit = merro::deviceAddresses().ground;
    const merro::Endpoint& controlUnit = merro::deviceAddresses().control;
    if (!unitAnswers(QString::fromStdString(groundUnit.host), groundUnit.port, wait)
        || !unitAnswers(QString::fromStdString(controlUnit.host), controlUnit.port, wait))
        return false;
    up = true;
    if (!control) {
        control = new ControlClientThread(this);
        connect(control, &ControlClientThread::updateLinkedFlag, this, [this](bool flag) {
            if (flag == up)
                return;
            up = flag;
            emit linkChanged(flag);
        });
        control->start(QThread::InheritPriority);
        ground = new GroundClientThread(this);
        ground->start(QThread::InheritPriority);
    }
    return true;
}
