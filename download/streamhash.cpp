#include "streamhash.h"

#include <QFile>

namespace {

// Smaller files are hashed as they come: a thread would cost more.
constexpr qint64 kThreadFrom = 4 * 1024 * 1024;
// How far the hash may fall behind before the writer waits.
constexpr size_t kMostChunks = 64;
constexpr qint64 kReadStep = 1024 * 1024;

} // namespace

StreamHash::StreamHash(qint64 expected) : threaded(expected >= kThreadFrom)
{
    if (threaded)
        worker = std::thread([this] { work(); });
}

StreamHash::~StreamHash()
{
    finish();
}

void StreamHash::startWith(const QString& path, qint64 length)
{
    if (!threaded) {
        hashFile(path, length);
        return;
    }
    const std::lock_guard<std::mutex> lock(mutex);
    keptPath = path;
    keptLength = length;
    changed.notify_all();
}

void StreamHash::add(const QByteArray& bytes)
{
    if (!threaded) {
        hash.add(bytes);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return chunks.size() < kMostChunks; });
    chunks.push_back(bytes);
    changed.notify_all();
}

QByteArray StreamHash::finish()
{
    if (threaded) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            closed = true;
            changed.notify_all();
        }
        if (worker.joinable())
            worker.join();
    }
    threaded = false;
    if (failed)
        return QByteArray();
    return hash.result().toHex();
}

void StreamHash::hashFile(const QString& path, qint64 length)
{
    QFile kept(path);
    if (!kept.open(QIODevice::ReadOnly)) {
        failed = true;
        return;
    }
    while (length > 0) {
        const QByteArray piece = kept.read(std::min(length, kReadStep));
        if (piece.isEmpty()) {
            failed = true;
            return;
        }
        hash.add(piece);
        length -= piece.size();
    }
}

void StreamHash::work()
{
    for (;;) {
        QByteArray next;
        QString path;
        qint64 length = 0;
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [this] {
                return closed || !chunks.empty() || !keptPath.isEmpty();
            });
            if (!keptPath.isEmpty()) {
                // The kept bytes come before any that follow them.
                path = std::exchange(keptPath, QString());
                length = keptLength;
            } else if (!chunks.empty()) {
                next = std::move(chunks.front());
                chunks.pop_front();
                changed.notify_all();
            } else {
                return;
            }
        }
        if (!path.isEmpty())
            hashFile(path, length);
        else
            hash.add(next);
    }
}
