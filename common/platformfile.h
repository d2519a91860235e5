#pragma once

// Where file systems differ between platforms, as platformsocket.h does for
// sockets. For the Qt side of the tool: paths are QStrings.

#include <QFile>
#include <QString>

#ifdef _WIN32
// windows.h, set up as the rest of the tool has it.
#  include "platformsocket.h"
#  include <io.h>
#else
#  include <cstdio>
#  include <unistd.h>
#endif
#ifdef __linux__
#  include <fcntl.h>
#endif

namespace merro::fs {

// Starts writing a range of an open file to disk without waiting for it, so
// that the sync that ends a large download finds little left to do. Does
// nothing where the system offers no such call.
inline void startWriteBack(int fd, long long offset, long long length)
{
#ifdef __linux__
    (void)::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
#else
    (void)fd;
    (void)offset;
    (void)length;
#endif
}

// Waits until what was written to the open file is on the disk.
inline bool syncToDisk(int fd)
{
#ifdef _WIN32
    return ::_commit(fd) == 0;
#else
    return ::fsync(fd) == 0;
#endif
}

// Gives `from` the name `to` in one step, replacing a file of that name:
// there is never a moment without one of the two.
inline bool replaceFile(const QString& from, const QString& to)
{
#ifdef _WIN32
    return ::MoveFileExW(reinterpret_cast<const wchar_t*>(from.utf16()),
                         reinterpret_cast<const wchar_t*>(to.utf16()),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
           != 0;
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData())
           == 0;
#endif
}

} // namespace merro::fs
