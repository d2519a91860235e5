#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QVector>

struct CardFile
{
    QByteArray name; // as it goes on the wire: UTF-8
    qint64 size = 0;
    QDateTime created; // UTC
    int duration = 0;  // seconds
};

// The camera's SD card: a real folder. Every operation stays inside it: names
// with separators, leading dots or control bytes are refused, and symbolic
// links and subfolders are neither listed nor touched.
class Card
{
public:
    enum class Lookup { Found, Missing, Refused };

    explicit Card(const QString& dir);

    QString dir() const { return folder; }
    bool exists() const;

    // Regular, visible files, in byte order of their names.
    QVector<CardFile> files() const;
    Lookup find(const QByteArray& name, CardFile* file) const;
    QString pathOf(const QByteArray& name) const;
    Lookup remove(const QByteArray& name);
    // Removes every listed file and the metadata; returns how many files went.
    int removeAll();

    static bool isSafeName(const QByteArray& name);

    // Fills dir with count sample recordings, from a few KB up to maxSize
    // bytes, named and dated like a camera's, with their durations in the
    // metadata file. Deterministic: the same arguments give the same card.
    static bool make(const QString& dir, int count, qint64 maxSize, QString* error);

    // Hidden metadata file in the card folder: one "name<TAB>seconds" line per
    // recording. Files without an entry get a duration from their size.
    static constexpr char kIndexName[] = ".cardinfo";

private:
    QHash<QByteArray, int> readIndex() const;
    void writeIndex(const QHash<QByteArray, int>& index) const;
    CardFile describe(const QString& path, const QHash<QByteArray, int>& index) const;

    QString folder;
};
