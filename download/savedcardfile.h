#pragma once

#include "cardfiletransfer.h"
#include "localarchive.h"
#include "streamhash.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <future>
#include <memory>

// The local copy of a card recording while it arrives. The bytes go to the
// archive's partial folder, where no card name reaches, with a description
// of the recording beside them; they take a name in the download folder only
// when they are whole. A transfer that breaks off keeps them, and the next
// download of that very recording asks for the rest only. No link in the
// download folder is followed: where one stands, the bytes go to a file of
// their own instead, and the link is left alone.
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
    // The SHA-256 (hex) of the bytes as they arrived, once finish() is done.
    QByteArray sha256() const { return digest; }
    // A link that stood where the bytes or their description would go, and
    // was left alone; empty when none did.
    QString linkFound() const { return link; }

    void prepare() override;
    bool open(long long from, long long total) override;
    bool write(const char* data, int length) override;
    bool finish() override;
    void discard() override;

private:
    bool partialFolderIsOwn() const;
    // A file of its own, never resumed, when the usual place is taken.
    bool openElsewhere();
    bool describe(long long syncedBytes);
    QByteArray timeText() const;
    // What waits in memory, to the file.
    bool flushPending();
    // The bytes so far to disk, then the description that trusts them. A
    // full disk keeps what reached it, less a little to make room.
    bool checkpoint();
    // Until the sync under way (if any) is over.
    void waitForSync();

    LocalArchive archive;
    CardRecording recording;
    QString partPath;
    QString descriptionPath;
    bool ownName = true; // the bytes are under the card name in the partial folder
    QFile part;
    QByteArray pending;
    QString saved;
    QString link;
    std::unique_ptr<StreamHash> hash;
    QByteArray digest;
    long long total = -1;
    long long written = 0; // taken from the camera
    long long stored = 0;  // of them, in the file
    long long writtenBack = 0;
    std::atomic<long long> synced{0};
    std::future<void> syncing; // a sync of what came before, on a thread of its own
    bool described = false;    // the bytes can be resumed from
    bool diskFull = false;     // a write found no room
};
