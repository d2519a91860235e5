// The card engine: the link, the requests to the camera one at a time, the
// listing and the card's maintenance (details pass and safety rules have files
// of their own).
#include "cardengine.h"

#include "cardendpoints.h"
#include "cardfilename.h"
#include "cardreplies.h"
#include "cardrequestthread.h"
#include "detailspass.h"
#include "deviceaddresses.h"
#include "httpclient.h"
#include "windowtexts.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

QString cameraName()
{
    const merro::Endpoint& camera = merro::deviceAddresses().camera;
    return QStringLiteral("%1:%2").arg(QString::fromStdString(camera.host)).arg(camera.port);
}

} // namespace

bool CardEngine::noAnswer(int failure)
{
    const auto why = static_cast<HttpFailure>(failure);
    return why == HttpFailure::NoConnection || why == HttpFailure::TimedOut
           || why == HttpFailure::Cancelled;
}


CardEngine::CardEngine(QObject* parent)
    : QObject(parent)
    , requestDeadlineMs(CardEndpoints::kRequestDeadlineMs)
    , maintenanceDeadlineMs(CardEndpoints::kMaintenanceDeadlineMs)
    , queue(new DownloadQueue(this))
    , lock(std::make_unique<RunLock>(downloadFolder, cameraName()))
{
    DetailsPass::Owner owner;
    owner.wants = [this](const QString& name) {
        const int row = rowOf(name);
        return row >= 0 && !rows.at(row).detailsKnown;
    };
    owner.nameAt = [this](int row) {
        return row < rows.size() ? rows.at(row).recording.name : QString();
    };
    owner.ask = [this](const QString& name) {
        const int id = ++lastId;
        CardRequest request;
        request.url = CardEndpoints::url(CardEndpoints::kGetFileInfo, cardNameOf(name));
        request.deadlineMs = requestDeadlineMs;
        requests()->ask(id, request);
        return id;
    };
    owner.take = [this](const QString& name, const QByteArray& reply) {
        // By name: a delete meanwhile may have moved the row.
        const int row = rowOf(name);
        if (row >= 0)
            takeDetails(row, reply);
    };
    details = new DetailsPass(std::move(owner), this);
    connect(details, &DetailsPass::progress, this, &CardEngine::detailsProgress);
    connect(details, &DetailsPass::ended, this, &CardEngine::detailsEnded);
    connect(details, &DetailsPass::firstReady, this, &CardEngine::launchSync);
    connect(details, &DetailsPass::firstAbandoned, this,
            [this] { emit syncStarted(Start::Refused, QString()); });

    queue->setDetailsDeadline(requestDeadlineMs);
    connect(queue, &DownloadQueue::detailsFetched, this,
            [this](const QString& name, const QByteArray& reply) {
        const int row = rowOf(name);
        if (row >= 0 && !rows.at(row).detailsKnown)
            takeDetails(row, reply);
        // The details pass need not ask again.
        details->fetchedElsewhere(name);
    });
    connect(queue, &DownloadQueue::ended, this, [this] {
        // A sync ends with the folder within its limits.
        if (syncQueue)
            keepWithinLimits(true);
        syncQueue = false;
        releaseRun();
        details->release();
    });
}

CardEngine::~CardEngine()
{
    if (requestThread)
        requestThread->stop();
}

void CardEngine::setFolder(const QString& folder)
{
    if (runHolds > 0)
        return;
    downloadFolder = folder;
    queue->setFolder(folder);
    lock = std::make_unique<RunLock>(folder, cameraName());
}

void CardEngine::setDeadlines(int requestMs, int maintenanceMs)
{
    requestDeadlineMs = requestMs;
    maintenanceDeadlineMs = maintenanceMs;
    queue->setDetailsDeadline(requestMs);
}

void CardEngine::linkChanged(bool up)
{
    if (up && !linked)
        rowsCurrent = whole = false;
    if (!up && linked && syncQueue)
        queue->cancel();
    // A sync still waiting for its details must not start unlinked.
    if (!up)
        details->abandonWaiting();
    linked = up;
}

CardRequestThread* CardEngine::requests()
{
    if (!requestThread) {
        requestThread = new CardRequestThread(this);
        connect(requestThread, &CardRequestThread::answered, this, &CardEngine::answered);
        requestThread->start();
    }
    return requestThread;
}

CardEngine::Asked CardEngine::ask(const QString& url, int deadlineMs, Reply* reply)
{
    CardRequest request;
    request.url = url.toUtf8();
    request.deadlineMs = deadlineMs;
    return ask(request, reply);
}

