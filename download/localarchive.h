#pragma once

#include "cardrecording.h"

#include <QDateTime>
#include <QString>

// The download folder as an archive of recordings. A file under a card name
// is only ever that recording: a download that would replace another
// recording of the same name goes beside it under a name that tells them
// apart, and what is safe is found under either name.
class LocalArchive
{
public:
    // `folder` ends in '/'.
    explicit LocalArchive(const QString& folder);

    QString folder() const { return root; }
    // Where partial downloads and their descriptions live: its name holds a
    // space, which no card file name can, so no card name reaches into it.
    QString partialFolder() const;

    // The local file that holds this very recording (its size, and its time
    // where both are known), or an empty text.
    QString copyOf(const CardRecording& recording) const;
    // Where a whole download of the recording is to go: its own name, unless
    // a different recording holds that name.
    QString destinationFor(const CardRecording& recording) const;

    // Recording times as file systems keep them: FAT stores 2 s steps, and a
    // daylight-saving change moves a local time by an hour.
    static bool sameTime(const QDateTime& a, const QDateTime& b);
    // How every other name of a recording called `name` begins ("H0001_" for
    // H0001.MP4): a folder without such a name holds it under its own or not at all.
    static QString copyPrefix(const QString& name);

private:
    // The names a recording may have here, in the order they are taken: its
    // own, then its own with its time (or, without one, its size) added.
    QString candidate(const CardRecording& recording, int index) const;

    QString root;
};
