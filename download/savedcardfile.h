#pragma once

#include "cardfiletransfer.h"

#include <QDateTime>
#include <QFile>
#include <QString>

// The local copy of a card file. The body goes to "<name>.part" beside the
// target and takes the card file's name only when it is whole, so a download
// that fails leaves an older copy of the same name as it was. A transfer that
// breaks off keeps its .part, with what it belongs to in "<name>.part.meta",
// and the next download of the same recording asks for the rest only.
class SavedCardFile : public download::FileSink
{
public:
    // `folder` ends in '/'. `created` (if valid) becomes the file's time;
    // `size` is the listed size, -1 if unknown.
    SavedCardFile(const QString& folder, const QString& name, const QDateTime& created,
                  qint64 size);
    ~SavedCardFile() override;

    // Bytes of a .part kept for this very recording (the same size and, where
    // both are known, the same time), which a download can go on from; 0 if
    // there is none. *total: the recording's size as the .part knows it.
    qint64 resumable(qint64* total = nullptr) const;

    void prepare() override;
    bool open(long long from, long long total) override;
    bool write(const char* data, int length) override;
    bool finish() override;
    void discard() override;

    static QString partSuffix() { return QStringLiteral(".part"); }

private:
    QString target;
    QDateTime created;
    qint64 size;
    QFile part;
    long long written = 0;
    long long writtenBack = 0;
};
