#include "replystream.h"

#include <QBuffer>
#include <QFile>

#include <algorithm>

namespace {

// Small and odd sizes first, so a client's chunk reassembly is exercised even
// on short CGI replies; one size line carries an extension.
constexpr qint64 kChunkSizes[] = {1, 7, 64, 1000, 4096};

} // namespace

ReplyStream::ReplyStream(const QByteArray& head, const QByteArray& bodyBytes)
    : pending(head)
{
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(bodyBytes);
    buffer->open(QIODevice::ReadOnly);
    bodyLeft = bodyBytes.size();
    body = std::move(buffer);
}

ReplyStream::ReplyStream(const QByteArray& head, const QString& filePath, qint64 offset,
                         qint64 size)
    : pending(head)
{
    auto file = std::make_unique<QFile>(filePath);
    if (file->open(QIODevice::ReadOnly) && file->seek(offset))
        bodyLeft = size;
    body = std::move(file);
}

void ReplyStream::setBodyLimit(qint64 bytes)
{
    bodyLeft = std::min(bodyLeft, bytes);
}

bool ReplyStream::atEnd() const
{
    return pending.isEmpty() && bodyLeft == 0 && (!chunked || lastChunkQueued)
           && trailer.isEmpty();
}

QByteArray ReplyStream::read(qint64 max)
{
    QByteArray out;
    while (out.size() < max) {
        const qint64 room = max - out.size();
        if (!pending.isEmpty()) {
            const int take = static_cast<int>(std::min<qint64>(pending.size(), room));
            out += pending.left(take);
            pending.remove(0, take);
            bodyOut += std::max(0, std::min(take, pendingBodyTo) - pendingBodyFrom);
            pendingBodyFrom = std::max(0, pendingBodyFrom - take);
            pendingBodyTo = std::max(0, pendingBodyTo - take);
            continue;
        }
        if (bodyLeft > 0) {
            const qint64 want = chunked ? std::min(bodyLeft, kChunkSizes[chunkTurn++ % 5])
                                        : std::min(bodyLeft, room);
            const QByteArray data = body->read(want);
            if (data.isEmpty()) {
                bodyLeft = 0; // the file shrank under us: end the body here
                continue;
            }
            bodyLeft -= data.size();
            if (!chunked) {
                out += data;
                bodyOut += data.size();
                continue;
            }
            pending = QByteArray::number(data.size(), 16);
            if (data.size() == 64)
                pending += ";part=x";
            pending += "\r\n";
            pendingBodyFrom = pending.size();
            pendingBodyTo = pendingBodyFrom + data.size();
            pending += data + "\r\n";
            continue;
        }
        if (chunked && !lastChunkQueued) {
            pending = "0\r\n\r\n";
            lastChunkQueued = true;
            continue;
        }
        if (!trailer.isEmpty()) {
            pending.swap(trailer);
            continue;
        }
        break;
    }
    return out;
}
