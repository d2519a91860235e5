#pragma once

#include "linkchannel.h"

#include <QThread>

// Keeps a connection to the device's ground unit and answers its heartbeats.
// Reports nothing: the window's link state follows the control unit alone.
class GroundClientThread : public QThread, private LinkChannel
{
    Q_OBJECT

public:
    explicit GroundClientThread(QObject* parent);
    // Talks to a unit at another address, such as a stand-in for tests.
    GroundClientThread(const char* host, unsigned short port, QObject* parent);
    ~GroundClientThread() override;

protected:
    void run() override;

private slots:
    void heartBeatTimer();

private:
    bool frameReceived(merro::net::SocketHandle sock, const char* buffer) override;
};
