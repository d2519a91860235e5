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

QString sizeText(qint64 bytes)
{
    return bytes < 0 ? QStringLiteral("size unknown")
                     : QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QString endpointText(const merro::Endpoint& endpoint)
{
    return QStringLiteral("%1:%2").arg(QString::fromStdString(endpoint.host)).arg(endpoint.port);
}

} // namespace

SyncRun::SyncRun(const Options& chosen, QObject* parent)
    : QObject(parent)
    , options(chosen)
    , engine(new CardEngine(this))
    , device(new DeviceLink(this))
    , terminal(merro::term::outputIsTerminal())
{
    if (!options.folder.endsWith(QLatin1Char('/')))
        options.folder += QLatin1Char('/');
    engine->setFolder(options.folder);
    connect(device, &DeviceLink::linkChanged, this, [this](bool up) {
        engine->linkChanged(up);
        if (!up && !linkLost) {
            linkLost = true;
            fail(QStringLiteral("The link to the device was lost."));
            interrupt();
        }
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
            [this, queue](const QString& name, DownloadQueue::FileResult result,
                          const QString& where) {
        // Numbered as they finish: the next file starts while one is written out.
        const QString number = QStringLiteral("[%1/%2] ").arg(++finished).arg(queue->count());
        if (result == DownloadQueue::FileResult::Failed) {
            fail(number + name + QStringLiteral(": not downloaded: ") + where);
            return;
        }
        if (result == DownloadQueue::FileResult::AlreadySafe) {
            // Told only where there is no progress line to show it.
            if (!terminal)
                say(number + name + QStringLiteral(": already in ") + where);
            return;
        }
        say(number + name + QStringLiteral(": downloaded, ")
            + sizeText(QFileInfo(where).size())
            + (QFileInfo(where).fileName() == name
                   ? QString()
                   : QStringLiteral(", as ") + QFileInfo(where).fileName()
                         + QStringLiteral(" beside an older recording of that name")));
    });
    connect(queue, &DownloadQueue::message, this, [this](const QString& text, bool failure) {
        // Failures are told when their file ends; retries are worth a line.
        if (!failure)
            say(text);
    });
}

SyncRun::~SyncRun()
{
    endProgressLine();
}

int SyncRun::run()
{
    merro::term::onInterrupt(this, [this] { interrupt(); });
    const int code = sync();
    engine->releaseRun();
    endProgressLine();
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
        fail(QStringLiteral("Not syncing: %1.").arg(why));
        return Busy;
    case RunLock::Result::Unwritable:
        fail(why);
        return BadOptions;
    }
    if (!device->link()) {
        fail(QStringLiteral("The device does not answer: ground unit %1, control unit %2.")
                 .arg(endpointText(merro::deviceAddresses().ground),
                      endpointText(merro::deviceAddresses().control)));
        return Unreachable;
    }
    engine->linkChanged(true);
    say(QStringLiteral("Linked. Listing the card of the camera at %1.")
            .arg(endpointText(merro::deviceAddresses().camera)));
    const CardEngine::Listing listing = engine->list(options.dryRun);
    if (interrupted)
        return linkLost ? Unreachable : SomeFailed;
    // A short or empty answer is no empty card: nothing is done on it.
    if (listing.asked != CardEngine::Asked::Answered || !listing.counted
        || listing.incomplete) {
        fail(listing.problems.isEmpty() ? QStringLiteral("Could not read the card's file list.")
                                        : listing.problems.join(QLatin1Char(' ')));
        return Unreachable;
    }
    if (!listing.problems.isEmpty())
        fail(listing.problems.join(QLatin1Char(' ')));
    say(QStringLiteral("The card holds %1 recordings.").arg(engine->rowCount()));

    if (options.dryRun) {
        if (engine->isReadingDetails()) {
            QEventLoop loop;
            connect(engine, &CardEngine::detailsEnded, &loop, &QEventLoop::quit);
            waitLoop = &loop;
            loop.exec();
            waitLoop = nullptr;
        }
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
        fail(QStringLiteral("Stopped before any download."));
        return SomeFailed;
    }
    switch (started) {
    case CardEngine::Start::Started:
        if (queue->isRunning())
            loop.exec();
        break;
    case CardEngine::Start::NothingNew:
        waitLoop = nullptr;
        say(QStringLiteral("Nothing new: every recording on the card is in %1 already.")
                .arg(QDir::toNativeSeparators(options.folder)));
        return Done;
    case CardEngine::Start::Busy:
        waitLoop = nullptr;
        fail(QStringLiteral("Not syncing: %1.").arg(why));
        return Busy;
    case CardEngine::Start::Refused:
        waitLoop = nullptr;
        fail(why);
        return SomeFailed;
    }
    waitLoop = nullptr;
    endProgressLine();
    const int arrived = queue->arrived();
    const int safe = queue->alreadySafe();
    const QStringList failures = queue->failures();
    const int missing = queue->count() - arrived - safe;
    say(QStringLiteral("%1 new recordings downloaded, %2 already in %3.")
            .arg(arrived).arg(safe).arg(QDir::toNativeSeparators(options.folder)));
    if (!failures.isEmpty())
        fail(QStringLiteral("Not downloaded: %1.").arg(failures.join(QStringLiteral(", "))));
    if (interrupted && missing > failures.size())
        fail(QStringLiteral("Stopped: %1 recordings not downloaded; a partial download is kept"
                            " for the next run.").arg(missing - failures.size()));
    return missing == 0 ? Done : SomeFailed;
}

