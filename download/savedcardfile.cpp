#include "savedcardfile.h"

#include "platformfile.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <algorithm>
#include <chrono>

namespace {

// Bytes wait in memory until there is this much: one write a step.
constexpr int kPendingStep = 64 * 1024;
// Written data is handed to the disk in steps of this size while it arrives,
// so that a sync finds little left to do.
constexpr long long kWriteBackStep = 8 * 1024 * 1024;
// How much a power cut may cost a resumed download: what arrived since the
// last sync is not trusted.
constexpr long long kSyncStep = 256 * 1024 * 1024;
// A smaller file is fetched again whole rather than resumed: a description
// of its own would cost more than the bytes.
constexpr long long kResumableFrom = 256 * 1024;
// On a full disk, what is given up so that the description fits.
constexpr long long kRoomStep = 64 * 1024;

const char kTimeFormat[] = "yyyyMMddHHmmss";

struct Description
{
    qint64 size = -1;
    QByteArray created;
    qint64 synced = 0;
};

Description readDescription(const QString& path)
{
    Description description;
    QFile file(path);
    if (!LocalArchive::isRegularFile(path) || !file.open(QIODevice::ReadOnly))
        return description;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QByteArray value = line.mid(line.indexOf('=') + 1);
        if (line.startsWith("size="))
            description.size = value.toLongLong();
        else if (line.startsWith("created="))
            description.created = value;
        else if (line.startsWith("synced="))
            description.synced = value.toLongLong();
    }
    return description;
}

// Gone, unless something other than a regular file stands there.
void removeRegular(const QString& path)
{
    if (LocalArchive::isRegularFile(path))
        QFile::remove(path);
}

} // namespace

SavedCardFile::SavedCardFile(const LocalArchive& archive, const CardRecording& recording)
    : archive(archive)
    , recording(recording)
    , partPath(archive.partialFolder() + recording.name)
    // A space: no card name, and so no partial download's bytes, can be this.
    , descriptionPath(partPath + QStringLiteral(" description"))
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

QByteArray SavedCardFile::timeText() const
{
    return recording.createdText.isEmpty() ? recording.created.toString(kTimeFormat).toLatin1()
                                           : recording.createdText;
}

bool SavedCardFile::partialFolderIsOwn() const
{
    const QFileInfo folder(QDir::cleanPath(archive.partialFolder()));
    return !folder.isSymLink() && folder.isDir();
}

qint64 SavedCardFile::resumable() const
{
    if (recording.size < 0 || !recording.created.isValid() || !partialFolderIsOwn()
        || !LocalArchive::isRegularFile(partPath))
        return 0;
    const Description kept = readDescription(descriptionPath);
    if (kept.size != recording.size || kept.created != timeText())
        return 0;
    const qint64 trusted = std::min(kept.synced, QFileInfo(partPath).size());
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
    written = stored = writtenBack = synced = 0;
    pending.clear();
    if (from > 0) {
        // What was never synced may be anything: it goes.
        const int fd = merro::fs::openRegularFile(partPath, false, false);
        if (fd < 0 || !part.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered,
                                 QFileDevice::AutoCloseHandle)
            || part.size() < from || !part.resize(from) || !part.seek(from)) {
            part.close();
            return false;
        }
        written = stored = writtenBack = synced = from;
        described = true;
        // The kept bytes are hashed once, then what follows them.
        hash = std::make_unique<StreamHash>();
        hash->startWith(partPath, from);
        return true;
    }
    hash = std::make_unique<StreamHash>();
    const auto freeOrRegular = [](const QString& path) {
        const QFileInfo info(path);
        return LocalArchive::isRegularFile(path) || (!info.exists() && !info.isSymLink());
    };
    if (!partialFolderIsOwn() || !freeOrRegular(partPath) || !freeOrRegular(descriptionPath))
        return openElsewhere();
    // Old bytes first, then the new description: whatever step fails, no
    // description stands beside bytes it does not describe.
    if (QFile::exists(descriptionPath) && !QFile::remove(descriptionPath))
        return false;
    const int fd = merro::fs::openRegularFile(partPath, true, true);
    if (fd < 0 || !part.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered,
                             QFileDevice::AutoCloseHandle))
        return false;
    described = this->total >= kResumableFrom;
    return !described || describe(0);
}

