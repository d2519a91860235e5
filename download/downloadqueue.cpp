#include "downloadqueue.h"

#include "cardfilename.h"
#include "downloadfilethread.h"
#include "localarchive.h"
#include "savedcardfile.h"
#include "windowtexts.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocale>
#include <QStorageInfo>

#include <algorithm>
#include <utility>

namespace {

// Files written out at once while the next comes: their syncs to disk share
// the file system's commits.
constexpr int kMostSettling = 4;

QString failureReason(int why, int status)
{
    using download::Outcome;
    switch (static_cast<Outcome>(why)) {
    case Outcome::BadName: return WindowTexts::tr("not a plain card file name");
    case Outcome::NoSocket: return WindowTexts::tr("no network socket");
    case Outcome::ConnectFailed: return WindowTexts::tr("camera not reachable");
    case Outcome::NoReply: return WindowTexts::tr("no reply from the camera");
    case Outcome::HeaderTooLarge: return WindowTexts::tr("reply header too large");
    case Outcome::BadStatus: return WindowTexts::tr("the camera answered %1").arg(status);
    case Outcome::Unsupported: return WindowTexts::tr("unsupported reply");
    case Outcome::NoDetails: return WindowTexts::tr("the camera did not answer");
    case Outcome::SizeUnknown:
        return WindowTexts::tr("no length to tell a whole file from a part of one");
    case Outcome::Incomplete: return WindowTexts::tr("transfer cut short");
    case Outcome::TimedOut: return WindowTexts::tr("the camera stopped sending");
    case Outcome::OpenFailed: return WindowTexts::tr("cannot create the local file");
    case Outcome::WriteFailed: return WindowTexts::tr("cannot write to disk (disk full?)");
    case Outcome::Stopped: return WindowTexts::tr("stopped");
    case Outcome::Done: break;
    }
    return QString();
}

bool isPlain(const CardRecording& file)
{
    const QByteArray bytes = file.bytes();
    return (!file.cardName.isEmpty() || QString::fromLatin1(bytes) == file.name)
           && merro::isPlainCardFileName(bytes.toStdString());
}

} // namespace

DownloadQueue::DownloadQueue(QObject* parent) : QObject(parent)
{
    retryTimer.setSingleShot(true);
    connect(&retryTimer, &QTimer::timeout, this, &DownloadQueue::startCurrent);
}

DownloadQueue::~DownloadQueue()
{
    if (thread)
        thread->stop();
    retryTimer.stop();
}

bool DownloadQueue::start(const QVector<CardRecording>& queued, bool skipSafe, QString* refusal)
{
    if (running || queued.isEmpty())
        return false;
    qint64 needed = 0;
    qint64 most = 0;
    QString largest;
    const LocalArchive archive(downloadFolder);
    for (const CardRecording& file : queued) {
        // A size not known yet counts as nothing: the check is for what is known.
        if (file.size <= 0 || !isPlain(file)
            || (skipSafe && !archive.copyOf(file, notCopies.value(file.bytes())).isEmpty()))
            continue;
        const qint64 need = file.size - SavedCardFile(archive, file).resumable();
        needed += need;
        if (need > most) {
            most = need;
            largest = file.name;
        }
    }
    // A volume that tells nothing about its space is not held against the queue.
    const qint64 free = freeSpace(downloadFolder);
    if (free >= 0 && needed > free) {
        const QLocale locale;
        *refusal = WindowTexts::tr("Not enough free space in DCIM/: %1 needed, %2 free.")
                       .arg(locale.formattedDataSize(needed), locale.formattedDataSize(free))
                   + QLatin1Char(' ')
                   + WindowTexts::tr("%1 alone needs %2.")
                         .arg(largest, locale.formattedDataSize(most));
        return false;
    }
    files = queued;
    skipWhenSafe = skipSafe;
    next = 0;
    arrivedCount = 0;
    safeCount = 0;
    retiredCount = 0;
    tooOldCount = 0;
    holds = 0;
    cancelling = false;
    running = true;
    pendingEnd = nullptr;
    failed.clear();
    silentCamera.clear();
    startNext();
    return true;
}

