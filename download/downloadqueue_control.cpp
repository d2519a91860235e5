// What the operator, and the card operations, do to a queue under way:
// cancel it, pause it while the camera is needed, drop a deleted file, end it
// for a format; and the free space a queue needs.
#include "downloadqueue.h"

#include "downloadfilethread.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTimer>

namespace {

// After a transfer was stopped for something else: a camera that serves one
// connection at a time needs a moment to see it close before the next.
constexpr int kCameraSettleMs = 100;

} // namespace

void DownloadQueue::cancel()
{
    if (!running || cancelling)
        return;
    cancelling = true;
    // The transfer stops at its next look, keeps what it received, and its
    // end ends the queue; between two tries, or paused, it ends now.
    if (thread) {
        thread->stop();
        return;
    }
    retryTimer.stop();
    endWhenSettled([this] { finish(cancelledSummary()); });
}

void DownloadQueue::pause()
{
    if (!running || holds++ > 0)
        return;
    currentDone = false;
    // Between two tries nothing is being sent.
    retryTimer.stop();
    if (!thread)
        return;
    const QPointer<DownloadQueue> self(this);
    QEventLoop loop;
    pausing = true;
    pauseWait = &loop;
    thread->stop();
    loop.exec();
    if (!self)
        return;
    pauseWait = nullptr;
    QTimer::singleShot(kCameraSettleMs, &loop, &QEventLoop::quit);
    loop.exec();
}

void DownloadQueue::resume()
{
    if (holds == 0 || --holds > 0 || !running)
        return;
    if (cancelling) {
        endWhenSettled([this] { finish(cancelledSummary()); });
        return;
    }
    if (currentDone)
        advance();
    else
        startCurrent();
}

void DownloadQueue::drop(const QString& name)
{
    if (!running)
        return;
    // The file under way counts only while it has not arrived.
    const int first = currentDone || thread ? next : std::max(next - 1, 0);
    for (int i = files.size() - 1; i >= first; --i) {
        if (files.at(i).name != name)
            continue;
        files.remove(i);
        // The file under way: the queue goes on with the next.
        if (i == next - 1) {
            --next;
            currentDone = true;
        }
    }
}

void DownloadQueue::ruleOut(const QByteArray& cardName, const QString& path)
{
    notCopies[cardName].insert(path);
}

void DownloadQueue::stop(const QString& summary)
{
    if (!running)
        return;
    const QPointer<DownloadQueue> self(this);
    pause();
    if (!self || !running)
        return;
    // What is being written out is over in a moment: the summary counts it.
    while (!settling.isEmpty()) {
        QEventLoop loop;
        connect(this, &DownloadQueue::fileEnded, &loop, &QEventLoop::quit);
        loop.exec();
        if (!self || !running)
            return;
    }
    finish(summary.arg(arrivedCount).arg(files.size()));
}

qint64 DownloadQueue::freeSpace(const QString& folder)
{
    // The folder may not be there yet: the volume it will be on.
    const QString existing = existingFolderOf(folder);
    return existing.isEmpty() ? -1 : QStorageInfo(existing).bytesAvailable();
}

QString DownloadQueue::existingFolderOf(const QString& folder)
{
    QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    while (!QFileInfo(path).isDir()) {
        // A file in the way: the folder can never be made.
        if (QFileInfo(path).exists())
            return QString();
        const QString parent = QFileInfo(path).path();
        if (parent == path)
            return QString();
        path = parent;
    }
    return path;
}
