#pragma once

#include "cardrecording.h"
#include "cardrequestthread.h"
#include "copyproof.h"
#include "downloadqueue.h"
#include "localarchive.h"
#include "retention.h"
#include "runlock.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
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
    using Reply = CardAnswer;
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
        int missing = 0;   // of them, not checked: counted as missing
        int total = 0;
        int unchecked = 0; // a check stopped before it came to these
    };
    // The copy of a recording proven this moment against the card file, or
    // why there is none.
    struct Proof
    {
        CopyProof::Verdict verdict = CopyProof::Verdict::NoCopy;
        QString copy;
        qint64 sampleFrom = -1; // the bytes compared: from there
        qint64 sampleLength = 0;
    };
    // What freeing the card of what is safe came to.
    struct Freeing
    {
        QVector<CardRecording> freed;      // gone from the card
        QStringList kept;                  // "NAME: why", still on it
        QVector<CardRecording> differing;  // not the file taken for its copy
        bool stopped = false;   // by stopProving(), or a camera that went silent
        bool checked = false;   // a listing afterwards saw the freed ones gone
        qint64 bytes = 0;
    };

    explicit CardEngine(QObject* parent = nullptr);
    ~CardEngine() override;

    void setFolder(const QString& folder);
    QString folder() const { return downloadFolder; }
    // Where new recordings go in the folder.
    void setLayout(LocalArchive::Layout layout);
    // What the folder keeps: a sync leaves on the card what would be removed
    // at once, makes room for each new recording, and keeps the folder
    // within them when it ends (retentionRemoved() for each file).
    void setRetention(const RetentionLimits& limits);
    RetentionLimits retention() const { return limits; }
    // What retention would remove now, oldest first; removes it, if asked.
    QVector<Retention::Held> keepWithinLimits(bool remove);
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

    // Proof before a recording leaves the card: the card file looked at now,
    // its size and bytes against a regular file in the download folder. A
    // copy whose bytes differ is never taken for the recording again.
    Proof prove(const CardRecording& recording);
    // As atRisk() and cardAtRisk(), each recording counted safe only when
    // proven now; provingProgress() tells how far it is.
    AtRisk proveAtRisk(const QStringList& names);
    AtRisk proveCardAtRisk();
    // Deletes from the card each of these recordings that is proven safe
    // this moment and whose delete the camera confirms, then lists the card
    // again to see them gone. Their rows go; those kept are named with why.
    Freeing freeSafe(const QVector<CardRecording>& candidates);
    // A proving or freeing under way stops after the request under way.
    void stopProving();

    // For the length of a card operation: the details pass waits, a download
    // pauses (keeping its bytes). They nest.
    void beginCardOperation();
    void endCardOperation();
    // One request, answered before this returns (the events go on meanwhile).
    Asked ask(const CardRequest& request, Reply* reply);
    Asked ask(const QString& url, int deadlineMs, Reply* reply);
    // The request under way ends at once, as failed.
    void cancelRequest();
    // Deletes one file; its row goes when the camera confirmed it, and it
    // leaves the queue. An error status or a body that says it failed is a
    // refusal: *deleted stays false and *refusal (if given) says why.
    Asked deleteFile(const QString& name, bool* deleted, bool* noAnswer,
                     QString* refusal = nullptr);
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
    // run; they nest. Busy, with who holds them in *why, when another run
    // does; Unwritable, with what is wrong, when the folder cannot be written.
    RunLock::Result holdRun(bool sync, QString* why);
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
    void provingProgress(int done, int total);
    // Retention removed this file (relative to the folder) from it, for this reason.
    void retentionRemoved(const QString& path, const QString& reason);

private:
    struct Row
    {
        CardRecording recording;
        bool detailsKnown = false;
    };
    void setRows(const QVector<QByteArray>& names);
    void removeRow(const QString& name);
    void takeDetails(int row, const QByteArray& reply);
    void answered(int id, const CardAnswer& answer);
    // The card's bytes for a listed name.
    QByteArray cardNameOf(const QString& name) const;
    // Deletes the file on the card: Answered and *confirmed, or refused with
    // *refusal; no row changes.
    Asked deleteOnCard(const QByteArray& bytes, bool* confirmed, bool* silent,
                       QString* refusal);
    // Count, then list: the count's text and the list reply.
    Asked askListing(QByteArray* count, Reply* reply);
    // Count and list, into the names' bytes; no row changes.
    bool listedNow(QSet<QByteArray>* names);
    // Every row's name; and the entries left out, added to a count of the rows.
    QStringList rowNames() const;
    void addLeftOut(AtRisk* risk) const;
    // Local files that the camera's bytes showed to be another recording.
    QSet<QString> ruledOutFor(const CardRecording& recording) const;
    // The journal's line of a recording freed from the card.
    void journalFreed(const CardRecording& recording, const Proof& proof, bool seenGone);
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
    QHash<QByteArray, QSet<QString>> ruledOut; // by card name
    RetentionLimits limits;
    bool provingStopped = false;
    // A child, so that its download threads are in the window's object tree.
    DownloadQueue* queue;
    std::unique_ptr<RunLock> lock;
    int runHolds = 0;
    bool syncQueue = false;
};
