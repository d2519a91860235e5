#pragma once

#include <QLockFile>
#include <QString>

// One download run at a time per download folder and, for syncs, per camera,
// across processes: a sync without a window, the window's sync and its
// downloads. A crashed holder leaves nothing that lasts: its lock is taken
// over once its process is gone.
class RunLock
{
public:
    // `camera` names the camera (its address), for a lock beside the system's
    // other temporary files.
    RunLock(const QString& folder, const QString& camera);

    // False, with who holds it in *holder, when another process does. A
    // sync holds the camera too.
    bool tryLock(bool sync, QString* holder);
    void unlock();

private:
    QString folder;
    QLockFile folderLock;
    QLockFile cameraLock;
};
