#pragma once

#include "journal.h"

#include <QDateTime>
#include <QString>
#include <QVector>

// How long and how much the download folder keeps; 0: no limit.
struct RetentionLimits
{
    int keepDays = 0;
    qint64 maxBytes = 0;

    bool any() const { return keepDays > 0 || maxBytes > 0; }
    // SIZE in bytes, or with a unit: 500M, 2G, 1T (powers of 1024); false
    // for anything else.
    static bool parseSize(const QString& text, qint64* bytes);
};

// The download folder kept within its limits: the oldest recordings go
// first, by recording time, only files the journal names as saved by this
// tool, and never the newest recording. Each removal is a journal line.
class Retention
{
public:
    struct Held
    {
        JournalEntry saved;
        QDateTime time; // the recording's, or when it arrived
    };

    Retention(const QString& folder, const RetentionLimits& limits);

    // The recordings the journal names as saved here that are still there,
    // with their size, oldest first.
    QVector<Held> held() const;
    // What goes now: those older than the days kept, then the oldest while
    // the folder is over its size with `incoming` bytes more.
    QVector<Held> due(qint64 incoming = 0) const;
    // Whether a recording of this time, `size` bytes, would be removed at
    // once: older than the days kept, or too old to get room by removing
    // only older ones.
    bool wouldGoAtOnce(const QDateTime& time, qint64 size) const;
    // Removes them, each with its journal line; what went.
    QVector<Held> remove(const QVector<Held>& due);
    // Why one goes: in the journal's words, or in the window's language.
    QString reason(const Held& held, bool translated = false) const;

private:
    QDateTime cutoff() const;

    QString folder;
    RetentionLimits limits;
};
