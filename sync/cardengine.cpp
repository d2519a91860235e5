#include "cardengine.h"

#include "cardendpoints.h"
#include "cardfilename.h"
#include "cardreplies.h"
#include "cardrequestthread.h"
#include "deviceaddresses.h"
#include "httpclient.h"
#include "localarchive.h"
#include "windowtexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

// A camera that did not answer one request will not answer the next soon.
bool noAnswer(int failure)
{
    const auto why = static_cast<HttpFailure>(failure);
    return why == HttpFailure::NoConnection || why == HttpFailure::TimedOut
           || why == HttpFailure::Cancelled;
}

QString cameraName()
{
    const merro::Endpoint& camera = merro::deviceAddresses().camera;
    return QStringLiteral("%1:%2").arg(QString::fromStdString(camera.host)).arg(camera.port);
}

// Split into stem and extension at the last dot, as LocalArchive names copies.
QPair<QString, QString> stemAndExtension(const QString& name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? qMakePair(name.left(dot), name.mid(dot)) : qMakePair(name, QString());
}

} // namespace

CardEngine::CardEngine(QObject* parent)
    : QObject(parent)
    , requestDeadlineMs(CardEndpoints::kRequestDeadlineMs)
    , maintenanceDeadlineMs(CardEndpoints::kMaintenanceDeadlineMs)
    , queue(new DownloadQueue(this))
    , lock(std::make_unique<RunLock>(downloadFolder, cameraName()))
{
    queue->setDetailsDeadline(requestDeadlineMs);
    connect(queue, &DownloadQueue::detailsFetched, this,
            [this](const QString& name, const QByteArray& reply) {
        const int row = rowOf(name);
        if (row >= 0 && !rows.at(row).detailsKnown)
            takeDetails(row, reply);
        // The details pass need not ask again.
        if (detailsPendingSet.remove(name)) {
            detailsPending.removeOne(name);
            ++detailsDone;
        }
    });
    connect(queue, &DownloadQueue::ended, this, [this] {
        syncQueue = false;
        releaseRun();
        releaseDetails();
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
    const QPointer<CardEngine> self(this);
    CardRequestThread* thread = requests();
    QEventLoop loop;
    waitingFor = ++lastId;
    waitingAnswered = false;
    waitLoop = &loop;
    thread->ask(waitingFor, url, deadlineMs);
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

void CardEngine::answered(int id, const QByteArray& body, bool ok, int status, int failure)
{
    if (id == waitingFor && waitingFor != 0) {
        waitingReply = Reply{body, status, failure};
        waitingOk = ok;
        waitingAnswered = true;
        if (waitLoop)
            waitLoop->quit();
        return;
    }
    if (id != detailsId)
        return;
    const QString name = detailsInFlight;
    detailsInFlight.clear();
    if (detailsWait)
        detailsWait->quit();
    if (!detailsRunning)
        return;
    // By name: a delete meanwhile may have moved the row.
    const int row = rowOf(name);
    if (!ok && noAnswer(failure)) {
        // One wait for a camera that stopped answering, not one per file.
        detailsMissing = detailsTotal - detailsDone;
        detailsPending.clear();
        detailsPendingSet.clear();
        finishDetails();
        return;
    }
    ++detailsDone;
    // An error page is read like any reply, but it holds no details.
    detailsFailed += ok && status == 200 ? 0 : 1;
    if (syncWaiting && detailsFirst.isEmpty()) {
        // The last a sync waited for: it starts on what is known now.
        if (ok && row >= 0)
            takeDetails(row, body);
        emit detailsProgress(detailsDone, detailsTotal);
        launchSync();
        requestNextDetails();
        return;
    }
    // The camera works on the next request while this answer is shown; the
    // pass ends only once the last one is.
    const QString next = detailsHolds == 0 ? nextDetails() : QString();
    if (!next.isEmpty())
        askDetails(next);
    if (ok && row >= 0)
        takeDetails(row, body);
    emit detailsProgress(detailsDone, detailsTotal);
    if (next.isEmpty())
        requestNextDetails();
}

void CardEngine::takeDetails(int row, const QByteArray& reply)
{
    Row& entry = rows[row];
    const CardRecording told = recordingFromInfo(entry.recording.name, reply.constData());
    entry.recording.size = told.size;
    entry.recording.created = told.created;
    entry.detailsKnown = told.size >= 0;
    emit detailsArrived(row, reply);
}

CardEngine::Listing CardEngine::list(bool withDetails)
{
    Listing listing;
    // A new listing replaces the one whose details are still coming.
    endDetails();
    Reply reply;
    listing.asked = ask(CardEndpoints::url(CardEndpoints::kGetFileCount), requestDeadlineMs,
                        &reply);
    char countText[16] = "";
    if (listing.asked == Asked::Answered) {
        CardReplies::cutFileCount(reply.body.constData(), countText, sizeof countText);
        listing.asked = ask(CardEndpoints::url(CardEndpoints::kGetFileList)
                                + QLatin1String(countText),
                            requestDeadlineMs, &reply);
    }
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
    const long long count = std::strtoll(countText, nullptr, 10);
    const int listed = cut.rows + cut.leftOut;
    listing.counted = countText[0] != '\0';
    listing.incomplete = errorPage || (listing.counted && listed < count) || cut.cut;
    if (errorPage) {
        listing.problems << WindowTexts::tr("Could not read the card's file list.");
    } else {
        if (cut.leftOut > 0)
            listing.problems << WindowTexts::tr("%1 entries of the card's list were left out:"
                                                " unsafe names or more than %2 files.")
                                    .arg(cut.leftOut).arg(kMaxFiles);
        // A list that ends early must never pass for the whole card.
        if (countText[0] != '\0' && listed < count)
            listing.problems << WindowTexts::tr("The camera counts %1 files but listed %2.")
                                    .arg(count).arg(listed);
        else if (cut.cut)
            listing.problems << WindowTexts::tr("The card's file list was cut off after %1"
                                                " files.").arg(listed);
    }
    QStringList listedNames;
    listedNames.reserve(cut.rows);
    for (int row = 0; row < cut.rows; ++row)
        listedNames << QString::fromLatin1(names[row]);
    setRows(listedNames);
    rowsCurrent = true;
    whole = listing.problems.isEmpty();
    leftOutEntries = cut.leftOut;
    listing.listed = true;
    emit rowsListed();

    // Never more requests than rows: the count may promise more.
    const int total = static_cast<int>(std::clamp(count, 0LL, static_cast<long long>(cut.rows)));
    detailsProblems = listing.problems;
    detailsPending = listedNames.mid(0, withDetails ? total : 0);
    detailsPendingSet = QSet<QString>(detailsPending.begin(), detailsPending.end());
    detailsTotal = detailsPending.size();
    detailsDone = detailsFailed = detailsMissing = 0;
    detailsRunning = withDetails;
    if (withDetails) {
        emit detailsProgress(0, detailsTotal);
        requestNextDetails();
    }
    return listing;
}

void CardEngine::setRows(const QStringList& names)
{
    rows.clear();
    index.clear();
    rows.reserve(names.size());
    for (const QString& name : names) {
        index.insert(name, rows.size());
        rows.append(Row{CardRecording{name, -1, QDateTime()}, false});
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

void CardEngine::preferDetails(int firstRow, int lastRow)
{
    preferredFirst = firstRow;
    preferredLast = lastRow;
}

void CardEngine::requestNextDetails()
{
    if (!detailsRunning || !detailsInFlight.isEmpty() || detailsHolds > 0)
        return;
    const QString next = nextDetails();
    if (next.isEmpty())
        finishDetails();
    else
        askDetails(next);
}

QString CardEngine::nextDetails()
{
    QString next;
    // What a sync waits for, then the rows the operator sees.
    while (next.isEmpty() && !detailsFirst.isEmpty()) {
        const QString name = detailsFirst.takeFirst();
        if (detailsPendingSet.contains(name))
            next = name;
    }
    for (int row = std::max(preferredFirst, 0); row <= std::min(preferredLast, rows.size() - 1)
                                                && next.isEmpty();
         ++row) {
        if (detailsPendingSet.contains(rows.at(row).recording.name))
            next = rows.at(row).recording.name;
    }
    if (!next.isEmpty())
        detailsPending.removeOne(next);
    // Then in row order; names whose rows a delete removed are not asked for.
    while (next.isEmpty() && !detailsPending.isEmpty()) {
        const QString name = detailsPending.takeFirst();
        detailsPendingSet.remove(name);
        if (rowOf(name) >= 0 && !rows.at(rowOf(name)).detailsKnown)
            next = name;
        else
            ++detailsDone;
    }
    detailsPendingSet.remove(next);
    return next;
}

void CardEngine::askDetails(const QString& name)
{
    detailsInFlight = name;
    detailsId = ++lastId;
    requests()->ask(detailsId, CardEndpoints::url(CardEndpoints::kGetFileInfo) + name,
                    requestDeadlineMs);
}

void CardEngine::finishDetails()
{
    detailsRunning = false;
    detailsFirst.clear();
    if (syncWaiting)
        launchSync();
    QStringList problems = detailsProblems;
    if (detailsMissing > 0)
        problems << WindowTexts::tr("The camera stopped answering: no details for %1 of %2"
                                    " files.").arg(detailsMissing).arg(detailsTotal);
    if (detailsFailed > 0)
        problems << WindowTexts::tr("Details of %1 files could not be read.").arg(detailsFailed);
    emit detailsEnded(problems);
}

void CardEngine::waitForDetails()
{
    if (detailsInFlight.isEmpty())
        return;
    // A camera that answers one request at a time must not see two: the one
    // under way ends first (within its deadline).
    const QPointer<CardEngine> self(this);
    QEventLoop loop;
    detailsWait = &loop;
    loop.exec();
    if (self)
        detailsWait = nullptr;
}

void CardEngine::holdDetails()
{
    ++detailsHolds;
    waitForDetails();
}

void CardEngine::releaseDetails()
{
    if (detailsHolds > 0 && --detailsHolds == 0)
        requestNextDetails();
}

void CardEngine::endDetails()
{
    if (syncWaiting) {
        // A sync waiting for details it will not get does not start.
        syncWaiting = false;
        detailsFirst.clear();
        emit syncStarted(Start::Refused, QString());
    }
    if (!detailsRunning)
        return;
    detailsRunning = false;
    detailsPending.clear();
    detailsPendingSet.clear();
    waitForDetails();
}

void CardEngine::beginCardOperation()
{
    const QPointer<CardEngine> self(this);
    holdDetails();
    if (self)
        queue->pause();
}

void CardEngine::endCardOperation()
{
    queue->resume();
    releaseDetails();
}

CardEngine::Asked CardEngine::deleteFile(const QString& name, bool* deleted, bool* noReply)
{
    *deleted = false;
    *noReply = false;
    if (!merro::isPlainCardFileName(name.toLatin1().toStdString()))
        return Asked::Failed;
    Reply reply;
    const Asked asked = ask(CardEndpoints::url(CardEndpoints::kDeleteFile) + name,
                            requestDeadlineMs, &reply);
    if (asked == Asked::Answered) {
        *deleted = true;
        removeRow(name);
        queue->drop(name);
    } else if (asked == Asked::Failed) {
        // As for the listing: one wait for a camera that does not answer.
        *noReply = noAnswer(reply.failure);
    }
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

QString CardEngine::copyOf(const CardRecording& recording) const
{
    return LocalArchive(downloadFolder).copyOf(recording);
}

CardEngine::AtRisk CardEngine::atRisk(const QStringList& names) const
{
    AtRisk risk;
    risk.known = rowsCurrent;
    risk.total = names.size();
    for (const QString& name : names) {
        const int row = rowOf(name);
        risk.known = risk.known && row >= 0 && rows.at(row).detailsKnown;
        risk.missing += row >= 0 && !copyOf(rows.at(row).recording).isEmpty() ? 0 : 1;
    }
    return risk;
}

CardEngine::AtRisk CardEngine::cardAtRisk() const
{
    QStringList names;
    names.reserve(rows.size());
    for (const Row& row : rows)
        names << row.recording.name;
    AtRisk risk = atRisk(names);
    // The entries left out are on the card too.
    risk.known = risk.known && listedWhole();
    risk.missing += leftOutEntries;
    risk.total += leftOutEntries;
    return risk;
}

CardEngine::Start CardEngine::download(const QVector<CardRecording>& files, bool sync,
                                       QString* why)
{
    if (queue->isRunning() || files.isEmpty())
        return Start::Refused;
    if (!holdRun(sync, why))
        return Start::Busy;
    // The camera answers one request at a time: the details pass waits.
    const QPointer<CardEngine> self(this);
    holdDetails();
    if (!self)
        return Start::Refused;
    syncQueue = sync;
    if (!queue->start(files, sync, why)) {
        syncQueue = false;
        releaseRun();
        releaseDetails();
        return Start::Refused;
    }
    return Start::Started;
}

bool CardEngine::holdRun(bool sync, QString* holder)
{
    if (!lock->tryLock(sync, holder))
        return false;
    ++runHolds;
    return true;
}

void CardEngine::releaseRun()
{
    if (runHolds > 0 && --runHolds == 0)
        lock->unlock();
}

void CardEngine::startSync()
{
    if (syncWaiting || queue->isRunning())
        return;
    syncWaiting = true;
    detailsFirst = namesSurelyNew();
    if (detailsFirst.isEmpty()) {
        launchSync();
        return;
    }
    // The requests the downloads would make anyway, made first so that the
    // oldest can go first.
    if (!detailsRunning) {
        detailsProblems.clear();
        detailsPending = detailsFirst;
        detailsPendingSet = QSet<QString>(detailsPending.begin(), detailsPending.end());
        detailsTotal = detailsPending.size();
        detailsDone = detailsFailed = detailsMissing = 0;
        detailsRunning = true;
        emit detailsProgress(0, detailsTotal);
    }
    requestNextDetails();
}

void CardEngine::launchSync()
{
    syncWaiting = false;
    const QVector<CardRecording> files = newRecordings();
    QString why;
    const Start started = files.isEmpty() ? Start::NothingNew : download(files, true, &why);
    emit syncStarted(started, why);
}

QStringList CardEngine::namesSurelyNew() const
{
    // What the folder holds, read once: a name none of whose copies' names
    // is there needs no details to tell that it is new.
    QStringList local = QDir(downloadFolder).entryList(QDir::Files);
    std::sort(local.begin(), local.end());
    QStringList names;
    for (const Row& row : rows) {
        const QString& name = row.recording.name;
        if (row.detailsKnown || std::binary_search(local.begin(), local.end(), name))
            continue;
        const QString prefix = stemAndExtension(name).first + QLatin1Char('_');
        const auto at = std::lower_bound(local.begin(), local.end(), prefix);
        if (at == local.end() || !at->startsWith(prefix))
            names << name;
    }
    return names;
}

QVector<CardRecording> CardEngine::newRecordings() const
{
    QVector<CardRecording> fresh;
    QVector<CardRecording> toCheck;
    for (const Row& row : rows) {
        if (!row.detailsKnown)
            toCheck << row.recording;
        else if (copyOf(row.recording).isEmpty())
            fresh << row.recording;
    }
    // Oldest first, as a camera recording in a loop overwrites them; a time
    // not known goes last, in the card's order.
    std::stable_sort(fresh.begin(), fresh.end(),
                     [](const CardRecording& a, const CardRecording& b) {
        return a.created.isValid() && (!b.created.isValid() || a.created < b.created);
    });
    // Those whose details are not known yet may be in the folder already:
    // the queue looks before it fetches them.
    return fresh + toCheck;
}

QVector<CardRecording> CardEngine::safeToDelete(qint64* bytes, int* staying) const
{
    QVector<CardRecording> safe;
    *bytes = 0;
    *staying = rows.size() + leftOutEntries;
    if (!listedWhole())
        return safe;
    for (const Row& row : rows) {
        if (!row.detailsKnown || copyOf(row.recording).isEmpty())
            continue;
        safe << row.recording;
        *bytes += row.recording.size;
        --*staying;
    }
    return safe;
}
