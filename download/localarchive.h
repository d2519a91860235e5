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
    // Where new recordings go: the folder itself, or a folder of their
    // recording day or month in it (2026-01-02/, 2026-01/).
    enum class Layout { Flat, Day, Month };

    // `folder` ends in '/'.
    explicit LocalArchive(const QString& folder, Layout layout = Layout::Flat);

    QString folder() const { return root; }
    // Where partial downloads and their descriptions live: its name holds a
    // space, which no card file name can, so no card name reaches into it.
    QString partialFolder() const;

    // The local files that may hold this very recording: first the one the
    // journal names as saved for it, if it still has its size, wherever it
    // is; then regular files of its size, and of its time where the camera
    // gave one, under its own name or one kept beside an older recording of
    // the name, in the folder or in a dated folder of its time (whatever the
    // layout was when it came).
    QStringList copiesOf(const CardRecording& recording) const;
    // Retention removed it from the folder: it is not fetched again.
    bool retired(const CardRecording& recording) const;
    // The first of them that is not ruled out (the camera's bytes showed it
    // to be another recording); empty when none is.
    QString copyOf(const CardRecording& recording, const QSet<QString>& ruledOut = {}) const;
    // Links standing where the recording's names are: left alone.
    QStringList linksFor(const CardRecording& recording) const;
    // Where a whole download of the recording, the file `arrived`, is to
    // go, in the layout's folder for it: its own name, unless another
    // recording holds it. A file of the
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
    // The dated folder of a recording ("2026-01-02/"), or empty without a time.
    static QString datedFolder(const CardRecording& recording, Layout layout);
    // The layout a setting or an option names; false for another word.
    static bool layoutNamed(const QString& word, Layout* layout);

private:
    // The names a recording may have in `sub` (a folder in the root, ending
    // in '/', or empty), in the order they are taken: its own, then its own
    // with its time (or, without one, its size) added.
    QString candidate(const CardRecording& recording, int index, const QString& sub = {}) const;
    // The folders its copies may be in: the root, then its dated ones.
    QStringList placesOf(const CardRecording& recording) const;

    QString root;
    Layout layout;
};
