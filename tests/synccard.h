#pragma once

// The sync's card: three recordings whose names sort the other way round
// from their times, for the sync's tests with and without a window.
#include "simdevice.h"

#include <QtTest>

namespace synccard {

struct Recording
{
    const char* name;
    int size;
    const char* utc;
};
inline const Recording kCard[] = {
    {"A_NEW.MP4", 300000, "2025-03-01T10:00:00"},
    {"B_MID.MP4", 2000000, "2025-02-01T10:00:00"},
    {"C_OLD.MP4", 400000, "2025-01-01T10:00:00"},
};

inline QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Writes the three recordings onto the device's card, each with its time.
inline bool fill(const SimDevice& sim)
{
    for (const Recording& recording : kCard) {
        QFile file(sim.cardPath() + '/' + recording.name);
        QByteArray body(recording.size, '\0');
        for (int i = 0; i < body.size(); ++i)
            body[i] = static_cast<char>(i * 131 + recording.name[0]);
        QDateTime when = QDateTime::fromString(recording.utc, Qt::ISODate);
        when.setTimeSpec(Qt::UTC);
        if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size() || !file.flush()
            || !file.setFileTime(when, QFileDevice::FileModificationTime))
            return false;
    }
    return true;
}

} // namespace synccard
