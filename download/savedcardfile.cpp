#include "savedcardfile.h"

#include "platformfile.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// Written data is handed to the disk in steps of this size while it arrives,
// so that the sync before the rename finds little left to do.
constexpr long long kWriteBackStep = 8 * 1024 * 1024;

QString metaPathOf(const QString& partPath)
{
    return partPath + QStringLiteral(".meta");
}

} // namespace

SavedCardFile::SavedCardFile(const QString& folder, const QString& name,
                             const QDateTime& created, qint64 size)
    : target(folder + name), created(created), size(size), part(target + partSuffix())
{
}

SavedCardFile::~SavedCardFile()
{
    if (!part.isOpen())
        return;
    part.close();
    // Bytes that arrived are kept for the next try; nothing is not worth keeping.
    if (part.size() == 0)
        discard();
}

qint64 SavedCardFile::resumable(qint64* total) const
{
    QFile meta(metaPathOf(part.fileName()));
    if (!meta.open(QIODevice::ReadOnly))
        return 0;
    qint64 keptSize = -1;
    QDateTime keptTime;
    for (const QByteArray& line : meta.readAll().split('\n')) {
        if (line.startsWith("size="))
            keptSize = line.mid(5).toLongLong();
        else if (line.startsWith("created="))
            keptTime = QDateTime::fromString(QString::fromLatin1(line.mid(8)), Qt::ISODate);
    }
    const qint64 kept = QFileInfo(part.fileName()).size();
    const bool same = keptSize > kept && (size < 0 || size == keptSize)
                      && (!created.isValid() || !keptTime.isValid() || created == keptTime);
    if (!same || kept <= 0)
        return 0;
    if (total)
        *total = keptSize;
    return kept;
}

void SavedCardFile::prepare()
{
    const QString folder = QFileInfo(target).path();
    if (!QDir(folder).exists()) {
        qDebug() << "DCIM is not exist!";
        QDir().mkdir(folder);
    }
}

bool SavedCardFile::open(long long from, long long total)
{
    if (from > 0) {
        if (!part.open(QIODevice::ReadWrite) || part.size() != from || !part.seek(from))
            return false;
        written = writtenBack = from;
        return true;
    }
    // What the bytes belong to, written before the first of them, so that a
    // .part is never without it.
    QSaveFile meta(metaPathOf(part.fileName()));
    QByteArray text;
    if (total >= 0)
        text += "size=" + QByteArray::number(total) + '\n';
    if (created.isValid())
        text += "created=" + created.toString(Qt::ISODate).toLatin1() + '\n';
    if (!meta.open(QIODevice::WriteOnly) || meta.write(text) != text.size() || !meta.commit())
        return false;
    written = writtenBack = 0;
    return part.open(QIODevice::WriteOnly | QIODevice::Truncate);
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
    return true;
}

bool SavedCardFile::finish()
{
    if (!part.flush() || !merro::fs::syncToDisk(part.handle()))
        return false;
    // Set before the rename, which keeps it; nothing is written after.
    if (created.isValid())
        part.setFileTime(created, QFileDevice::FileModificationTime);
    part.close();
    if (!merro::fs::replaceFile(part.fileName(), target))
        return false;
    QFile::remove(metaPathOf(part.fileName()));
    return true;
}

void SavedCardFile::discard()
{
    part.close();
    QFile::remove(part.fileName());
    QFile::remove(metaPathOf(part.fileName()));
}
