#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// A recording as the card describes it.
struct CardRecording
{
    CardRecording() = default;
    CardRecording(const QString& name, qint64 size, const QDateTime& created)
        : name(name), size(size), created(created)
    {
    }

    // As a person reads it, shown and saved under: the card's bytes read as
    // UTF-8, or else as GB18030 (the camera speaks zh-CN).
    QString name;
    qint64 size = -1;   // -1: not known
    QDateTime created; // invalid: not known, or not readable
    // The name's bytes as the camera lists them: every request about the
    // file carries exactly these. Empty: the Latin-1 bytes of `name`.
    QByteArray cardName;
    // The recording time as the camera wrote it (fourteen digits, a wall
    // clock without a zone); empty when none was given.
    QByteArray createdText;

    QByteArray bytes() const { return cardName.isEmpty() ? name.toLatin1() : cardName; }
    // A time was given that is no time: nothing can tell this recording from
    // another of its size, and it is never freed.
    bool timeUnreadable() const { return !createdText.isEmpty() && !created.isValid(); }
};

// The recording time and exact size of an info reply, where it gives them as
// fourteen digits and a plain byte count.
CardRecording recordingFromInfo(const QString& name, const char* reply);

// A card name's bytes as a person reads them: UTF-8 when they are UTF-8,
// else GB18030, else (no valid reading) one character a byte.
QString cardNameText(const QByteArray& bytes);

// The camera's wall-clock time "yyyyMMddHHmmss" as an instant of this
// computer's zone: a time that a daylight-saving change skipped is the
// instant the clocks jumped, one it repeated is the first of the two.
// Invalid when the text is not such a time.
QDateTime cameraTime(const QByteArray& text);