void DownloadQueue::startNext()
{
    for (;;) {
        ++next;
        retries = 0;
        const CardRecording& file = files.at(next - 1);
        // One retention would remove at once is left on the card.
        if (!skipWhenSafe || !beforeFile || file.size < 0 || !file.created.isValid()
            || beforeFile(file))
            break;
        Try run;
        run.index = next - 1;
        run.name = file.name;
        run.skipped = DownloadFileThread::TooOld;
        fileDone(run);
        if (next >= files.size()) {
            advance();
            return;
        }
    }
    startCurrent();
}

void DownloadQueue::startCurrent()
{
    const CardRecording file = files.value(next - 1);
    emit fileStarted(file.name);
    auto* worker = new DownloadFileThread(this);
    worker->fileName = file.name;
    worker->cardName = file.cardName;
    worker->createdAt = file.created;
    worker->createdText = file.createdText;
    worker->listedSize = file.size;
    worker->folder = downloadFolder;
    worker->layout = layout;
    worker->notBefore = skipWhenSafe ? notBefore : QDateTime();
    worker->detailsDeadlineMs = detailsDeadlineMs;
    worker->skipWhenSafe = skipWhenSafe;
    worker->notCopies = notCopies.value(file.bytes());
    Try run;
    run.index = next - 1;
    run.name = file.name;
    tries.insert(worker, run);
    connect(worker, &DownloadFileThread::updateDownloadFileProgress, this,
            &DownloadQueue::fileProgress);
    connect(worker, &DownloadFileThread::detailsFetched, this,
            [this, worker](const QString& name, const QByteArray& reply) {
        const CardRecording told = recordingFromInfo(name, reply.constData());
        const int index = tries.value(worker).index;
        if (index < files.size() && files.at(index).name == name) {
            CardRecording& queued = files[index];
            queued.size = queued.size < 0 ? told.size : queued.size;
            if (!queued.created.isValid() && queued.createdText.isEmpty()) {
                queued.created = told.created;
                queued.createdText = told.createdText;
            }
        }
        emit detailsFetched(name, reply);
    });
    connect(worker, &DownloadFileThread::fileSaved, this,
            [this, worker](const QString&, const QString& path) { tries[worker].savedAt = path; });
    connect(worker, &DownloadFileThread::alreadySafe, this,
            [this, worker](const QString&, const QString& path) {
        tries[worker].savedAt = path;
        tries[worker].safe = true;
    });
    connect(worker, &DownloadFileThread::downloadFileFailed, this,
            [this, worker](int why, int status, bool inBody) {
        threadFailed(worker, why, status, inBody);
    });
    connect(worker, &DownloadFileThread::skipped, this, [this, worker](const QString&, int why) {
        tries[worker].skipped = why;
    });
    connect(worker, &DownloadFileThread::journalFailed, this, [this](const QString& path) {
        emit archiveProblem(WindowTexts::tr("%1 arrived, but the download journal could not be"
                                            " written.").arg(QDir::toNativeSeparators(path)));
    });
    connect(worker, &DownloadFileThread::linkLeftAlone, this, [this](const QString& path) {
        // Once: it stays there, and would be told for every file otherwise.
        if (!linksTold.contains(path)) {
            linksTold.insert(path);
            emit message(WindowTexts::tr("%1 is a link: it was left alone.")
                             .arg(QDir::toNativeSeparators(path)),
                         false);
        }
    });
    connect(worker, &DownloadFileThread::bodyReceived, this,
            [this, worker] { bodyReceived(worker); });
    connect(worker, &DownloadFileThread::downloadFileFinished, this,
            [this, worker] { threadFinished(worker); });
    // Gone once done: a long queue must not pile up finished threads.
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    thread = worker;
    worker->start(QThread::InheritPriority);
}

void DownloadQueue::bodyReceived(DownloadFileThread* worker)
{
    if (worker != thread || settling.size() >= kMostSettling || pausing || cancelling
        || holds > 0 || next >= files.size())
        return;
    // The camera is done with this file: the next one starts while this one
    // is written out and named.
    settling << worker;
    thread = nullptr;
    startNext();
}

