#include "replysender.h"

#include <QTcpSocket>

#include <algorithm>

namespace {

constexpr qint64 kWriteBacklog = 256 * 1024;
constexpr qint64 kWritePiece = 64 * 1024;

} // namespace

ReplySender::ReplySender(QTcpSocket* replySocket, const qint64& cameraRate, QObject* parent)
    : QObject(parent), socket(replySocket), rate(cameraRate)
{
    connect(&pieces, &QTimer::timeout, this, &ReplySender::tick);
    connect(socket, &QTcpSocket::bytesWritten, this, &ReplySender::pump);
}

void ReplySender::send(std::unique_ptr<ReplyStream> replyStream, bool countFileBody,
                       const Pace& pace, const QByteArray& head)
{
    stream = std::move(replyStream);
    fileBody = countFileBody;
    rateClock.start();
    rateSent = 0;
    if (pace.segments) {
        // Small pieces, each in a segment of its own, as a camera's CGI
        // script writes its output. The timer runs first: flush() emits
        // bytesWritten at once, and pump() leaves a paced reply alone.
        pieceBytes = pace.pieceBytes;
        pieces.setTimerType(Qt::PreciseTimer);
        pieces.start(pace.everyMs);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket->write(head);
        socket->flush();
    } else if (pace.pieceBytes > 0) {
        pieceBytes = pace.pieceBytes;
        pieces.start(pace.everyMs);
    } else {
        pump();
    }
}

void ReplySender::sendEndless(std::function<QByteArray(qint64)> line)
{
    endless = std::move(line);
    endlessLines = 0;
    pump();
}

void ReplySender::stop()
{
    pieces.stop();
    stream.reset();
    endless = nullptr;
}

void ReplySender::pump()
{
    if (endless) {
        while (socket->bytesToWrite() < kWriteBacklog)
            socket->write(endless(endlessLines++));
        return;
    }
    if (!stream || pieces.isActive())
        return;
    while (!stream->atEnd() && socket->bytesToWrite() < kWriteBacklog) {
        qint64 piece = kWritePiece;
        if (rate > 0) {
            piece = std::min(piece, rate * rateClock.elapsed() / 1000 - rateSent);
            if (piece <= 0) {
                if (!rateWakeQueued) {
                    rateWakeQueued = true;
                    QTimer::singleShot(1, Qt::PreciseTimer, this, [this] {
                        rateWakeQueued = false;
                        pump();
                    });
                }
                return;
            }
        }
        rateSent += write(piece);
    }
    if (stream->atEnd())
        finish();
}

void ReplySender::tick()
{
    if (!stream)
        return;
    write(pieceBytes);
    socket->flush();
    // A failed flush may have closed the connection and stopped the reply.
    if (stream && stream->atEnd()) {
        pieces.stop();
        finish();
    }
}

void ReplySender::finish()
{
    stream.reset();
    emit finished();
}

qint64 ReplySender::write(qint64 max)
{
    const qint64 before = stream->bodyBytesOut();
    const QByteArray data = stream->read(max);
    socket->write(data);
    if (fileBody)
        emit fileBodySent(stream->bodyBytesOut() - before);
    return data.size();
}
