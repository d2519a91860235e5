#include "localarchive.h"

#include "journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <vector>

namespace {

// Enough for any one name: each further one is a recording kept beside.
constexpr int kMaxCandidates = 1000;
// FAT keeps modification times in 2 s steps.
constexpr qint64 kTimeStepSeconds = 2;
constexpr qint64 kDaylightShiftSeconds = 3600;
constexpr qint64 kCompareBlock = 1024 * 1024;

bool isCopy(const QString& path, const CardRecording& recording)
{
    const QFileInfo local(path);
    if (recording.size < 0 || !LocalArchive::isRegularFile(path)
        || local.size() != recording.size)
        return false;
    // A time given but unreadable tells nothing: size alone would take any
    // other recording of that size for this one.
    if (recording.timeUnreadable())
        return false;
    return !recording.created.isValid()
           || LocalArchive::sameTime(local.lastModified(), recording.created);
}

} // namespace

LocalArchive::LocalArchive(const QString& folder, Layout layout) : root(folder), layout(layout)
{
}

bool LocalArchive::layoutNamed(const QString& word, Layout* chosen)
{
    const QStringList words = {QStringLiteral("flat"), QStringLiteral("day"),
                               QStringLiteral("month")};
    const int at = words.indexOf(word);
    if (at >= 0)
        *chosen = static_cast<Layout>(at);
    return at >= 0;
}

QString LocalArchive::datedFolder(const CardRecording& recording, Layout layout)
{
    if (layout == Layout::Flat)
        return QString();
    // The camera's own date: the day it wrote on the clip, whatever the zone.
    const QByteArray& text = recording.createdText;
    QString day;
    if (text.size() == 14 && recording.created.isValid())
        day = QString::fromLatin1(text.left(4) + '-' + text.mid(4, 2) + '-' + text.mid(6, 2));
    else if (recording.created.isValid())
        day = recording.created.toString(QStringLiteral("yyyy-MM-dd"));
    if (day.isEmpty())
        return QString();
    return (layout == Layout::Day ? day : day.left(7)) + QLatin1Char('/');
}

QStringList LocalArchive::placesOf(const CardRecording& recording) const
{
    QStringList places = {QString()};
    for (const Layout dated : {Layout::Day, Layout::Month}) {
        const QString sub = datedFolder(recording, dated);
        const QFileInfo info(root + sub);
        // A link in a dated folder's place is no place of the archive's.
        if (!sub.isEmpty() && info.isDir() && !QFileInfo(QDir::cleanPath(root + sub)).isSymLink())
            places << sub;
    }
    return places;
}

bool LocalArchive::retired(const CardRecording& recording) const
{
    JournalIndex::Held held;
    return JournalIndex::find(root, recording, &held) && held.removed;
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

bool LocalArchive::isRegularFile(const QString& path)
{
    const QFileInfo info(path);
    return !info.isSymLink() && info.isFile();
}

bool LocalArchive::beginsWith(const QString& path, const QString& start)
{
    QFile whole(path);
    QFile head(start);
    if (!whole.open(QIODevice::ReadOnly) || !head.open(QIODevice::ReadOnly)
        || head.size() > whole.size())
        return false;
    std::vector<char> a(kCompareBlock);
    std::vector<char> b(kCompareBlock);
    for (qint64 left = head.size(); left > 0;) {
        const qint64 piece = std::min(left, kCompareBlock);
        if (head.read(a.data(), piece) != piece || whole.read(b.data(), piece) != piece
            || std::equal(a.begin(), a.begin() + piece, b.begin()) == false)
            return false;
        left -= piece;
    }
    return true;
}

QString LocalArchive::candidate(const CardRecording& recording, int index,
                                const QString& sub) const
{
    if (index == 0)
        return root + sub + recording.name;
    QString tag;
    if (recording.created.isValid()) {
        // The camera's own digits: a time its clock gave once, whatever the zone.
        const QByteArray& text = recording.createdText;
        tag = text.size() == 14 ? QString::fromLatin1(text.left(8) + '-' + text.mid(8))
                                : recording.created.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    } else if (recording.size >= 0) {
        tag = QString::number(recording.size) + QLatin1Char('B');
    } else {
        return QString();
    }
    if (index > 1)
        tag += QLatin1Char('_') + QString::number(index);
    const int dot = recording.name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot > 0 ? recording.name.mid(dot) : QString();
    return root + sub + copyPrefix(recording.name) + tag + extension;
}

QStringList LocalArchive::copiesOf(const CardRecording& recording) const
{
    QStringList copies;
    if (recording.size < 0)
        return copies;
    // What the journal says first: the file it was saved as, if it still is.
    JournalIndex::Held held;
    if (JournalIndex::find(root, recording, &held) && !held.removed
        && !recording.timeUnreadable()) {
        const QString path = root + held.path;
        if (!held.path.contains(QLatin1String("..")) && isRegularFile(path)
            && QFileInfo(path).size() == recording.size)
            copies << path;
    }
    for (const QString& sub : placesOf(recording)) {
        // Its own name, its first other name, then on while the names are taken.
        for (int index = 0; index < kMaxCandidates; ++index) {
            const QString path = candidate(recording, index, sub);
            if (path.isEmpty())
                break;
            const QFileInfo local(path);
            if (isCopy(path, recording) && !copies.contains(path))
                copies << path;
            else if (index > 0 && !local.exists() && !local.isSymLink())
                break;
        }
    }
    return copies;
}

QString LocalArchive::copyOf(const CardRecording& recording, const QSet<QString>& ruledOut) const
{
    for (const QString& path : copiesOf(recording)) {
        if (!ruledOut.contains(path))
            return path;
    }
    return QString();
}

QStringList LocalArchive::linksFor(const CardRecording& recording) const
{
    QStringList links;
    const QString sub = datedFolder(recording, layout);
    if (!sub.isEmpty() && QFileInfo(QDir::cleanPath(root + sub)).isSymLink())
        links << QDir::cleanPath(root + sub);
    for (int index = 0; index < kMaxCandidates; ++index) {
        const QString path = candidate(recording, index, sub);
        const QFileInfo local(path);
        if (path.isEmpty() || (index > 0 && !local.exists() && !local.isSymLink()))
            break;
        if (local.isSymLink())
            links << path;
    }
    return links;
}

QString LocalArchive::destinationFor(const CardRecording& recording, const QString& arrived) const
{
    QString sub = datedFolder(recording, layout);
    // A dated folder is made when its first recording comes; a link in its
    // place is left alone, and the recording goes to the folder itself.
    const QString dated = QDir::cleanPath(root + sub);
    if (!sub.isEmpty() && (QFileInfo(dated).isSymLink()
                           || (!QFileInfo(dated).isDir() && !QDir().mkdir(dated))
                           || !QFileInfo(dated).isDir()))
        sub.clear();
    for (int index = 0; index < kMaxCandidates; ++index) {
        const QString path = candidate(recording, index, sub);
        if (path.isEmpty())
            break;
        const QFileInfo local(path);
        if (!local.exists() && !local.isSymLink())
            return path;
        // A link, or anything but a file, holds the name: it is left alone.
        if (!isRegularFile(path))
            continue;
        const bool same = recording.created.isValid()
                              ? sameTime(local.lastModified(), recording.created)
                              : local.size() == recording.size;
        // The same recording, whole or grown since, replaces its copy: only
        // when what the copy holds is where the new file starts.
        if (same && recording.size >= local.size() && beginsWith(arrived, path))
            return path;
    }
    return QString();
}
