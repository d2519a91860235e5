#pragma once

#include "cardrecording.h"
#include "downloadqueue.h"
#include "runlock.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QVector>

#include <memory>

class CardRequestThread;
class DetailsPass;
class QEventLoop;

// The card and its downloads, with or without a window: the listing and the
// details of each file, the download queue, what is safe in the download
// folder, and the rules of what may be deleted. The camera gets one request
// at a time: a card operation waits for the details request under way and
// pauses a running download for its length. The window shows what this
// holds; a sync without a window drives it the same way.
class CardEngine : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxFiles = 9999;

    // How a request to the camera ended; Aborted: the application is quitting.
    enum class Asked { Answered, Failed, Aborted };
    struct Reply
    {
        QByteArray body;
        int status = 0;
        int failure = 0; // an HttpFailure
    };
    // The listing's outcome: problems say what is missing from it.
    struct Listing
    {
        Asked asked = Asked::Failed;
        bool counted = false;   // the count reply held a count
        bool incomplete = false;    // an error page, fewer entries than counted, a cut list
        QStringList problems;
    };
    // Of some recordings (or the whole card): how many are not safe in the
    // folder yet, or that nobody can tell.
    struct AtRisk
    {
        bool known = false;
        int missing = 0;
        int total = 0;
    };

    explicit CardEngine(QObject* parent = nullptr);
    ~CardEngine() override;

    void setFolder(const QString& folder);
    QString folder() const { return downloadFolder; }
    void setDeadlines(int requestMs, int maintenanceMs);
    DownloadQueue* downloads() { return queue; }

    // Link state. Every new link (the first, or one after a loss) may be to
    // another card: the rows are no listing of it until the next one. A
    // loss ends a sync's downloads as a cancel does.
    void linkChanged(bool up);
    bool isLinked() const { return linked; }

    // The card as last listed.
    int rowCount() const { return rows.size(); }
    CardRecording recording(int row) const { return rows.value(row).recording; }
    int rowOf(const QString& name) const { return index.value(name, -1); }
    bool listedSinceLink() const { return rowsCurrent; }
    bool listedWhole() const { return rowsCurrent && whole; }
    int leftOut() const { return leftOutEntries; }

    // Count and list; the rows are replaced when the list arrived. The
    // details pass starts afterwards if asked for.
    Listing list(bool withDetails);
    bool isReadingDetails() const;
    // Rows the operator sees: their details are asked for first.
    void preferDetails(int firstRow, int lastRow);
    // The pass asks for nothing more.
    void endDetails();

    // The local file that holds this very recording, read from the disk now.
    QString copyOf(const CardRecording& recording) const;
    AtRisk atRisk(const QStringList& names) const;
    AtRisk cardAtRisk() const;

    // For the length of a card operation: the details pass waits, a download
    // pauses (keeping its bytes). They nest.
    void beginCardOperation();
    void endCardOperation();
    // One request, answered before this returns (the events go on meanwhile).
    Asked ask(const QString& url, int deadlineMs, Reply* reply);
    // The request under way ends at once, as failed.
    void cancelRequest();
    // Deletes one file; its row goes on success, and it leaves the queue.
    Asked deleteFile(const QString& name, bool* deleted, bool* noAnswer);
    // Delete all or format: a running queue ends first with stopSummary
    // (arrived, queued); the rows go when the camera answered.
    Asked changeWholeCard(const QString& url, const QString& stopSummary, bool* confirmed);

    // Downloads these files, holding the download folder and the camera
    // against other runs. A sync skips what the folder holds already.
    // Refused (the space, an empty queue) or Busy (another run holds the
    // folder or the camera), with the reason in *why.
    enum class Start { Started, Refused, Busy, NothingNew };
    Start download(const QVector<CardRecording>& files, bool sync, QString* why);
    // Downloads the new recordings, oldest first (a camera recording in a
    // loop overwrites its oldest first): the details of the names that no
    // local file can be a copy of are asked for first, then the queue of
    // every recording not safe in the folder starts. syncStarted() says how.
    void startSync();
    bool isStartingSync() const;
    // The download folder (and for a sync, the camera) held against other
    // runs (a sync without a window, another window's downloads) for a whole
    // run; they nest. False, with who holds them in *holder, when another
    // run does.
    bool holdRun(bool sync, QString* holder);
    void releaseRun();
    // A sync: every listed recording not safe in the folder, oldest first.
    QVector<CardRecording> newRecordings() const;
    // The rows safe in the folder now (reading the disk), never one whose
    // details are unknown, none unless the listing was whole; with the bytes
    // they free and how many rows stay.
    QVector<CardRecording> safeToDelete(qint64* bytes, int* staying) const;

signals:
    void rowsListed();
    void detailsArrived(int row, const QByteArray& reply);
    void detailsProgress(int done, int total);
    void detailsEnded(const QStringList& problems);
    void syncStarted(CardEngine::Start result, const QString& why);

private:
    struct Row
    {
        CardRecording recording;
        bool detailsKnown = false;
    };
    void setRows(const QStringList& names);
    void removeRow(const QString& name);
    void takeDetails(int row, const QByteArray& reply);
    void answered(int id, const QByteArray& body, bool ok, int status, int failure);
    // A camera that did not answer one request will not answer the next soon.
    static bool noAnswer(int failure);
    CardRequestThread* requests();
    void launchSync();
    // Names without details of which no file in the folder can be a copy.
    QStringList namesSurelyNew() const;

    QString downloadFolder = QStringLiteral("DCIM/");
    int requestDeadlineMs;
    int maintenanceDeadlineMs;
    bool linked = false;
    QVector<Row> rows;
    QHash<QString, int> index;
    bool rowsCurrent = false;
    bool whole = false;
    int leftOutEntries = 0;

    CardRequestThread* requestThread = nullptr;
    int lastId = 0;
    int waitingFor = 0; // a blocking request's id
    Reply waitingReply;
    bool waitingAnswered = false;
    bool waitingOk = false;
    QEventLoop* waitLoop = nullptr;

    DetailsPass* details;
    // A child, so that its download threads are in the window's object tree.
    DownloadQueue* queue;
    std::unique_ptr<RunLock> lock;
    int runHolds = 0;
    bool syncQueue = false;
};
