#include "savedcardfile.h"

#include "platformfile.h"

#include <QDebug>
#include <QDir>

namespace {

// Written data is handed to the disk in steps of this size while it arrives,
// so that the sync before the rename finds little left to do.
constexpr long long kWriteBackStep = 8 * 1024 * 1024;

} // namespace

SavedCardFile::SavedCardFile(const QString& folder, const QString& name, const QDateTime& created)
    : folder(folder), created(created), file(folder + name)
{
}

void SavedCardFile::prepare()
{
    if (!QDir(folder).exists()) {
        qDebug() << "DCIM is not exist!";
        QDir().mkdir(folder);
    }
}

bool SavedCardFile::open()
{
    return file.open(QIODevice::WriteOnly);
}

bool SavedCardFile::write(const char* data, int length)
{
    if (file.write(data, length) != length)
        return false;
    written += length;
    if (written - writtenBack >= kWriteBackStep) {
        if (!file.flush())
            return false;
        merro::fs::startWriteBack(file.handle(), writtenBack, written - writtenBack);
        writtenBack = written;
    }
    return true;
}

bool SavedCardFile::finish()
{
    if (!file.flush())
        return false;
    // Set on the temporary file: the rename keeps it, and nothing is written after.
    if (created.isValid())
        file.setFileTime(created, QFileDevice::FileModificationTime);
    return file.commit();
}
