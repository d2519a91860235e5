#pragma once

#include <QDateTime>
#include <QString>

// A recording as the card describes it.
struct CardRecording
{
    QString name;
    qint64 size = -1;   // -1: not known
    QDateTime created; // invalid: not known
};

// The recording time and exact size of an info reply, where it gives them as
// fourteen digits and a plain byte count.
CardRecording recordingFromInfo(const QString& name, const char* reply);
