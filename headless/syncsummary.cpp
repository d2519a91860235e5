// What a sync without a window tells: its plan in a dry run, a line for
// each file, the progress line on a terminal, and its summary as JSON.
#include "syncrun.h"

#include "cardengine.h"
#include "deviceaddresses.h"
#include "retention.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>

#include <algorithm>

void SyncRun::tellPlan()
{
    QVector<CardRecording> files;
    qint64 bytes = 0;
    const Retention retention(options.folder, options.limits);
    for (const CardRecording& file : engine->newRecordings()) {
        if (retention.wouldGoAtOnce(file.created, file.size)) {
            report.say(QStringLiteral("would leave %1 on the card: retention would remove it at"
                                      " once").arg(file.name));
            continue;
        }
        files << file;
        bytes += std::max<qint64>(file.size, 0);
        report.say(QStringLiteral("would download %1 (%2)")
                       .arg(file.name, RunReport::sizeText(file.size)));
    }
    for (const Retention::Held& held : engine->keepWithinLimits(false))
        report.say(QStringLiteral("would remove %1: %2")
                       .arg(held.saved.path, retention.reason(held)));
    report.say(QStringLiteral("%1 recordings would be downloaded (%2).").arg(files.size())
            .arg(RunReport::sizeText(bytes)));
    if (!options.freeCard)
        return;
    qint64 freed = 0;
    int staying = 0;
    const QVector<CardRecording> safe = engine->safeToDelete(&freed, &staying);
    for (const CardRecording& file : safe)
        report.say(QStringLiteral("would delete %1 (%2)")
                       .arg(file.name, RunReport::sizeText(file.size)));
    if (!engine->listedWhole()) {
        report.say(QStringLiteral("Nothing would be deleted: the card's listing was not whole."));
        return;
    }
    report.say(QStringLiteral("%1 recordings already in %2 would be deleted from the card (%3)%4.")
            .arg(safe.size())
            .arg(QDir::toNativeSeparators(options.folder), RunReport::sizeText(freed),
                 files.isEmpty() ? QString()
                                 : QStringLiteral(", and each of the %1 above once it has"
                                                  " arrived").arg(files.size())));
}

void SyncRun::showProgress(qint64 bytes, qint64 total)
{
    const DownloadQueue* queue = engine->downloads();
    QString line = QStringLiteral("[%1/%2] %3  %4").arg(queue->position()).arg(queue->count())
                       .arg(currentFile, RunReport::sizeText(bytes));
    if (total >= 0)
        line += QStringLiteral(" of ") + RunReport::sizeText(total);
    if (bytes > 0) {
        line += QStringLiteral("  %1 MB/s").arg(meter.speed());
        if (meter.left() >= 0)
            line += QStringLiteral("  %1 left").arg(RateMeter::duration(meter.left()));
    }
    report.progress(line);
}

void SyncRun::fileEnded(const QString& name, int result, const QString& where)
{
    using Result = DownloadQueue::FileResult;
    // Numbered as they finish: the next file starts while one is written out.
    const QString number =
        QStringLiteral("[%1/%2] ").arg(++finished).arg(engine->downloads()->count());
    switch (static_cast<Result>(result)) {
    case Result::Failed:
        report.fail(number + name + QStringLiteral(": not downloaded: ") + where);
        failed.append(QJsonObject{{"name", name}, {"reason", where}});
        return;
    case Result::AlreadySafe:
        ++already;
        // Told only where there is no progress line to show it.
        if (!report.isTerminal())
            report.say(number + name + QStringLiteral(": already in ") + where);
        return;
    case Result::Retired:
        ++skippedRemoved;
        report.say(number + name + QStringLiteral(": removed by retention before; left on the"
                                                  " card"));
        return;
    case Result::TooOld:
        ++skippedForAge;
        report.say(number + name + QStringLiteral(": left on the card, as retention would"
                                                  " remove it at once"));
        return;
    case Result::Arrived:
        break;
    }
    ++downloaded;
    downloadedBytes += QFileInfo(where).size();
    const QString saved = where.mid(options.folder.size());
    report.say(number + name + QStringLiteral(": downloaded, ")
               + RunReport::sizeText(QFileInfo(where).size())
               + (saved == name ? QString()
                                : QStringLiteral(", as ") + saved
                                      + (QFileInfo(where).fileName() == name
                                             ? QString()
                                             : QStringLiteral(" beside an older recording of"
                                                              " that name"))));
}

QJsonObject SyncRun::summary(int code) const
{
    const merro::Endpoint& camera = merro::deviceAddresses().camera;
    return QJsonObject{
        {"exit", code},
        {"seconds", clock.elapsed() / 1000.0},
        {"folder", QDir::toNativeSeparators(QDir(options.folder).absolutePath())},
        {"camera", QString::fromStdString(camera.text())},
        {"dryRun", options.dryRun},
        {"listed", listed},
        {"downloaded", downloaded},
        {"downloadedBytes", downloadedBytes},
        {"alreadyInFolder", already},
        {"skippedForAge", skippedForAge},
        {"skippedRemovedBefore", skippedRemoved},
        {"failed", failed},
        {"freed", freed},
        {"freedBytes", freedBytes},
        {"keptOnCard", kept},
        {"removedByRetention", removed},
    };
}
