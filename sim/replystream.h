#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <memory>

// The bytes of one HTTP reply, produced piece by piece so that a large card
// file is never held in memory. Optionally wraps the body in chunked coding
// or cuts it short.
class ReplyStream
{
public:
    ReplyStream(const QByteArray& head, const QByteArray& body);
    // `size` bytes of the file from `offset` on. Fails (atEnd at once after the
    // head) when the file cannot be opened or read from there.
    ReplyStream(const QByteArray& head, const QString& filePath, qint64 offset, qint64 size);

    void setChunked(bool on) { chunked = on; }
    // Ends the body after this many bytes, whatever the head announced.
    void setBodyLimit(qint64 bytes);
    // Bytes sent after the body, beyond what the head announced.
    void setTrailer(const QByteArray& bytes) { trailer = bytes; }

    QByteArray read(qint64 max);
    bool atEnd() const;
    // Body bytes read() has handed out so far, without head, chunk framing or
    // trailer.
    qint64 bodyBytesOut() const { return bodyOut; }

private:
    QByteArray pending;
    QByteArray trailer;
    std::unique_ptr<QIODevice> body;
    qint64 bodyLeft = 0;
    qint64 bodyOut = 0;
    // Where the body bytes of a queued chunk lie in `pending`.
    int pendingBodyFrom = 0;
    int pendingBodyTo = 0;
    bool chunked = false;
    bool lastChunkQueued = false;
    int chunkTurn = 0;
};
