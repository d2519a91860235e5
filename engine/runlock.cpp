#include "runlock.h"

#include "downloadqueue.h"
#include "platformfile.h"
#include "windowtexts.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QRandomGenerator>
#include <QSysInfo>

#include <cerrno>

namespace {

QString holderOf(const QString& path, const QString& what)
{
    const QList<QByteArray> lines = merro::fs::FileLock::holderOf(path).split('\n');
    if (lines.size() < 3 || lines[0].toLongLong() <= 0)
        return WindowTexts::tr("another program holds %1").arg(what);
    return WindowTexts::tr("%1 (process %2 on %3) holds %4")
        .arg(QString::fromUtf8(lines[2]))
        .arg(lines[0].toLongLong())
        .arg(QString::fromUtf8(lines[1]), what);
}

QByteArray me()
{
    return QByteArray::number(QCoreApplication::applicationPid()) + '\n'
           + QSysInfo::machineHostName().toUtf8() + '\n'
           + QCoreApplication::applicationName().toUtf8() + '\n';
}

QString folderName(const QString& folder, bool absolute = false)
{
    return QDir::toNativeSeparators(
        QDir::cleanPath(absolute ? QDir(folder).absolutePath() : folder));
}

QString unwritable(const QString& folder, const QString& reason)
{
    return WindowTexts::tr("Cannot write to the download folder %1: %2. Choose another with"
                           " --dcim DIR or the setting download/dcim.")
        .arg(folderName(folder, true), reason);
}

} // namespace

RunLock::RunLock(const QString& folder, const QString& camera)
    : folder(folder)
    // Names with a space: no card file can take them.
    , folderLockPath(folder + QStringLiteral("download lock"))
    , cameraLockPath(QDir::temp().filePath(QStringLiteral("merro-download camera %1 lock")
                                               .arg(QString(camera).replace(QLatin1Char(':'),
                                                                            QLatin1Char('-')))))
    , folderLock(folderLockPath)
    , cameraLock(cameraLockPath)
{
}

RunLock::Result RunLock::tryLock(bool sync, QString* why)
{
    if (!QDir(folder).exists()) {
        qDebug() << "DCIM is not exist!";
        const QString reason = merro::fs::makeFolders(folder);
        if (!reason.isEmpty()) {
            *why = unwritable(folder, reason);
            return Result::Unwritable;
        }
    }
    switch (folderLock.tryLock(me())) {
    case merro::fs::FileLock::Result::Taken:
        break;
    case merro::fs::FileLock::Result::Held:
        *why = holderOf(folderLockPath, folderName(folder));
        return Result::Busy;
    case merro::fs::FileLock::Result::Failed:
        *why = unwritable(folder, folderLock.error());
        return Result::Unwritable;
    }
    if (!sync)
        return Result::Held;
    switch (cameraLock.tryLock(me())) {
    case merro::fs::FileLock::Result::Taken:
        return Result::Held;
    case merro::fs::FileLock::Result::Held:
        *why = holderOf(cameraLockPath, WindowTexts::tr("the camera"));
        break;
    case merro::fs::FileLock::Result::Failed:
        *why = WindowTexts::tr("Cannot lock the camera in %1: %2.")
                   .arg(QDir::toNativeSeparators(QDir::tempPath()), cameraLock.error());
        break;
    }
    folderLock.unlock();
    return Result::Busy;
}

QString RunLock::problemWith(const QString& folder)
{
    const QString existing = DownloadQueue::existingFolderOf(folder);
    if (existing.isEmpty())
        return unwritable(folder, qt_error_string(ENOTDIR));
    // A file that only this can have made, gone again at once.
    const QString probe = existing + QStringLiteral("/.merro-probe-")
                          + QString::number(QRandomGenerator::global()->generate(), 16);
    const int fd = merro::fs::openRegularFile(probe, true, false, true);
    if (fd < 0)
        return unwritable(folder, qt_error_string(errno));
    QFile opened;
    opened.open(fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle);
    opened.close();
    QFile::remove(probe);
    return QString();
}

void RunLock::unlock()
{
    cameraLock.unlock();
    folderLock.unlock();
}
