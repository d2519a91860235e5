#include "syncrun.h"

#include "cardengine.h"
#include "deviceaddresses.h"
#include "devicelink.h"
#include "platformterminal.h"
#include "ratemeter.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>

#include <algorithm>

namespace {

QString endpointText(const merro::Endpoint& endpoint)
{
    return QString::fromStdString(endpoint.text());
}

} // namespace

SyncRun::SyncRun(const Options& chosen, QObject* parent)
    : QObject(parent)
    , options(chosen)
    , engine(new CardEngine(this))
    , device(new DeviceLink(this))
    , report(chosen.quiet, chosen.json)
{
    clock.start();
    if (!options.folder.endsWith(QLatin1Char('/')))
        options.folder += QLatin1Char('/');
    engine->setFolder(options.folder);
    engine->setLayout(options.layout);
    engine->setRetention(options.limits);
    connect(device, &DeviceLink::linkChanged, this, [this](bool up) {
        engine->linkChanged(up);
        if (!up && !linkLost) {
            linkLost = true;
            report.fail(QStringLiteral("The link to the device was lost."));
            interrupt();
        }
    });
    connect(engine, &CardEngine::retentionRemoved, this,
            [this](const QString& path, const QString& reason) {
        report.say(QStringLiteral("removed %1: %2").arg(path, reason));
        removed.append(QJsonObject{{"path", path}, {"reason", reason}});
    });

    DownloadQueue* queue = engine->downloads();
    connect(queue, &DownloadQueue::fileStarted, this, [this](const QString& name) {
        currentFile = name;
        meter.restart();
        showProgress(0, -1);
    });
    connect(queue, &DownloadQueue::fileProgress, this, [this](qint64 bytes, qint64 total) {
        if (meter.update(bytes, total))
            showProgress(bytes, total);
    });
    connect(queue, &DownloadQueue::fileEnded, this,
            [this](const QString& name, DownloadQueue::FileResult result, const QString& where) {
        fileEnded(name, static_cast<int>(result), where);
    });
    connect(queue, &DownloadQueue::message, this, [this](const QString& text, bool failure) {
        // Failures are told when their file ends; retries are worth a line.
        if (!failure)
            report.say(text);
    });
    connect(queue, &DownloadQueue::archiveProblem, this,
            [this](const QString& text) { report.fail(text); });
}

SyncRun::~SyncRun() = default;

int SyncRun::run()
{
    merro::term::onInterrupt(this, [this] { interrupt(); });
    const int code = sync();
    engine->releaseRun();
    report.endProgressLine();
    report.summary(summary(code));
    return code;
}

int SyncRun::sync()
{
    // A dry run writes nothing, not even a lock or the folder.
    QString why;
    switch (options.dryRun ? RunLock::Result::Held : engine->holdRun(true, &why)) {
    case RunLock::Result::Held:
        break;
    case RunLock::Result::Busy:
        report.fail(QStringLiteral("Not syncing: %1.").arg(why));
        return Busy;
    case RunLock::Result::Unwritable:
        report.fail(why);
        return BadOptions;
    }
    if (!device->link()) {
        report.fail(QStringLiteral("The device does not answer: ground unit %1, control unit %2.")
                 .arg(endpointText(merro::deviceAddresses().ground),
                      endpointText(merro::deviceAddresses().control)));
        return Unreachable;
    }
    engine->linkChanged(true);
    report.say(QStringLiteral("Linked. Listing the card of the camera at %1.")
            .arg(endpointText(merro::deviceAddresses().camera)));
    const CardEngine::Listing listing = engine->list(options.dryRun);
    if (interrupted)
        return linkLost ? Unreachable : SomeFailed;
    // A short or empty answer is no empty card: nothing is done on it.
    if (listing.asked != CardEngine::Asked::Answered || !listing.counted
        || listing.incomplete) {
        report.fail(listing.problems.isEmpty()
                        ? QStringLiteral("Could not read the card's file list.")
                        : listing.problems.join(QLatin1Char(' ')));
        return Unreachable;
    }
    if (!listing.problems.isEmpty())
        report.fail(listing.problems.join(QLatin1Char(' ')));
    listed = engine->rowCount();
    report.say(QStringLiteral("The card holds %1 recordings.").arg(listed));

    if (options.dryRun) {
        if (engine->isReadingDetails())
            waitFor(engine, &CardEngine::detailsEnded);
        if (interrupted)
            return linkLost ? Unreachable : SomeFailed;
        tellPlan();
        return Done;
    }
    int code = downloadNew();
    if (options.freeCard && !interrupted && !linkLost && code != Busy)
        code = std::max(code, freeCard());
    if (linkLost)
        return Unreachable;
    // Recordings the tool cannot ask for by name stay behind.
    return engine->leftOut() > 0 ? std::max(code, int(SomeFailed)) : code;
}

