#pragma once

#include "cardrecording.h"
#include "localarchive.h"

#include <QHash>
#include <QSet>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <functional>

class DownloadFileThread;
class QEventLoop;

// Card files fetched one after another, one download thread at a time, with
// retries of a broken body, a cancel, and a pause while something else needs
// the camera. It keeps the names, times and sizes it was started with, so
// that what happens to the card meanwhile cannot misdirect it. No widgets:
// the window and a sync without one both drive it.
class DownloadQueue : public QObject
{
    Q_OBJECT

public:
    // How one file of the queue ended.
    enum class FileResult { Arrived, AlreadySafe, Failed, Retired, TooOld };

    static constexpr int kRetries = 3;

    explicit DownloadQueue(QObject* parent = nullptr);
    ~DownloadQueue() override;

    void setFolder(const QString& folder) { downloadFolder = folder; }
    void setLayout(LocalArchive::Layout chosen) { layout = chosen; }
    // A sync fetches nothing older than this (invalid: no limit).
    void setNotBefore(const QDateTime& limit) { notBefore = limit; }
    // Asked before each file of a sync whose size and time are known: false
    // when it would be removed at once (there is no room for it without
    // removing newer ones); it may make room first.
    void setBeforeFile(std::function<bool(const CardRecording&)> ask) { beforeFile = ask; }
    void setDetailsDeadline(int ms) { detailsDeadlineMs = ms; }

    // Starts the files in this order. Refused, with the reason in *refusal,
    // when what is known of their sizes does not fit the folder's volume.
    // skipWhenSafe: a file the folder holds already is not fetched (a sync).
    bool start(const QVector<CardRecording>& files, bool skipWhenSafe, QString* refusal);
    bool isRunning() const { return running; }
    // The file under way: its 1-based number, and the queue's length.
    int position() const { return next; }
    int count() const { return files.size(); }
    int arrived() const { return arrivedCount; }
    int alreadySafe() const { return safeCount; }
    // Not fetched: retention removed them earlier, or would at once.
    int retired() const { return retiredCount; }
    int tooOld() const { return tooOldCount; }
    QStringList failures() const { return failed; }

    // The transfer stops at its next look and keeps what it received.
    void cancel();
    // Until resume(), nothing is sent to the camera: a transfer under way
    // stops (keeping its bytes) and this returns once it has. They nest.
    void pause();
    void resume();
    // A file deleted from the card leaves the queue.
    void drop(const QString& name);
    // The local file is another recording than the card file of that name
    // (their bytes differ): never taken for its copy.
    void ruleOut(const QByteArray& cardName, const QString& path);
    // Ends the queue now, paused or not; `summary` gets (arrived, count).
    void stop(const QString& summary);

    // Free bytes on the volume the folder is (or will be) on; -1 if unknown.
    static qint64 freeSpace(const QString& folder);
    // The folder itself, or the nearest one above it that exists; empty when
    // it can never be made (a file stands in its place).
    static QString existingFolderOf(const QString& folder);

signals:
    void fileStarted(const QString& name);
    void fileProgress(qint64 bytesRead, qint64 totalBytes);
    // `where`: the local file (arrived, already safe) or the reason (failed).
    void fileEnded(const QString& name, DownloadQueue::FileResult result, const QString& where);
    // The camera's info reply for a file whose details were not known.
    void detailsFetched(const QString& name, const QByteArray& reply);
    // For the status line; a failure stays until the operator acts.
    void message(const QString& text, bool failure);
    // Something the archive could not keep: a recording arrived, but its
    // journal line could not be written.
    void archiveProblem(const QString& text);
    void ended(const QString& summary, bool failures);

private:
    // One file's try, from its thread's start to its end.
    struct Try
    {
        int index = 0;
        QString name;
        bool failed = false;
        bool retry = false; // ... and is tried again after a pause
        bool safe = false;  // the folder held it already
        int skipped = -1;   // a DownloadFileThread::Skip
        QString savedAt;
        QString note; // why it failed
    };
    void startNext();
    void startCurrent();
    void threadFailed(DownloadFileThread* worker, int why, int status, bool inBody);
    void threadFinished(DownloadFileThread* worker);
    void bodyReceived(DownloadFileThread* worker);
    void fileDone(const Try& run);
    void advance();
    QString cancelledSummary() const;
    // Runs `end` now, or once the file being written out is done.
    void endWhenSettled(std::function<void()> end);
    void finish(const QString& summary);

    QString downloadFolder = QStringLiteral("DCIM/");
    LocalArchive::Layout layout = LocalArchive::Layout::Flat;
    QDateTime notBefore;
    std::function<bool(const CardRecording&)> beforeFile;
    int retiredCount = 0;
    int tooOldCount = 0;
    int detailsDeadlineMs = 10000;
    QVector<CardRecording> files;
    int next = 0;
    int arrivedCount = 0;
    int safeCount = 0;
    int retries = 0;
    bool skipWhenSafe = false;
    bool running = false;
    bool cancelling = false;
    int holds = 0;
    bool pausing = false;     // until the stopped transfer has ended
    bool currentDone = false; // the paused file arrived, or left the queue
    QEventLoop* pauseWait = nullptr;
    QStringList failed;
    QString silentCamera; // why the rest is not asked for: the camera went silent
    QHash<QByteArray, QSet<QString>> notCopies;
    QSet<QString> linksTold;
    // The try whose transfer runs, and those before it still making their
    // local files (the camera is free for the next meanwhile; their syncs to
    // disk go on together).
    QPointer<DownloadFileThread> thread;
    QList<QPointer<DownloadFileThread>> settling;
    QHash<DownloadFileThread*, Try> tries;
    std::function<void()> pendingEnd;
    QTimer retryTimer;
};
