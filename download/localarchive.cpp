#include "localarchive.h"

#include <QFileInfo>

namespace {

// Enough for any one name: each further one is a recording kept beside.
constexpr int kMaxCandidates = 1000;
// FAT keeps modification times in 2 s steps.
constexpr qint64 kTimeStepSeconds = 2;
constexpr qint64 kDaylightShiftSeconds = 3600;

bool isCopy(const QFileInfo& local, const CardRecording& recording)
{
    return recording.size >= 0 && local.isFile() && local.size() == recording.size
           && (!recording.created.isValid()
               || LocalArchive::sameTime(local.lastModified(), recording.created));
}

} // namespace

LocalArchive::LocalArchive(const QString& folder) : root(folder)
{
}

QString LocalArchive::partialFolder() const
{
    return root + QStringLiteral("partial downloads/");
}

bool LocalArchive::sameTime(const QDateTime& a, const QDateTime& b)
{
    if (!a.isValid() || !b.isValid())
        return false;
    const qint64 apart = qAbs(a.toSecsSinceEpoch() - b.toSecsSinceEpoch());
    return apart <= kTimeStepSeconds || qAbs(apart - kDaylightShiftSeconds) <= kTimeStepSeconds;
}

QString LocalArchive::copyPrefix(const QString& name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return (dot > 0 ? name.left(dot) : name) + QLatin1Char('_');
}

QString LocalArchive::candidate(const CardRecording& recording, int index) const
{
    if (index == 0)
        return root + recording.name;
    QString tag;
    if (recording.created.isValid())
        tag = recording.created.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    else if (recording.size >= 0)
        tag = QString::number(recording.size) + QLatin1Char('B');
    else
        return QString();
    if (index > 1)
        tag += QLatin1Char('_') + QString::number(index);
    const int dot = recording.name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot > 0 ? recording.name.mid(dot) : QString();
    return root + copyPrefix(recording.name) + tag + extension;
}

QString LocalArchive::copyOf(const CardRecording& recording) const
{
    if (recording.size < 0)
        return QString();
    // Its own name, its first other name, then on while the names are taken.
    for (int index = 0; index < kMaxCandidates; ++index) {
        const QString path = candidate(recording, index);
        if (path.isEmpty())
            break;
        const QFileInfo local(path);
        if (isCopy(local, recording))
            return path;
        if (index > 0 && !local.exists())
            break;
    }
    return QString();
}

QString LocalArchive::destinationFor(const CardRecording& recording) const
{
    for (int index = 0; index < kMaxCandidates; ++index) {
        const QString path = candidate(recording, index);
        if (path.isEmpty())
            break;
        const QFileInfo local(path);
        if (!local.exists())
            return path;
        if (!local.isFile())
            continue;
        const bool same = recording.created.isValid()
                              ? sameTime(local.lastModified(), recording.created)
                              : local.size() == recording.size;
        // The same recording, whole or grown since, replaces its copy; a
        // shorter one never overwrites it.
        if (same && recording.size >= local.size())
            return path;
    }
    return QString();
}
