#include "detailspass.h"

#include "windowtexts.h"

#include <QEventLoop>
#include <QPointer>

#include <algorithm>
#include <utility>

DetailsPass::DetailsPass(Owner owner, QObject* parent) : QObject(parent), owner(std::move(owner))
{
}

void DetailsPass::start(const QStringList& names, const QStringList& listingProblems)
{
    pending = names;
    pendingSet = QSet<QString>(names.begin(), names.end());
    problems = listingProblems;
    total = names.size();
    done = failed = missing = 0;
    running = true;
    emit progress(0, total);
    askNext();
}

void DetailsPass::prefer(int firstRow, int lastRow)
{
    preferredFirst = firstRow;
    preferredLast = lastRow;
}

void DetailsPass::waitFor(const QStringList& names)
{
    waiting = true;
    first = names;
    if (names.isEmpty()) {
        leaveWaiting();
        return;
    }
    // The requests the downloads would make anyway, made first.
    if (!running)
        start(names, {});
    else
        askNext();
}

void DetailsPass::leaveWaiting()
{
    waiting = false;
    emit firstReady();
}

void DetailsPass::answered(int id, const QByteArray& body, bool ok, int status, bool silent)
{
    if (id != inFlightId || id == 0)
        return;
    const QString name = std::exchange(inFlight, QString());
    inFlightId = 0;
    if (inFlightWait)
        inFlightWait->quit();
    if (!running)
        return;
    if (silent) {
        // One wait for a camera that stopped answering, not one per file.
        missing = total - done;
        pending.clear();
        pendingSet.clear();
        finish();
        return;
    }
    ++done;
    // An error page is read like any reply, but it holds no details.
    failed += ok && status == 200 ? 0 : 1;
    if (waiting && first.isEmpty()) {
        // The last a sync waited for: it starts on what is known now.
        if (ok)
            owner.take(name, body);
        emit progress(done, total);
        leaveWaiting();
        askNext();
        return;
    }
    // The camera works on the next request while this answer is taken in;
    // the pass ends only once the last one is.
    const QString following = holds == 0 ? next() : QString();
    if (!following.isEmpty())
        send(following);
    if (ok)
        owner.take(name, body);
    emit progress(done, total);
    if (following.isEmpty())
        askNext();
}

void DetailsPass::fetchedElsewhere(const QString& name)
{
    if (pendingSet.remove(name)) {
        pending.removeOne(name);
        ++done;
    }
}

void DetailsPass::askNext()
{
    if (!running || !inFlight.isEmpty() || holds > 0)
        return;
    const QString name = next();
    if (name.isEmpty())
        finish();
    else
        send(name);
}

QString DetailsPass::next()
{
    QString name;
    // What a sync waits for, then the rows the operator sees.
    while (name.isEmpty() && !first.isEmpty()) {
        const QString candidate = first.takeFirst();
        if (pendingSet.contains(candidate))
            name = candidate;
    }
    for (int row = std::max(preferredFirst, 0); row <= preferredLast && name.isEmpty(); ++row) {
        const QString shown = owner.nameAt(row);
        if (shown.isEmpty())
            break;
        if (pendingSet.contains(shown))
            name = shown;
    }
    if (!name.isEmpty())
        pending.removeOne(name);
    // Then in row order; names whose rows a delete removed are not asked for.
    while (name.isEmpty() && !pending.isEmpty()) {
        const QString candidate = pending.takeFirst();
        pendingSet.remove(candidate);
        if (owner.wants(candidate))
            name = candidate;
        else
            ++done;
    }
    pendingSet.remove(name);
    return name;
}

void DetailsPass::send(const QString& name)
{
    inFlight = name;
    inFlightId = owner.ask(name);
}

void DetailsPass::finish()
{
    running = false;
    first.clear();
    if (waiting)
        leaveWaiting();
    QStringList told = problems;
    if (missing > 0)
        told << WindowTexts::tr("The camera stopped answering: no details for %1 of %2"
                                " files.").arg(missing).arg(total);
    if (failed > 0)
        told << WindowTexts::tr("Details of %1 files could not be read.").arg(failed);
    emit ended(told);
}

void DetailsPass::waitForInFlight()
{
    if (inFlight.isEmpty())
        return;
    // A camera that answers one request at a time must not see two: the one
    // under way ends first (within its deadline).
    const QPointer<DetailsPass> self(this);
    QEventLoop loop;
    inFlightWait = &loop;
    loop.exec();
    if (self)
        inFlightWait = nullptr;
}

void DetailsPass::hold()
{
    ++holds;
    waitForInFlight();
}

void DetailsPass::release()
{
    if (holds > 0 && --holds == 0)
        askNext();
}

void DetailsPass::abandonWaiting()
{
    if (!waiting)
        return;
    waiting = false;
    first.clear();
    emit firstAbandoned();
}

void DetailsPass::end()
{
    // A sync waiting for details it will not get does not start.
    abandonWaiting();
    if (!running)
        return;
    running = false;
    pending.clear();
    pendingSet.clear();
    waitForInFlight();
}