CardEngine::Asked CardEngine::ask(const CardRequest& request, Reply* reply)
{
    const QPointer<CardEngine> self(this);
    CardRequestThread* thread = requests();
    QEventLoop loop;
    waitingFor = ++lastId;
    waitingAnswered = false;
    waitLoop = &loop;
    thread->ask(waitingFor, request);
    loop.exec();
    if (!self)
        return Asked::Aborted;
    const bool aborted = !waitingAnswered;
    if (aborted) {
        // The loop was ended from outside (the application is quitting, and
        // no new loop would run): the request ends now, and is over before
        // anything else is asked.
        thread->cancelCurrent();
        while (self && !waitingAnswered) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(5);
        }
        if (!self)
            return Asked::Aborted;
    }
    waitLoop = nullptr;
    waitingFor = 0;
    *reply = waitingReply;
    return aborted ? Asked::Aborted : waitingOk ? Asked::Answered : Asked::Failed;
}

void CardEngine::answered(int id, const CardAnswer& answer)
{
    if (id == waitingFor && waitingFor != 0) {
        waitingReply = answer;
        waitingOk = answer.ok;
        waitingAnswered = true;
        if (waitLoop)
            waitLoop->quit();
        return;
    }
    details->answered(id, answer.body, answer.ok, answer.status,
                      !answer.ok && noAnswer(answer.failure));
}

QByteArray CardEngine::cardNameOf(const QString& name) const
{
    const int row = rowOf(name);
    return row >= 0 ? rows.at(row).recording.bytes() : name.toLatin1();
}

bool CardEngine::isReadingDetails() const
{
    return details->isRunning();
}

bool CardEngine::isStartingSync() const
{
    return details->isWaiting();
}

void CardEngine::preferDetails(int firstRow, int lastRow)
{
    details->prefer(firstRow, lastRow);
}

void CardEngine::endDetails()
{
    details->end();
}

void CardEngine::takeDetails(int row, const QByteArray& reply)
{
    Row& entry = rows[row];
    const CardRecording told = recordingFromInfo(entry.recording.name, reply.constData());
    entry.recording.size = told.size;
    entry.recording.created = told.created;
    entry.recording.createdText = told.createdText;
    entry.detailsKnown = told.size >= 0;
    emit detailsArrived(row, reply);
}

CardEngine::Asked CardEngine::askListing(QByteArray* count, Reply* reply)
{
    Asked asked = ask(CardEndpoints::url(CardEndpoints::kGetFileCount), requestDeadlineMs, reply);
    char countText[16] = "";
    if (asked == Asked::Answered) {
        CardReplies::cutFileCount(reply->body.constData(), countText, sizeof countText);
        asked = ask(CardEndpoints::url(CardEndpoints::kGetFileList) + QLatin1String(countText),
                    requestDeadlineMs, reply);
    }
    *count = countText;
    return asked;
}

CardEngine::Listing CardEngine::list(bool withDetails)
{
    Listing listing;
    // A new listing replaces the one whose details are still coming.
    endDetails();
    Reply reply;
    QByteArray countText;
    listing.asked = askListing(&countText, &reply);
    if (listing.asked != Asked::Answered) {
        if (listing.asked == Asked::Failed)
            rowsCurrent = whole = false;
        return listing;
    }
    // An error page is read like any reply, but what it yields is no list.
    const bool errorPage = reply.status != 200;
    std::unique_ptr<char[][CardReplies::kValueSize]> names(
        new char[kMaxFiles][CardReplies::kValueSize]);
    const CardReplies::FileList cut =
        CardReplies::cutFileList(reply.body.toStdString(), names.get(), kMaxFiles);
    const long long count = countText.toLongLong();
    const int listed = cut.rows + cut.leftOut;
    listing.counted = !countText.isEmpty();
    listing.incomplete = errorPage || (listing.counted && listed < count) || cut.cut;
    if (errorPage) {
        listing.problems << WindowTexts::tr("Could not read the card's file list.");
    } else {
        if (cut.leftOut > 0)
            listing.problems << WindowTexts::tr("%1 entries of the card's list were left out:"
                                                " unsafe names or more than %2 files.")
                                    .arg(cut.leftOut).arg(kMaxFiles);
        // A list that ends early must never pass for the whole card.
        if (listing.counted && listed < count)
            listing.problems << WindowTexts::tr("The camera counts %1 files but listed %2.")
                                    .arg(count).arg(listed);
        else if (cut.cut)
            listing.problems << WindowTexts::tr("The card's file list was cut off after %1"
                                                " files.").arg(listed);
    }
    QVector<QByteArray> listedNames;
    listedNames.reserve(cut.rows);
    for (int row = 0; row < cut.rows; ++row)
        listedNames << QByteArray(names[row]);
    setRows(listedNames);
    rowsCurrent = true;
    whole = listing.problems.isEmpty();
    // Names that no row could take are on the card all the same.
    leftOutEntries = cut.leftOut + cut.rows - rows.size();
    emit rowsListed();

    // Never more requests than rows: the count may promise more.
    const int total = static_cast<int>(std::clamp(count, 0LL, static_cast<long long>(cut.rows)));
    if (withDetails) {
        QStringList pending;
        for (int row = 0; row < total; ++row)
            pending << rows.at(row).recording.name;
        details->start(pending, listing.problems);
    }
    return listing;
}

