#pragma once

#include "cardrecording.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>


// One event of the download journal.
struct JournalEntry
{
    enum class Kind { Saved, Beside, Freed, Removed };

    Kind kind = Kind::Saved;
    QDateTime at;       // when, in UTC
    QByteArray card;    // the card name's bytes as listed
    qint64 size = -1;
    QByteArray created; // the recording time as the camera wrote it
    QString camera;     // the camera's address, host:port
    QString path;       // the file, relative to the download folder
    QByteArray sha256;  // lower-case hex, of the bytes as they arrived
    QString beside;     // Beside: the older recording's file
    QString note;       // Freed: how it was checked; Removed: why
};

// The download folder's journal: one JSON object a line, appended and synced
// to disk before the tool goes on, never rewritten. It is the archive's
// memory: which file holds which recording, its checksum taken while the
// bytes came, what was freed from the card and what retention removed.
namespace Journal {

// In the download folder; a space keeps every card name off it.
constexpr char kFileName[] = "download journal.jsonl";

QString pathIn(const QString& folder);
QByteArray line(const JournalEntry& entry);
// False for a line that is torn or not one of the journal's.
bool parse(const QByteArray& line, JournalEntry* entry);
// The card name's bytes in a JSON string: \xNN for what is not plain text.
QString escapedName(const QByteArray& bytes);
QByteArray unescapedName(const QString& text);

// Appends the line and syncs it; false (and nothing half written on the
// next read) when it cannot. Safe from any thread.
bool append(const QString& folder, const JournalEntry& entry);
// Every whole line in order; a torn or foreign line is skipped.
QVector<JournalEntry> read(const QString& folder);

} // namespace Journal

// What the journal says of each recording: the file it was saved under, or
// that retention removed it. Read once per folder, then only the lines added
// since; safe from any thread.
namespace JournalIndex {

struct Held
{
    QString path; // relative to the folder
    qint64 size = -1;
    bool removed = false;
};

// The latest word on this recording (its card bytes, size and time as the
// camera wrote it), if any.
bool find(const QString& folder, const CardRecording& recording, Held* held);
// Every card name the journal knows, as a person reads it.
QStringList names(const QString& folder);
// How many whole lines it has taken in.
int lines(const QString& folder);

} // namespace JournalIndex
