#include "verifyrun.h"

#include "archivecheck.h"
#include "journal.h"
#include "platformterminal.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

VerifyRun::VerifyRun(const Options& chosen, QObject* parent)
    : QObject(parent), options(chosen), report(false, chosen.json)
{
    if (!options.folder.endsWith(QLatin1Char('/')))
        options.folder += QLatin1Char('/');
}

int VerifyRun::run()
{
    QElapsedTimer clock;
    clock.start();
    const QString folder = QDir::toNativeSeparators(QDir(options.folder).absolutePath());
    if (!QFileInfo::exists(Journal::pathIn(options.folder)))
        report.say(QStringLiteral("No download journal in %1: nothing to verify.").arg(folder));
    ArchiveCheck check(options.folder, Journal::read(options.folder));
    const int files = check.items().size();
    QJsonArray missing;
    QJsonArray changed;
    connect(&check, &ArchiveCheck::itemChecked, this, [&](int index, int state) {
        const QString path = check.items().at(index).saved.path;
        if (state == static_cast<int>(ArchiveCheck::State::Missing)) {
            report.fail(QStringLiteral("missing: %1").arg(path));
            missing.append(path);
        } else if (state == static_cast<int>(ArchiveCheck::State::Changed)) {
            report.fail(QStringLiteral("changed since it arrived: %1").arg(path));
            changed.append(path);
        }
    });
    int done = 0;
    connect(&check, &ArchiveCheck::progress, this, [&](int checked, qint64 bytes) {
        done = checked;
        report.progress(QStringLiteral("verify: %1 of %2 files, %3 of %4")
                            .arg(checked)
                            .arg(files)
                            .arg(RunReport::sizeText(bytes),
                                 RunReport::sizeText(check.totalBytes())));
    });
    QEventLoop loop;
    connect(&check, &QThread::finished, &loop, &QEventLoop::quit);
    bool stopped = false;
    merro::term::onInterrupt(this, [&] {
        stopped = true;
        check.stop();
    });
    check.start();
    loop.exec();
    report.endProgressLine();
    const int holding = done - missing.size() - changed.size();
    report.say(QStringLiteral("%1 of %2 recordings in %3 hold their checksums; %4 changed, %5"
                              " missing%6.")
                   .arg(holding)
                   .arg(files)
                   .arg(folder)
                   .arg(changed.size())
                   .arg(missing.size())
                   .arg(stopped ? QStringLiteral("; stopped before the end") : QString()));
    const int code = holding == files ? 0 : 1;
    report.summary(QJsonObject{{"exit", code},
                               {"seconds", clock.elapsed() / 1000.0},
                               {"folder", folder},
                               {"files", files},
                               {"bytes", check.totalBytes()},
                               {"holding", holding},
                               {"unchecked", files - done},
                               {"missing", missing},
                               {"changed", changed}});
    return code;
}
