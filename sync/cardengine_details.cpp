// The card engine's details pass: each listed file's size and time, asked
// one at a time in the background while the rows are already usable, the
// names a sync or the view needs first ahead of the rest.
#include "cardengine.h"

#include "cardendpoints.h"
#include "cardreplies.h"
#include "cardrequestthread.h"
#include "windowtexts.h"

#include <QEventLoop>
#include <QPointer>

#include <algorithm>

void CardEngine::detailsAnswered(const QByteArray& body, bool ok, int status, int failure)
{
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

void CardEngine::preferDetails(int firstRow, int lastRow)
{
    preferredFirst = firstRow;
    preferredLast = lastRow;
}

void CardEngine::beginDetails(const QStringList& names)
{
    detailsPending = names;
    detailsPendingSet = QSet<QString>(names.begin(), names.end());
    detailsTotal = names.size();
    detailsDone = detailsFailed = detailsMissing = 0;
    detailsRunning = true;
    emit detailsProgress(0, detailsTotal);
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
