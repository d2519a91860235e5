#pragma once

#include "replystream.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class QTcpSocket;

// Hands one reply at a time to a camera connection's socket: as fast as the
// socket takes it, within the camera's rate cap; or in timed pieces; or as a
// head that never ends. Large replies never pile up in memory.
class ReplySender : public QObject
{
    Q_OBJECT

public:
    struct Pace
    {
        int pieceBytes = 0; // 0: as fast as the socket and the rate cap allow
        int everyMs = 0;
        bool segments = false; // the head alone first, each piece in a segment of its own
    };

    // rate: the camera's cap in bytes per second (0: none), read as it changes.
    ReplySender(QTcpSocket* socket, const qint64& rate, QObject* parent = nullptr);

    // With pace.segments, head goes out at once, before the stream (whose own
    // head is then empty). fileBody: the stream's body bytes count as file bytes.
    void send(std::unique_ptr<ReplyStream> stream, bool fileBody, const Pace& pace,
              const QByteArray& head);
    // Line after line from 0 on, made as the client takes them.
    void sendEndless(std::function<QByteArray(qint64 line)> line);
    void stop();

signals:
    // The reply's last byte has been handed to the socket.
    void finished();
    void fileBodySent(qint64 bytes);

private:
    void pump();
    void tick();
    void finish();
    // Hands up to `max` bytes of the reply to the socket; returns how many.
    qint64 write(qint64 max);

    QTcpSocket* socket;
    const qint64& rate;
    std::unique_ptr<ReplyStream> stream;
    bool fileBody = false;
    QTimer pieces;
    int pieceBytes = 0;
    std::function<QByteArray(qint64)> endless;
    qint64 endlessLines = 0;
    QElapsedTimer rateClock;
    qint64 rateSent = 0;
    bool rateWakeQueued = false;
};