void DownloadQueue::threadFailed(DownloadFileThread* worker, int why, int status, bool inBody)
{
    Try& run = tries[worker];
    run.failed = true;
    const auto outcome = static_cast<download::Outcome>(why);
    // A paused transfer is tried again when the camera is free.
    if (worker == thread && (cancelling || pausing))
        return;
    if (worker == thread && inBody && download::worthRetrying(outcome) && retries < kRetries) {
        // What arrived is kept; the next try asks for the rest.
        run.retry = true;
        const QString text =
            outcome == download::Outcome::TimedOut
                ? WindowTexts::tr("The camera stopped sending; retrying (%1 of %2)")
                : WindowTexts::tr("Connection lost; retrying (%1 of %2)");
        emit message(text.arg(retries + 1).arg(kRetries), false);
        return;
    }
    run.note = failureReason(why, status);
    failed.append(QStringLiteral("%1 (%2)").arg(run.name, run.note));
    emit message(WindowTexts::tr("%1 not downloaded: %2").arg(run.name, run.note), true);
    // One wait for a camera that does not answer, not one a file: the rest
    // of the queue is not asked for.
    if (outcome == download::Outcome::NoDetails && worker == thread)
        silentCamera = run.note;
}

void DownloadQueue::threadFinished(DownloadFileThread* worker)
{
    const Try run = tries.take(worker);
    if (settling.removeOne(worker)) {
        fileDone(run);
        if (settling.isEmpty() && pendingEnd)
            std::exchange(pendingEnd, nullptr)();
        return;
    }
    if (worker != thread)
        return;
    thread = nullptr;
    if (pausing) {
        // It may have ended whole just as it was asked to stop.
        currentDone = !run.failed;
        if (currentDone)
            fileDone(run);
        pausing = false;
        if (pauseWait)
            pauseWait->quit();
        return;
    }
    if (cancelling) {
        endWhenSettled([this] { finish(cancelledSummary()); });
        return;
    }
    if (run.retry) {
        // 1, 2, then 4 s: a camera that drops a connection often needs a moment.
        retryTimer.start(1000 << retries++);
        return;
    }
    fileDone(run);
    advance();
}

void DownloadQueue::fileDone(const Try& run)
{
    FileResult result = run.failed ? FileResult::Failed
                        : run.safe ? FileResult::AlreadySafe
                                   : FileResult::Arrived;
    if (run.skipped >= 0)
        result = run.skipped == DownloadFileThread::Retired ? FileResult::Retired
                                                            : FileResult::TooOld;
    arrivedCount += result == FileResult::Arrived ? 1 : 0;
    safeCount += result == FileResult::AlreadySafe ? 1 : 0;
    retiredCount += result == FileResult::Retired ? 1 : 0;
    tooOldCount += result == FileResult::TooOld ? 1 : 0;
    emit fileEnded(run.name, result, run.failed ? run.note : run.savedAt);
}

void DownloadQueue::advance()
{
    if (next < files.size() && silentCamera.isEmpty()) {
        startNext();
        return;
    }
    while (next < files.size()) {
        Try run;
        run.index = next++;
        run.name = files.at(run.index).name;
        run.failed = true;
        run.note = silentCamera;
        failed.append(QStringLiteral("%1 (%2)").arg(run.name, run.note));
        fileDone(run);
    }
    endWhenSettled([this] {
        const int skipped = retiredCount + tooOldCount;
        QString summary = WindowTexts::tr("%1 of %2 files downloaded").arg(arrivedCount)
                              .arg(files.size() - safeCount - skipped);
        if (safeCount > 0)
            summary = WindowTexts::tr("%1, %2 already in DCIM/").arg(summary).arg(safeCount);
        if (skipped > 0)
            summary = WindowTexts::tr("%1, %2 left on the card for retention").arg(summary)
                          .arg(skipped);
        if (!failed.isEmpty())
            summary = WindowTexts::tr("%1; not downloaded: %2")
                          .arg(summary, failed.join(QStringLiteral(", ")));
        finish(summary);
    });
}

QString DownloadQueue::cancelledSummary() const
{
    return WindowTexts::tr("Cancelled: %1 of %2 files downloaded.")
        .arg(arrivedCount).arg(files.size());
}

void DownloadQueue::endWhenSettled(std::function<void()> end)
{
    // The files still being written out count in the summary.
    if (!settling.isEmpty())
        pendingEnd = std::move(end);
    else
        end();
}

void DownloadQueue::finish(const QString& summary)
{
    retryTimer.stop();
    running = false;
    cancelling = false;
    holds = 0;
    emit ended(summary, !failed.isEmpty());
}
