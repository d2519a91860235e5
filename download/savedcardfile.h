#pragma once

#include "cardfiletransfer.h"

#include <QDateTime>
#include <QSaveFile>
#include <QString>

// The local copy of a card file. Until finish() the body lives in a temporary
// file beside the target, so a download that fails leaves an older copy of
// the same name as it was.
class SavedCardFile : public download::FileSink
{
public:
    // `folder` ends in '/'; `created`, if valid, becomes the file's time.
    SavedCardFile(const QString& folder, const QString& name, const QDateTime& created);

    void prepare() override;
    bool open() override;
    bool write(const char* data, int length) override;
    bool finish() override;

private:
    QString folder;
    QDateTime created;
    QSaveFile file;
    long long written = 0;
    long long writtenBack = 0;
};
