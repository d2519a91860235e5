#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QVector>

struct CardFile
{
    QByteArray name; // as it goes on the wire: UTF-8, or the bytes it was given
    QString path;
    qint64 size = 0;
    QDateTime created;      // UTC
    QByteArray createdText; // the create value it was given instead; null: none
    int duration = 0;       // seconds
};

// The camera's SD card: a real folder. Every operation stays inside it: names
// with separators, leading dots or control bytes are refused, and symbolic
// links and subfolders are neither listed nor touched. A file may be given
// other bytes to go by on the wire (any file system's encoding can then be
// served) and a create value of its own; both last until it is removed.
class Card
{
public:
    enum class Lookup { Found, Missing, Refused };

    explicit Card(const QString& dir);

    QString dir() const { return folder; }
    bool exists() const;

    // Regular, visible files, in byte order of their names on the wire.
    QVector<CardFile> files() const;
    // By the name on the wire: a file given other bytes is not found under
    // its name on disk.
    Lookup find(const QByteArray& name, CardFile* file) const;
    Lookup remove(const QByteArray& name);
    // Removes every listed file and the metadata; returns how many files went.
    int removeAll();

    // By the name on disk; empty when done, the reason otherwise. A null
    // value goes back to the file's own.
    QByteArray setWireName(const QByteArray& diskName, const QByteArray& wireName);
    QByteArray setCreatedText(const QByteArray& diskName, const QByteArray& text);
    // Appends bytes (the one at offset P is P mod 251), keeping the file's
    // modification time, as a camera still writing a clip.
    QByteArray grow(const QByteArray& diskName, qint64 bytes, qint64* size);

    static bool isSafeName(const QByteArray& name);

    // Fills dir with count sample recordings, from a few KB up to maxSize
    // bytes, named and dated like a camera's, with their durations in the
    // metadata file. Deterministic: the same arguments give the same card.
    static bool make(const QString& dir, int count, qint64 maxSize, QString* error);

    // Hidden metadata file in the card folder: one "name<TAB>seconds" line per
    // recording. Files without an entry get a duration from their size.
    static constexpr char kIndexName[] = ".cardinfo";

private:
    QString pathOf(const QByteArray& diskName) const;
    Lookup onDisk(const QByteArray& diskName) const;
    // Null when the wire has no name for it.
    QByteArray diskNameOf(const QByteArray& wireName) const;
    QHash<QByteArray, int> readIndex() const;
    void writeIndex(const QHash<QByteArray, int>& index) const;
    CardFile describe(const QString& path, const QHash<QByteArray, int>& index) const;

    QString folder;
    QHash<QByteArray, QByteArray> wireNames;    // by name on disk
    QHash<QByteArray, QByteArray> createdTexts; // by name on disk
};
