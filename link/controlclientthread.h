#pragma once

#include "linkchannel.h"

#include <QThread>

// Keeps a connection to the device's control unit: answers its heartbeats,
// reports its versions and whether the link is alive. Reconnects whenever a
// connection ends, until asked to stop (requestInterruption or destruction).
class ControlClientThread : public QThread, private LinkChannel
{
    Q_OBJECT

public:
    explicit ControlClientThread(QObject* parent);
    // Talks to a unit at another address, such as a stand-in for tests.
    ControlClientThread(const char* host, unsigned short port, QObject* parent);
    ~ControlClientThread() override;

signals:
    void VersionInfo(char hardType, int hardVer, int softVer, int ProtocolVer, int BootVer);
    void updateLinkedFlag(bool);

protected:
    void run() override;

private slots:
    void heartBeatTimer();

private:
    bool frameReceived(merro::net::SocketHandle sock, const char* buffer) override;
    void peerClosed() override;
    void heartBeatLost(int count) override;
    void connectionEnded() override;

    bool linkedFlag;
    QDeadlineTimer nextLinkedReport; // channel thread only
};
