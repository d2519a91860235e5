#pragma once

#include "simlog.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

class QTcpSocket;
class UnitFrames;

// A flood of heartbeats on one connection that is never read: four-byte
// frames back to back, as fast as the client takes them. Logs once per stall
// that nothing of it has left for a while: the buffers between the unit and
// its client are full.
class UnitFlood : public QObject
{
    Q_OBJECT

public:
    // tag names the connection in the log lines.
    UnitFlood(QTcpSocket* socket, UnitFrames* frames, const QByteArray& tag, sim::Logger log);

    void start();
    void stop();

private:
    void more(qint64 written);
    void watch();

    QTcpSocket* socket;
    UnitFrames* frames;
    QByteArray tag;
    sim::Logger log;
    QTimer watchTimer;
    bool stopped = false;
    bool blocked = false;
    qint64 written = 0;
    qint64 seen = 0;
};
