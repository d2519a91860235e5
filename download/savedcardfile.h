#pragma once

#include "cardfiletransfer.h"
#include "localarchive.h"

#include <QFile>
#include <QString>

#include <atomic>
#include <future>

// The local copy of a card recording while it arrives. The bytes go to the
// archive's partial folder, where no card name reaches, with a description
// of the recording beside them; they take a name in the download folder only
// when they are whole. A transfer that breaks off keeps them, and the next
// download of that very recording asks for the rest only.
class SavedCardFile : public download::FileSink
{
public:
    SavedCardFile(const LocalArchive& archive, const CardRecording& recording);
    ~SavedCardFile() override;

    // Bytes kept of this very recording that a download can go on from: only
    // when the description names the same size and recording time, both
    // known, and only as far as they were synced to disk. 0 otherwise.
    qint64 resumable() const;
    // Where finish() put the file.
    QString savedAs() const { return saved; }

    void prepare() override;
    bool open(long long from, long long total) override;
    bool write(const char* data, int length) override;
    bool finish() override;
    void discard() override;

private:
    bool describe(long long syncedBytes);
    // The bytes so far to disk, then the description that trusts them.
    bool checkpoint();
    // Until the sync under way (if any) is over.
    void waitForSync();

    LocalArchive archive;
    CardRecording recording;
    QFile part;
    QString descriptionPath;
    QString saved;
    long long total = -1;
    long long written = 0;
    long long writtenBack = 0;
    std::atomic<long long> synced{0};
    std::future<void> syncing; // a sync of what came before, on a thread of its own
    bool described = false;    // the bytes can be resumed from
};
