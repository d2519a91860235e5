#pragma once

// Where file systems differ between platforms, as platformsocket.h does for
// sockets.

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

} // namespace merro::fs
