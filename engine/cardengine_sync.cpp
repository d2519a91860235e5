// The card engine's rules on what is safe: which recordings are in the
// download folder, which are new and in what order a sync fetches them,
// which may be deleted, and the queue and lock a download runs under.
#include "cardengine.h"

#include "detailspass.h"
#include "journal.h"
#include "localarchive.h"

#include <QDir>
#include <QRegularExpression>
#include <QPointer>

#include <algorithm>

QString CardEngine::copyOf(const CardRecording& recording) const
{
    return LocalArchive(downloadFolder).copyOf(recording, ruledOutFor(recording));
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

QStringList CardEngine::rowNames() const
{
    QStringList names;
    names.reserve(rows.size());
    for (const Row& row : rows)
        names << row.recording.name;
    return names;
}

void CardEngine::addLeftOut(AtRisk* risk) const
{
    // The entries left out are on the card too.
    risk->known = risk->known && listedWhole();
    risk->missing += leftOutEntries;
    risk->total += leftOutEntries;
}

CardEngine::AtRisk CardEngine::cardAtRisk() const
{
    AtRisk risk = atRisk(rowNames());
    addLeftOut(&risk);
    return risk;
}

CardEngine::Start CardEngine::download(const QVector<CardRecording>& files, bool sync,
                                       QString* why)
{
    if (queue->isRunning() || files.isEmpty())
        return Start::Refused;
    switch (holdRun(sync, why)) {
    case RunLock::Result::Held:
        break;
    case RunLock::Result::Busy:
        return Start::Busy;
    case RunLock::Result::Unwritable:
        return Start::Refused;
    }
    // The camera answers one request at a time: the details pass waits.
    const QPointer<CardEngine> self(this);
    details->hold();
    if (!self)
        return Start::Refused;
    syncQueue = sync;
    if (!queue->start(files, sync, why)) {
        syncQueue = false;
        releaseRun();
        details->release();
        return Start::Refused;
    }
    return Start::Started;
}

RunLock::Result CardEngine::holdRun(bool sync, QString* why)
{
    const RunLock::Result result = lock->tryLock(sync, why);
    if (result == RunLock::Result::Held)
        ++runHolds;
    return result;
}

void CardEngine::releaseRun()
{
    if (runHolds > 0 && --runHolds == 0)
        lock->unlock();
}

void CardEngine::setLayout(LocalArchive::Layout layout)
{
    queue->setLayout(layout);
}

void CardEngine::setRetention(const RetentionLimits& chosen)
{
    limits = chosen;
    queue->setNotBefore(limits.keepDays > 0
                            ? QDateTime::currentDateTimeUtc().addDays(-limits.keepDays)
                            : QDateTime());
    if (limits.maxBytes <= 0) {
        queue->setBeforeFile(nullptr);
        return;
    }
    queue->setBeforeFile([this](const CardRecording& file) {
        Retention retention(downloadFolder, limits);
        if (retention.wouldGoAtOnce(file.created, file.size))
            return false;
        for (const Retention::Held& gone : retention.remove(retention.due(file.size)))
            emit retentionRemoved(gone.saved.path, retention.reason(gone, true));
        return true;
    });
}

QVector<Retention::Held> CardEngine::keepWithinLimits(bool remove)
{
    if (!limits.any())
        return {};
    Retention retention(downloadFolder, limits);
    const QVector<Retention::Held> due = retention.due();
    if (!remove)
        return due;
    const QVector<Retention::Held> gone = retention.remove(due);
    for (const Retention::Held& held : gone)
        emit retentionRemoved(held.saved.path, retention.reason(held, true));
    return gone;
}

void CardEngine::startSync()
{
    if (details->isWaiting() || queue->isRunning())
        return;
    // Their details first, so that the oldest can go first; then launchSync().
    details->waitFor(namesSurelyNew());
}

void CardEngine::launchSync()
{
    const QVector<CardRecording> files = newRecordings();
    QString why;
    // Nothing to fetch: the folder is kept within its limits all the same.
    if (files.isEmpty())
        keepWithinLimits(true);
    const Start started = files.isEmpty() ? Start::NothingNew : download(files, true, &why);
    emit syncStarted(started, why);
}

QStringList CardEngine::namesSurelyNew() const
{
    // What the folder holds, read once: a name none of whose copies' names
    // is there (nor in a dated folder, nor in the journal) needs no details
    // to tell that it is new.
    const QDir root(downloadFolder);
    QStringList local = root.entryList(QDir::Files) + JournalIndex::names(downloadFolder);
    static const QRegularExpression dated(QStringLiteral("^\\d{4}-\\d{2}(-\\d{2})?$"));
    for (const QString& sub : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (dated.match(sub).hasMatch())
            local += QDir(root.filePath(sub)).entryList(QDir::Files);
    }
    std::sort(local.begin(), local.end());
    QStringList names;
    for (const Row& row : rows) {
        const QString& name = row.recording.name;
        if (row.detailsKnown || std::binary_search(local.begin(), local.end(), name))
            continue;
        const QString prefix = LocalArchive::copyPrefix(name);
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
        // What retention removed is not fetched again while the card holds it.
        if (!row.detailsKnown)
            toCheck << row.recording;
        else if (copyOf(row.recording).isEmpty()
                 && !LocalArchive(downloadFolder).retired(row.recording))
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
        // One whose time cannot be read is tried too, when a file of its size
        // holds its name: the check then says why it stays.
        CardRecording sizeOnly = row.recording;
        sizeOnly.createdText.clear();
        const bool candidate = row.recording.timeUnreadable()
                                   ? !LocalArchive(downloadFolder).copyOf(sizeOnly).isEmpty()
                                   : !copyOf(row.recording).isEmpty();
        if (!row.detailsKnown || !candidate)
            continue;
        safe << row.recording;
        *bytes += row.recording.size;
        --*staying;
    }
    return safe;
}