void CardEngine::setRows(const QVector<QByteArray>& names)
{
    rows.clear();
    index.clear();
    rows.reserve(names.size());
    for (const QByteArray& bytes : names) {
        CardRecording recording;
        recording.cardName = bytes;
        recording.name = cardNameText(bytes);
        // Two spellings that read alike: the second keeps one character a
        // byte, so that each row has a name of its own.
        if (index.contains(recording.name))
            recording.name = QString::fromLatin1(bytes);
        if (index.contains(recording.name))
            continue;
        index.insert(recording.name, rows.size());
        rows.append(Row{recording, false});
    }
}

void CardEngine::removeRow(const QString& name)
{
    const int row = rowOf(name);
    if (row < 0)
        return;
    rows.remove(row);
    index.remove(name);
    for (auto it = index.begin(); it != index.end(); ++it) {
        if (it.value() > row)
            --it.value();
    }
}

void CardEngine::cancelRequest()
{
    if (requestThread)
        requestThread->cancelCurrent();
}

void CardEngine::beginCardOperation()
{
    const QPointer<CardEngine> self(this);
    details->hold();
    if (self)
        queue->pause();
}

void CardEngine::endCardOperation()
{
    queue->resume();
    details->release();
}

CardEngine::Asked CardEngine::deleteFile(const QString& name, bool* deleted, bool* noReply,
                                         QString* refusal)
{
    *deleted = false;
    *noReply = false;
    QString why;
    const Asked asked = deleteOnCard(cardNameOf(name), deleted, noReply, &why);
    if (*deleted) {
        removeRow(name);
        queue->drop(name);
    }
    if (refusal)
        *refusal = why;
    return asked;
}

CardEngine::Asked CardEngine::deleteOnCard(const QByteArray& bytes, bool* confirmed,
                                           bool* silent, QString* refusal)
{
    *confirmed = false;
    *silent = false;
    if (!merro::isPlainCardFileName(bytes.toStdString()))
        return Asked::Failed;
    CardRequest request;
    request.url = CardEndpoints::url(CardEndpoints::kDeleteFile, bytes);
    request.deadlineMs = requestDeadlineMs;
    Reply reply;
    const Asked asked = ask(request, &reply);
    if (asked == Asked::Failed) {
        // As for the listing: one wait for a camera that does not answer.
        *silent = noAnswer(reply.failure);
        *refusal = WindowTexts::tr("no answer from the camera");
    }
    if (asked != Asked::Answered)
        return asked;
    // An error page, or a camera that says it could not, deleted nothing.
    if (reply.status >= 400)
        *refusal = WindowTexts::tr("the camera answered %1").arg(reply.status);
    else if (reply.body.toLower().contains("fail"))
        *refusal = WindowTexts::tr("the camera said: %1")
                       .arg(QString::fromLatin1(reply.body.trimmed().left(80)));
    else
        *confirmed = true;
    return asked;
}

CardEngine::Asked CardEngine::changeWholeCard(const QString& url, const QString& stopSummary,
                                              bool* confirmed)
{
    *confirmed = false;
    endDetails();
    // The recordings the queue was fetching are about to go; the queue says so.
    const QPointer<CardEngine> self(this);
    queue->stop(stopSummary);
    if (!self)
        return Asked::Aborted;
    Reply reply;
    const Asked asked = ask(url, maintenanceDeadlineMs, &reply);
    if (asked != Asked::Answered)
        return asked;
    // Emptied whatever the answer; only a confirmed one says the card is empty.
    *confirmed = reply.body == "Success\r\n";
    setRows({});
    rowsCurrent = whole = *confirmed;
    leftOutEntries = 0;
    return asked;
}
