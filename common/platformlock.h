#pragma once

// A lock on a file that the system itself drops when its holder ends,
// however it ends (flock on POSIX systems, LockFileEx on Windows): a crashed
// run leaves nothing stale behind, in a folder of its own or a shared one.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>

#ifdef _WIN32
#  include "platformsocket.h"
#  include <direct.h>
#else
#  include <fcntl.h>
#  include <sys/file.h>
#  include <sys/stat.h>
#  include <unistd.h>
#endif

namespace merro::fs {

// Makes the folder and those above it that are missing. Empty on success,
// else the system's reason.
inline QString makeFolders(const QString& path)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    const QString root = QDir(clean).rootPath();
    QString made;
    for (const QString& part : clean.mid(root.size()).split(QLatin1Char('/'),
                                                             Qt::SkipEmptyParts)) {
        made = made.isEmpty() ? root + part : made + QLatin1Char('/') + part;
        if (QDir(made).exists())
            continue;
#ifdef _WIN32
        if (::_wmkdir(reinterpret_cast<const wchar_t*>(made.utf16())) != 0 && !QDir(made).exists())
            return qt_error_string(errno);
#else
        if (::mkdir(QFile::encodeName(made).constData(), 0777) != 0 && errno != EEXIST)
            return qt_error_string(errno);
#endif
    }
    return QString();
}

class FileLock
{
public:
    enum class Result { Taken, Held, Failed };

    explicit FileLock(const QString& path) : path(path) {}
    ~FileLock() { unlock(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool isLocked() const { return locked; }
    // The system's reason for the last Failed.
    QString error() const { return reason; }

    // Taken, with `holder` written into the file for others to read; Held
    // by another process; or Failed (the file cannot be had).
    Result tryLock(const QByteArray& holder)
    {
        if (locked)
            return Result::Taken;
#ifdef _WIN32
        handle = ::CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()),
                               GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            reason = qt_error_string(static_cast<int>(::GetLastError()));
            return Result::Failed;
        }
        // A byte past any text, so that others can still read who holds it.
        OVERLAPPED at = {};
        at.Offset = 0x7fffffff;
        if (!::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                          &at)) {
            ::CloseHandle(handle);
            handle = INVALID_HANDLE_VALUE;
            return Result::Held;
        }
        DWORD written = 0;
        ::SetFilePointer(handle, 0, nullptr, FILE_BEGIN);
        ::SetEndOfFile(handle);
        ::WriteFile(handle, holder.constData(), static_cast<DWORD>(holder.size()), &written,
                    nullptr);
        locked = true;
        return Result::Taken;
#else
        const QByteArray name = QFile::encodeName(path);
        // The name may have been dropped by the holder that let it go: the
        // lock counts only on the file that has the name.
        for (int attempt = 0; attempt < 10; ++attempt) {
            writable = true;
            fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
            if (fd < 0 && errno == EACCES) {
                // Left in a shared folder by another user: it can still be locked.
                writable = false;
                fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            }
            if (fd < 0) {
                reason = qt_error_string(errno);
                return Result::Failed;
            }
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                const int why = errno;
                closeFile();
                if (why == EWOULDBLOCK)
                    return Result::Held;
                reason = qt_error_string(why);
                return Result::Failed;
            }
            struct stat held;
            struct stat named;
            if (::fstat(fd, &held) == 0 && ::lstat(name.constData(), &named) == 0
                && held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
                if (writable && ::ftruncate(fd, 0) == 0)
                    (void)!::write(fd, holder.constData(), static_cast<size_t>(holder.size()));
                locked = true;
                return Result::Taken;
            }
            closeFile();
        }
        reason = QStringLiteral("the lock file keeps changing");
        return Result::Failed;
#endif
    }

    void unlock()
    {
        if (!locked)
            return;
        locked = false;
#ifdef _WIN32
        OVERLAPPED at = {};
        at.Offset = 0x7fffffff;
        ::UnlockFileEx(handle, 0, 1, 0, &at);
        ::CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
#else
        // The name goes first, while the lock still keeps others off it.
        if (writable)
            ::unlink(QFile::encodeName(path).constData());
        closeFile();
#endif
    }

    // What the holder wrote into the file.
    static QByteArray holderOf(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
    }

private:
#ifndef _WIN32
    void closeFile()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    int fd = -1;
    bool writable = true;
#else
    HANDLE handle = INVALID_HANDLE_VALUE;
#endif
    QString path;
    bool locked = false;
    QString reason;
};

} // namespace merro::fs