int SyncRun::downloadNew()
{
    DownloadQueue* queue = engine->downloads();
    CardEngine::Start started = CardEngine::Start::Refused;
    QString why;
    QEventLoop loop;
    connect(engine, &CardEngine::syncStarted, &loop,
            [&](CardEngine::Start result, const QString& reason) {
        started = result;
        why = reason;
        loop.quit();
    });
    connect(queue, &DownloadQueue::ended, &loop, &QEventLoop::quit);
    waitLoop = &loop;
    finished = 0;
    engine->startSync();
    if (engine->isStartingSync())
        loop.exec();
    if (interrupted && started != CardEngine::Start::Started) {
        waitLoop = nullptr;
        report.fail(QStringLiteral("Stopped before any download."));
        return SomeFailed;
    }
    switch (started) {
    case CardEngine::Start::Started:
        if (queue->isRunning())
            loop.exec();
        break;
    case CardEngine::Start::NothingNew:
        waitLoop = nullptr;
        report.say(QStringLiteral("Nothing new: every recording on the card is in %1 already.")
                .arg(QDir::toNativeSeparators(options.folder)));
        return Done;
    case CardEngine::Start::Busy:
        waitLoop = nullptr;
        report.fail(QStringLiteral("Not syncing: %1.").arg(why));
        return Busy;
    case CardEngine::Start::Refused:
        waitLoop = nullptr;
        report.fail(why);
        return SomeFailed;
    }
    waitLoop = nullptr;
    report.endProgressLine();
    const int arrived = queue->arrived();
    const int safe = queue->alreadySafe();
    const int left = queue->retired() + queue->tooOld();
    const QStringList failures = queue->failures();
    const int missing = queue->count() - arrived - safe - left;
    report.say(QStringLiteral("%1 new recordings downloaded, %2 already in %3%4.")
                   .arg(arrived)
                   .arg(safe)
                   .arg(QDir::toNativeSeparators(options.folder),
                        left == 0 ? QString()
                                  : QStringLiteral(", %1 left on the card for retention (%2"
                                                   " older than %3 days or than the size"
                                                   " allows, %4 removed by it before)")
                                        .arg(left)
                                        .arg(queue->tooOld())
                                        .arg(options.limits.keepDays)
                                        .arg(queue->retired())));
    if (!failures.isEmpty())
        report.fail(QStringLiteral("Not downloaded: %1.").arg(failures.join(QStringLiteral(", "))));
    if (interrupted && missing > failures.size())
        report.fail(QStringLiteral("Stopped: %1 recordings not downloaded; a partial download is"
                                   " kept"
                            " for the next run.").arg(missing - failures.size()));
    return missing == 0 ? Done : SomeFailed;
}

int SyncRun::freeCard()
{
    qint64 bytes = 0;
    int staying = 0;
    const QVector<CardRecording> safe = engine->safeToDelete(&bytes, &staying);
    if (safe.isEmpty() && !engine->listedWhole()) {
        report.fail(QStringLiteral("The card is not freed: its listing was not whole."));
        return SomeFailed;
    }
    CardEngine::Freeing freeing = engine->freeSafe(safe);
    // A recording whose bytes differ from the file taken for its copy is a
    // new one: it comes now, beside that file, and goes once it is proven.
    if (!freeing.differing.isEmpty() && !interrupted && !linkLost) {
        const QVector<CardRecording> differing = freeing.differing;
        QString why;
        if (runQueue(differing, &why) && !interrupted && !linkLost) {
            QStringList names;
            for (const CardRecording& recording : differing)
                names << recording.name + QStringLiteral(": ");
            QStringList kept;
            for (const QString& line : freeing.kept) {
                if (!std::any_of(names.begin(), names.end(),
                                 [&line](const QString& name) { return line.startsWith(name); }))
                    kept << line;
            }
            const CardEngine::Freeing again = engine->freeSafe(differing);
            freeing.freed += again.freed;
            freeing.bytes += again.bytes;
            freeing.kept = kept + again.kept;
            freeing.checked = freeing.checked && again.checked;
            freeing.stopped = freeing.stopped || again.stopped;
        } else if (!why.isEmpty()) {
            report.fail(why);
        }
    }
    for (const QString& line : freeing.kept) {
        report.fail(QStringLiteral("Kept on the card: %1.").arg(line));
        const int colon = line.indexOf(QStringLiteral(": "));
        kept.append(QJsonObject{{"name", line.left(colon)}, {"reason", line.mid(colon + 2)}});
    }
    for (const CardRecording& recording : freeing.freed)
        freed.append(QJsonObject{{"name", recording.name}, {"size", recording.size}});
    freedBytes += freeing.bytes;
    if (!freeing.freed.isEmpty() && !freeing.checked)
        report.fail(
            QStringLiteral("The card could not be listed again to see the deletes through."));
    report.say(QStringLiteral("Card freed of %1 recordings already in %2 (%3); %4 stay on it.")
            .arg(freeing.freed.size())
            .arg(QDir::toNativeSeparators(options.folder), RunReport::sizeText(freeing.bytes))
            .arg(engine->rowCount() + engine->leftOut()));
    const bool whole = freeing.kept.isEmpty() && (freeing.freed.isEmpty() || freeing.checked);
    return whole && !freeing.stopped ? Done : SomeFailed;
}

bool SyncRun::runQueue(const QVector<CardRecording>& files, QString* why)
{
    DownloadQueue* queue = engine->downloads();
    finished = 0;
    if (engine->download(files, true, why) != CardEngine::Start::Started)
        return false;
    if (queue->isRunning())
        waitFor(queue, &DownloadQueue::ended);
    report.endProgressLine();
    return true;
}

template<typename Sender, typename Signal>
void SyncRun::waitFor(Sender* sender, Signal signal)
{
    QEventLoop loop;
    connect(sender, signal, &loop, &QEventLoop::quit);
    waitLoop = &loop;
    loop.exec();
    waitLoop = nullptr;
}

void SyncRun::interrupt()
{
    if (interrupted)
        return;
    interrupted = true;
    // The transfer stops at its next look and keeps what came; a request
    // under way ends; a wait for either ends with it.
    engine->downloads()->cancel();
    engine->cancelRequest();
    engine->endDetails();
    if (waitLoop && !engine->downloads()->isRunning())
        waitLoop->quit();
}
