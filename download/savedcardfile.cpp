#include "savedcardfile.h"

#include "platformfile.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <chrono>

namespace {

// Written data is handed to the disk in steps of this size while it arrives,
// so that a sync finds little left to do.
constexpr long long kWriteBackStep = 8 * 1024 * 1024;
// How much a power cut may cost a resumed download: what arrived since the
// last sync is not trusted.
constexpr long long kSyncStep = 256 * 1024 * 1024;
// A smaller file is fetched again whole rather than resumed: a description
// of its own would cost more than the bytes.
constexpr long long kResumableFrom = 256 * 1024;

const char kTimeFormat[] = "yyyyMMddHHmmss";

struct Description
{
    qint64 size = -1;
    QString created;
    qint64 synced = 0;
};

Description readDescription(const QString& path)
{
    Description description;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return description;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QByteArray value = line.mid(line.indexOf('=') + 1);
        if (line.startsWith("size="))
            description.size = value.toLongLong();
        else if (line.startsWith("created="))
            description.created = QString::fromLatin1(value);
        else if (line.startsWith("synced="))
            description.synced = value.toLongLong();
    }
    return description;
}

} // namespace

SavedCardFile::SavedCardFile(const LocalArchive& archive, const CardRecording& recording)
    : archive(archive)
    , recording(recording)
    , part(archive.partialFolder() + recording.name)
    // A space: no card name, and so no partial download's bytes, can be this.
    , descriptionPath(part.fileName() + QStringLiteral(" description"))
{
}

SavedCardFile::~SavedCardFile()
{
    waitForSync();
    if (!part.isOpen())
        return;
    // Bytes that arrived are kept for the next try, when a description says
    // what they are; nothing is not worth keeping.
    if (written == 0 || !described) {
        discard();
        return;
    }
    checkpoint();
    part.close();
}

qint64 SavedCardFile::resumable() const
{
    if (recording.size < 0 || !recording.created.isValid())
        return 0;
    const Description kept = readDescription(descriptionPath);
    if (kept.size != recording.size || kept.created != recording.created.toString(kTimeFormat))
        return 0;
    const qint64 trusted = std::min(kept.synced, QFileInfo(part.fileName()).size());
    return trusted > 0 && trusted < kept.size ? trusted : 0;
}

void SavedCardFile::prepare()
{
    if (!QDir(archive.folder()).exists())
        qDebug() << "DCIM is not exist!";
    QDir().mkpath(archive.partialFolder());
}

bool SavedCardFile::open(long long from, long long total)
{
    this->total = total >= 0 ? total : recording.size;
    if (from > 0) {
        // What was never synced may be anything: it goes.
        if (!part.open(QIODevice::ReadWrite) || part.size() < from || !part.resize(from)
            || !part.seek(from)) {
            part.close();
            return false;
        }
        written = writtenBack = synced = from;
        described = true;
        return true;
    }
    // Old bytes first, then the new description: whatever step fails, no
    // description stands beside bytes it does not describe.
    if (QFile::exists(descriptionPath) && !QFile::remove(descriptionPath))
        return false;
    if (!part.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    written = writtenBack = synced = 0;
    described = this->total >= kResumableFrom;
    return !described || describe(0);
}

bool SavedCardFile::write(const char* data, int length)
{
    if (part.write(data, length) != length)
        return false;
    written += length;
    if (written - writtenBack >= kWriteBackStep) {
        if (!part.flush())
            return false;
        merro::fs::startWriteBack(part.handle(), writtenBack, written - writtenBack);
        writtenBack = written;
    }
    if (!described || written - synced < kSyncStep)
        return true;
    if (syncing.valid()) {
        // One sync at a time; a sync that ended makes room for the next.
        if (syncing.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return true;
        syncing.get();
        if (written - synced < kSyncStep)
            return true;
    }
    // On a thread of its own: the bytes keep coming while those before them
    // go to the disk, and only then does the description trust them.
    if (!part.flush())
        return false;
    syncing = std::async(std::launch::async, [this, fd = part.handle(), upto = written] {
        if (merro::fs::syncToDisk(fd) && describe(upto))
            synced = upto;
    });
    return true;
}

void SavedCardFile::waitForSync()
{
    if (syncing.valid())
        syncing.get();
}

bool SavedCardFile::checkpoint()
{
    waitForSync();
    if (!part.flush() || !merro::fs::syncToDisk(part.handle()))
        return false;
    synced = written;
    return describe(written);
}

bool SavedCardFile::describe(long long syncedBytes)
{
    QByteArray text;
    if (total >= 0)
        text += "size=" + QByteArray::number(total) + '\n';
    if (recording.created.isValid())
        text += "created=" + recording.created.toString(kTimeFormat).toLatin1() + '\n';
    text += "synced=" + QByteArray::number(syncedBytes) + '\n';
    QSaveFile description(descriptionPath);
    return description.open(QIODevice::WriteOnly) && description.write(text) == text.size()
           && description.commit();
}

bool SavedCardFile::finish()
{
    // A description written after the file got its name would describe nothing.
    waitForSync();
    if (!part.flush() || !merro::fs::syncToDisk(part.handle()))
        return false;
    // Set before the rename, which keeps it; nothing is written after.
    if (recording.created.isValid())
        part.setFileTime(recording.created, QFileDevice::FileModificationTime);
    part.close();
    CardRecording arrived = recording;
    arrived.size = written;
    const QString target = archive.destinationFor(arrived);
    if (target.isEmpty() || !merro::fs::replaceFile(part.fileName(), target))
        return false;
    QFile::remove(descriptionPath);
    saved = target;
    return true;
}

void SavedCardFile::discard()
{
    waitForSync();
    part.close();
    // The description first: bytes without one are never trusted.
    QFile::remove(descriptionPath);
    QFile::remove(part.fileName());
}