int SyncRun::freeCard()
{
    qint64 bytes = 0;
    int staying = 0;
    const QVector<CardRecording> safe = engine->safeToDelete(&bytes, &staying);
    if (safe.isEmpty() && !engine->listedWhole()) {
        fail(QStringLiteral("The card is not freed: its listing was not whole."));
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
            fail(why);
        }
    }
    for (const QString& line : freeing.kept)
        fail(QStringLiteral("Kept on the card: %1.").arg(line));
    if (!freeing.freed.isEmpty() && !freeing.checked)
        fail(QStringLiteral("The card could not be listed again to see the deletes through."));
    say(QStringLiteral("Card freed of %1 recordings already in %2 (%3); %4 stay on it.")
            .arg(freeing.freed.size())
            .arg(QDir::toNativeSeparators(options.folder), sizeText(freeing.bytes))
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
    if (queue->isRunning()) {
        QEventLoop loop;
        connect(queue, &DownloadQueue::ended, &loop, &QEventLoop::quit);
        waitLoop = &loop;
        loop.exec();
        waitLoop = nullptr;
    }
    endProgressLine();
    return true;
}

void SyncRun::tellPlan()
{
    const QVector<CardRecording> files = engine->newRecordings();
    qint64 bytes = 0;
    for (const CardRecording& file : files) {
        bytes += std::max<qint64>(file.size, 0);
        say(QStringLiteral("would download %1 (%2)").arg(file.name, sizeText(file.size)));
    }
    say(QStringLiteral("%1 recordings would be downloaded (%2).").arg(files.size())
            .arg(sizeText(bytes)));
    if (!options.freeCard)
        return;
    qint64 freed = 0;
    int staying = 0;
    const QVector<CardRecording> safe = engine->safeToDelete(&freed, &staying);
    for (const CardRecording& file : safe)
        say(QStringLiteral("would delete %1 (%2)").arg(file.name, sizeText(file.size)));
    if (!engine->listedWhole()) {
        say(QStringLiteral("Nothing would be deleted: the card's listing was not whole."));
        return;
    }
    say(QStringLiteral("%1 recordings already in %2 would be deleted from the card (%3)%4.")
            .arg(safe.size())
            .arg(QDir::toNativeSeparators(options.folder), sizeText(freed),
                 files.isEmpty() ? QString()
                                 : QStringLiteral(", and each of the %1 above once it has"
                                                  " arrived").arg(files.size())));
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

void SyncRun::say(const QString& text) const
{
    if (options.quiet)
        return;
    const_cast<SyncRun*>(this)->endProgressLine();
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

void SyncRun::fail(const QString& text) const
{
    if (text.isEmpty())
        return;
    const_cast<SyncRun*>(this)->endProgressLine();
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
}

void SyncRun::showProgress(qint64 bytes, qint64 total)
{
    if (!terminal || options.quiet)
        return;
    const DownloadQueue* queue = engine->downloads();
    QString line = QStringLiteral("[%1/%2] %3  %4").arg(queue->position()).arg(queue->count())
                       .arg(currentFile, sizeText(bytes));
    if (total >= 0)
        line += QStringLiteral(" of ") + sizeText(total);
    if (bytes > 0) {
        line += QStringLiteral("  %1 MB/s").arg(meter.speed());
        if (meter.left() >= 0)
            line += QStringLiteral("  %1 left").arg(RateMeter::duration(meter.left()));
    }
    // Redrawn in place: back to the line's start, the text, blanks over the
    // rest of the last one (a console need not know escape sequences).
    const int blanks = std::max(0, progressWidth - line.size());
    std::printf("\r%s%s", qPrintable(line), qPrintable(QString(blanks, QLatin1Char(' '))));
    std::fflush(stdout);
    progressWidth = line.size();
    progressShown = true;
}

void SyncRun::endProgressLine()
{
    if (!progressShown)
        return;
    progressShown = false;
    std::printf("\r%s\r", qPrintable(QString(progressWidth, QLatin1Char(' '))));
    std::fflush(stdout);
    progressWidth = 0;
}
