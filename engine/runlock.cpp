#include "runlock.h"

#include "windowtexts.h"

#include <QDebug>
#include <QDir>

namespace {

QString holderOf(const QLockFile& lock, const QString& what)
{
    qint64 pid = 0;
    QString host;
    QString program;
    if (!lock.getLockInfo(&pid, &host, &program))
        return WindowTexts::tr("another program holds %1").arg(what);
    return WindowTexts::tr("%1 (process %2 on %3) holds %4").arg(program).arg(pid).arg(host, what);
}

} // namespace

RunLock::RunLock(const QString& folder, const QString& camera)
    : folder(folder)
    // Names with a space: no card file can take them.
    , folderLock(folder + QStringLiteral("download lock"))
    , cameraLock(QDir::temp().filePath(QStringLiteral("merro-download camera %1 lock")
                                           .arg(QString(camera).replace(QLatin1Char(':'),
                                                                        QLatin1Char('-')))))
{
    // Only a holder that is gone gives its lock up, however long it runs.
    folderLock.setStaleLockTime(0);
    cameraLock.setStaleLockTime(0);
}

bool RunLock::tryLock(bool sync, QString* holder)
{
    if (!QDir(folder).exists()) {
        qDebug() << "DCIM is not exist!";
        QDir().mkpath(folder);
    }
    if (!folderLock.isLocked() && !folderLock.tryLock(0)) {
        *holder = holderOf(folderLock, QDir::toNativeSeparators(QDir::cleanPath(folder)));
        return false;
    }
    if (sync && !cameraLock.isLocked() && !cameraLock.tryLock(0)) {
        *holder = holderOf(cameraLock, WindowTexts::tr("the camera"));
        folderLock.unlock();
        return false;
    }
    return true;
}

void RunLock::unlock()
{
    if (cameraLock.isLocked())
        cameraLock.unlock();
    folderLock.unlock();
}