bool SavedCardFile::openElsewhere()
{
    const bool partialOwn = partialFolderIsOwn();
    for (const QString& path : {QDir::cleanPath(archive.partialFolder()), partPath,
                                descriptionPath}) {
        if (QFileInfo(path).isSymLink()) {
            link = path;
            break;
        }
    }
    ownName = false;
    described = false;
    // A space and a random tail: no card name, and no other download, takes it.
    const QString stem = (partialOwn ? archive.partialFolder() : archive.folder())
                         + recording.name + QStringLiteral(" partial ");
    for (int attempt = 0; attempt < 100; ++attempt) {
        partPath = stem + QString::number(QRandomGenerator::global()->generate(), 16);
        const int fd = merro::fs::openRegularFile(partPath, true, true, true);
        if (fd >= 0)
            return part.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered,
                             QFileDevice::AutoCloseHandle);
    }
    return false;
}

bool SavedCardFile::write(const char* data, int length)
{
    pending.append(data, length);
    written += length;
    if (pending.size() >= kPendingStep && !flushPending())
        return false;
    if (stored - writtenBack >= kWriteBackStep) {
        merro::fs::startWriteBack(part.handle(), writtenBack, stored - writtenBack);
        writtenBack = stored;
    }
    if (!described || stored - synced < kSyncStep)
        return true;
    if (syncing.valid()) {
        // One sync at a time; a sync that ended makes room for the next.
        if (syncing.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return true;
        syncing.get();
        if (stored - synced < kSyncStep)
            return true;
    }
    // On a thread of its own: the bytes keep coming while those before them
    // go to the disk, and only then does the description trust them.
    syncing = std::async(std::launch::async, [this, fd = part.handle(), upto = stored] {
        if (merro::fs::syncToDisk(fd) && describe(upto))
            synced = upto;
    });
    return true;
}

bool SavedCardFile::flushPending()
{
    if (pending.isEmpty())
        return true;
    hash->add(pending);
    const qint64 put = part.write(pending);
    if (put != pending.size()) {
        // What the disk took stays; the rest is gone with the space.
        stored = std::min<long long>(part.size(), stored + std::max<qint64>(put, 0));
        pending.clear();
        diskFull = true;
        return false;
    }
    stored += put;
    pending.clear();
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
    if (!flushPending() || diskFull) {
        // A full disk: a little of the end goes, so that the description fits.
        stored = std::max(0LL, (stored - 1) / kRoomStep * kRoomStep);
        part.resize(stored);
    }
    if (!merro::fs::syncToDisk(part.handle()))
        return false;
    synced = stored;
    return describe(stored);
}

bool SavedCardFile::describe(long long syncedBytes)
{
    QByteArray text;
    if (total >= 0)
        text += "size=" + QByteArray::number(total) + '\n';
    if (recording.created.isValid())
        text += "created=" + timeText() + '\n';
    text += "synced=" + QByteArray::number(syncedBytes) + '\n';
    QSaveFile description(descriptionPath);
    return description.open(QIODevice::WriteOnly) && description.write(text) == text.size()
           && description.commit();
}

bool SavedCardFile::finish()
{
    // A description written after the file got its name would describe nothing.
    waitForSync();
    if (!flushPending() || !merro::fs::syncToDisk(part.handle()))
        return false;
    // Set before the rename, which keeps it; nothing is written after.
    if (recording.created.isValid())
        part.setFileTime(recording.created, QFileDevice::FileModificationTime);
    part.close();
    CardRecording arrived = recording;
    arrived.size = written;
    digest = hash->finish();
    const QString target = archive.destinationFor(arrived, partPath);
    if (digest.isEmpty() || target.isEmpty() || !merro::fs::replaceFile(partPath, target))
        return false;
    if (ownName)
        removeRegular(descriptionPath);
    saved = target;
    return true;
}

void SavedCardFile::discard()
{
    waitForSync();
    part.close();
    // The description first: bytes without one are never trusted.
    if (ownName)
        removeRegular(descriptionPath);
    removeRegular(partPath);
}
