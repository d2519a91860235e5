// The card engine: the link, and the requests to the camera one at a time.
// The listing, the changes to the card, the proof before freeing and the
// rules of what is safe have files of their own.
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
    return QString::fromStdString(camera.text());
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

void CardEngine::cancelRequest()
{
    if (requestThread)
        requestThread->cancelCurrent();
}
