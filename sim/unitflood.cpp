#include "unitflood.h"

#include "unitframes.h"

#include <QTcpSocket>

namespace {

// A flood keeps this much queued, written this many frames at a time.
constexpr qint64 kFloodBacklog = 64 * 1024;
constexpr int kFloodBatch = 1024;
constexpr int kFloodWatchMs = 250;

} // namespace

UnitFlood::UnitFlood(QTcpSocket* floodSocket, UnitFrames* unitFrames, const QByteArray& peerTag,
                     sim::Logger logLine)
    : socket(floodSocket), frames(unitFrames), tag(peerTag), log(std::move(logLine))
{
}

void UnitFlood::start()
{
    // Qt stops reading once its buffer holds this much: the kernel's fills up.
    socket->setReadBufferSize(1);
    connect(socket, &QTcpSocket::bytesWritten, this, &UnitFlood::more);
    watchTimer.setInterval(kFloodWatchMs);
    connect(&watchTimer, &QTimer::timeout, this, &UnitFlood::watch);
    watchTimer.start();
    log("flooding" + tag);
    more(0);
}

void UnitFlood::stop()
{
    stopped = true;
    watchTimer.stop();
}

void UnitFlood::more(qint64 bytes)
{
    if (stopped || socket->state() != QAbstractSocket::ConnectedState)
        return;
    written += bytes;
    while (socket->bytesToWrite() < kFloodBacklog)
        socket->write(frames->floodFrames(kFloodBatch));
}

void UnitFlood::watch()
{
    const bool moved = written != seen;
    seen = written;
    if (moved) {
        blocked = false;
    } else if (!blocked) {
        blocked = true;
        log("flood blocked" + tag + " after " + QByteArray::number(written) + " bytes");
    }
}
