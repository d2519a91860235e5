#pragma once

#include "journal.h"

#include <QThread>
#include <QVector>

#include <atomic>

// The archive against its journal: each recording the journal says the
// download folder holds is hashed again and compared with the checksum
// taken while its bytes came. On a thread of its own, which stop() ends at
// its next look.
class ArchiveCheck : public QThread
{
    Q_OBJECT

public:
    enum class State { Holds, Missing, Changed, Unchecked };
    struct Item
    {
        JournalEntry saved;
        State state = State::Unchecked;
    };

    ArchiveCheck(const QString& folder, const QVector<JournalEntry>& journal,
                 QObject* parent = nullptr);
    ~ArchiveCheck() override;

    // What the journal says the folder holds now: the latest saved line of
    // each file that no later line removed, oldest first.
    static QVector<JournalEntry> held(const QVector<JournalEntry>& journal);
    // Whether a file still holds the bytes of its saved line.
    static State check(const QString& folder, const JournalEntry& saved,
                       const std::atomic<bool>* stop = nullptr);

    QVector<Item> items() const { return checked; }
    qint64 totalBytes() const { return total; }
    void stop() { stopping = true; }

signals:
    // After each file: how many and how many bytes are done.
    void progress(int files, qint64 bytes);
    void itemChecked(int index, int state);

protected:
    void run() override;

private:
    QString folder;
    QVector<Item> checked;
    qint64 total = 0;
    std::atomic<bool> stopping{false};
};
