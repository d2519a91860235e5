#pragma once

// Where file systems differ between platforms, as platformsocket.h does for
// sockets. For the Qt side of the tool: paths are QStrings.

#include <QFile>
#include <QString>

#include <QFileInfo>

#ifdef _WIN32
// windows.h, set up as the rest of the tool has it.
#  include "platformsocket.h"
#  include <fcntl.h>
#  include <io.h>
#  include <sys/stat.h>
#else
#  include <cstdio>
#  include <fcntl.h>
#  include <sys/stat.h>
#  include <unistd.h>
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

// Opens a regular file for reading and writing without following a link
// that stands at its name: created where `create`, emptied where `truncate`,
// only if new where `exclusive`. The descriptor, or -1 when it cannot be
// opened or something other than a regular file stands there.
inline int openRegularFile(const QString& path, bool create, bool truncate,
                           bool exclusive = false)
{
#ifdef _WIN32
    if (QFileInfo(path).isSymLink())
        return -1;
    const int flags = _O_RDWR | _O_BINARY | _O_NOINHERIT | (create ? _O_CREAT : 0)
                      | (truncate ? _O_TRUNC : 0) | (exclusive ? _O_EXCL : 0);
    const int fd = ::_wopen(reinterpret_cast<const wchar_t*>(path.utf16()), flags,
                            _S_IREAD | _S_IWRITE);
    struct _stat64 info;
    if (fd >= 0 && (::_fstat64(fd, &info) != 0 || (info.st_mode & _S_IFREG) == 0)) {
        ::_close(fd);
        return -1;
    }
    return fd;
#else
    const int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0)
                      | (truncate ? O_TRUNC : 0) | (exclusive ? O_EXCL : 0);
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0644);
    struct stat info;
    if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
#endif
}

} // namespace merro::fs
