#pragma once

#include "platformlock.h"

#include <QString>

// One download run at a time per download folder and, for syncs, per camera,
// across processes: a sync without a window, the window's sync and its
// downloads. The system drops a lock when its holder ends, however it ends:
// a crashed run leaves nothing to take over.
class RunLock
{
public:
    // `camera` names the camera (its address), for a lock beside the system's
    // other temporary files.
    RunLock(const QString& folder, const QString& camera);

    enum class Result { Held, Busy, Unwritable };
    // Busy, with who holds it in *why, when another process does; Unwritable,
    // with what is wrong and how to choose another, when the folder cannot
    // be made or written. A sync holds the camera too.
    Result tryLock(bool sync, QString* why);
    void unlock();

    // What stops the folder from being made or written, with how to choose
    // another; empty when nothing does. Makes nothing.
    static QString problemWith(const QString& folder);

private:
    QString folder;
    QString folderLockPath;
    QString cameraLockPath;
    merro::fs::FileLock folderLock;
    merro::fs::FileLock cameraLock;
};
