#pragma once

#include "cardrecording.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>

// The download folder as an archive of recordings. A file under a card name
// is only ever that recording: a download that would replace another
// recording of the same name goes beside it under a name that tells them
// apart, and what is safe is found under either name. Links inside the
// folder are never followed: a link stands where a name is taken, and is
// never taken for a copy.
class LocalArchive
{
public:
    // `folder` ends in '/'.
    explicit LocalArchive(const QString& folder);

    QString folder() const { return root; }
    // Where partial downloads and their descriptions live: its name holds a
    // space, which no card file name can, so no card name reaches into it.
    QString partialFolder() const;

    // The local files that may hold this very recording: regular files of
    // its size, and of its time where the camera gave one, under its own
    // name or one kept beside an older recording of the name.
    QStringList copiesOf(const CardRecording& recording) const;
    // The first of them that is not ruled out (the camera's bytes showed it
    // to be another recording); empty when none is.
    QString copyOf(const CardRecording& recording, const QSet<QString>& ruledOut = {}) const;
    // Links standing where the recording's names are: left alone.
    QStringList linksFor(const CardRecording& recording) const;
    // Where a whole download of the recording, the file `arrived`, is to
    // go: its own name, unless another recording holds it. A file of the
    // same recording (time, or size where no time is known) is replaced only
    // when its bytes are the start of the new ones; a camera whose clock
    // was reset writes other recordings under the same name and time.
    QString destinationFor(const CardRecording& recording, const QString& arrived) const;

    // Recording times as file systems keep them: FAT stores 2 s steps, and a
    // daylight-saving change moves a local time by an hour.
    static bool sameTime(const QDateTime& a, const QDateTime& b);
    // How every other name of a recording called `name` begins ("H0001_" for
    // H0001.MP4): a folder without such a name holds it under its own or not at all.
    static QString copyPrefix(const QString& name);
    // A regular file itself, not a link to one.
    static bool isRegularFile(const QString& path);
    // Whether the file at `path` begins with every byte of the one at `start`.
    static bool beginsWith(const QString& path, const QString& start);

private:
    // The names a recording may have here, in the order they are taken: its
    // own, then its own with its time (or, without one, its size) added.
    QString candidate(const CardRecording& recording, int index) const;

    QString root;
};
