#pragma once

// The one place that knows how sockets differ between Windows and POSIX.
// Everything else uses the names below and never includes a platform header.

#ifdef _WIN32
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  ifndef NOMINMAX
#    define NOMINMAX
#  endif
#  include <winsock2.h>
#  include <ws2tcpip.h>
// windows.h maps these names to its own functions; the window has slots
// called DeleteFile, and headers that include this one reach the window.
#  undef DeleteFile
#  undef GetObject
#else
#  include <arpa/inet.h>
#  include <cerrno>
#  include <csignal>
#  include <fcntl.h>
#  include <netdb.h>
#  include <netinet/in.h>
#  include <netinet/tcp.h>
#  include <poll.h>
#  include <sys/socket.h>
#  include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>

namespace merro::net {

#ifdef _WIN32
using SocketHandle = SOCKET;
using SockLen = int;
constexpr SocketHandle kInvalidSocket = INVALID_SOCKET;
#else
using SocketHandle = int;
using SockLen = socklen_t;
constexpr SocketHandle kInvalidSocket = -1;
#endif

// Starts the socket layer once per process; 0 on success.
// On POSIX a peer that closes while we write must not kill the process.
inline int startup()
{
#ifdef _WIN32
    WSADATA data;
    const int result = WSAStartup(MAKEWORD(2, 2), &data);
    if (result != 0)
        return result;
    // An older Winsock may start with the highest version it has instead.
    if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 2) {
        WSACleanup();
        return WSAVERNOTSUPPORTED;
    }
    return 0;
#else
    std::signal(SIGPIPE, SIG_IGN);
    return 0;
#endif
}

inline bool isValid(SocketHandle s) { return s != kInvalidSocket; }

inline void closeSocket(SocketHandle s)
{
#ifdef _WIN32
    ::closesocket(s);
#else
    ::close(s);
#endif
}

inline int sendBytes(SocketHandle s, const char* data, int length)
{
#ifdef _WIN32
    return ::send(s, data, length, 0);
#else
    return static_cast<int>(::send(s, data, static_cast<size_t>(length), MSG_NOSIGNAL));
#endif
}

// One send that takes only what fits now; never blocks.
inline int sendBytesNoWait(SocketHandle s, const char* data, int length)
{
#ifdef _WIN32
    u_long on = 1;
    ::ioctlsocket(s, FIONBIO, &on);
    const int result = ::send(s, data, length, 0);
    const int error = WSAGetLastError();
    u_long off = 0;
    ::ioctlsocket(s, FIONBIO, &off);
    WSASetLastError(error);
    return result;
#else
    return static_cast<int>(
        ::send(s, data, static_cast<size_t>(length), MSG_NOSIGNAL | MSG_DONTWAIT));
#endif
}

// One receive that takes only what is there; for use after waitReadable.
inline int recvBytesNoWait(SocketHandle s, char* buffer, int length)
{
#ifdef _WIN32
    return ::recv(s, buffer, length, 0);
#else
    return static_cast<int>(::recv(s, buffer, static_cast<size_t>(length), MSG_DONTWAIT));
#endif
}

// Looks at what has arrived without taking it; never blocks.
inline int peekBytes(SocketHandle s, char* buffer, int length)
{
#ifdef _WIN32
    return ::recv(s, buffer, length, MSG_PEEK);
#else
    return static_cast<int>(
        ::recv(s, buffer, static_cast<size_t>(length), MSG_PEEK | MSG_DONTWAIT));
#endif
}

// True when the last failed call on a non-blocking socket only found it busy.
inline bool lastCallWouldBlock()
{
#ifdef _WIN32
    return WSAGetLastError() == WSAEWOULDBLOCK;
#else
    return errno == EAGAIN || errno == EWOULDBLOCK;
#endif
}

inline int recvBytes(SocketHandle s, char* buffer, int length)
{
#ifdef _WIN32
    return ::recv(s, buffer, length, 0);
#else
    return static_cast<int>(::recv(s, buffer, static_cast<size_t>(length), 0));
#endif
}

// True when the last failed call was only interrupted by a signal.
inline bool lastCallInterrupted()
{
#ifdef _WIN32
    return WSAGetLastError() == WSAEINTR;
#else
    return errno == EINTR;
#endif
}

namespace detail {
inline int pollOne(SocketHandle s, short events, int timeoutMs)
{
#ifdef _WIN32
    WSAPOLLFD fd{s, events, 0};
    return ::WSAPoll(&fd, 1, timeoutMs);
#else
    pollfd fd{s, events, 0};
    int r;
    do {
        r = ::poll(&fd, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r;
#endif
}
} // namespace detail

// > 0: data (or end of stream, or an error) is ready to be received;
// 0: nothing arrived within timeoutMs; < 0: the wait itself failed.
inline int waitReadable(SocketHandle s, int timeoutMs)
{
    return detail::pollOne(s, POLLIN, timeoutMs);
}

// > 0: there is room to send (or an error to collect); 0: none within timeoutMs.
inline int waitWritable(SocketHandle s, int timeoutMs)
{
    return detail::pollOne(s, POLLOUT, timeoutMs);
}

inline bool setNonBlocking(SocketHandle s, bool on)
{
#ifdef _WIN32
    u_long mode = on ? 1 : 0;
    return ::ioctlsocket(s, FIONBIO, &mode) == 0;
#else
    int flags = ::fcntl(s, F_GETFL, 0);
    if (flags < 0)
        return false;
    flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return ::fcntl(s, F_SETFL, flags) == 0;
#endif
}

enum class ConnectResult { Connected, Failed, TimedOut, Cancelled };

// A connect in steps, so that the caller can look up between the waits: the
// socket must be non-blocking. TimedOut from startConnect means "in progress".
inline ConnectResult startConnect(SocketHandle s, const sockaddr_in& address)
{
    if (::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0)
        return ConnectResult::Connected;
#ifdef _WIN32
    const bool pending = WSAGetLastError() == WSAEWOULDBLOCK;
#else
    const bool pending = errno == EINPROGRESS || errno == EINTR;
#endif
    return pending ? ConnectResult::TimedOut : ConnectResult::Failed;
}

// Waits up to timeoutMs for a connect that startConnect left in progress.
inline ConnectResult finishConnect(SocketHandle s, int timeoutMs)
{
#ifdef _WIN32
    // WSAPoll before Windows 10 2004 never reports a refused connect, so a
    // port nobody listens on would cost the whole wait. select reports it
    // in the exception set on every version.
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int ready = ::select(0, nullptr, &writable, &failed, timeoutMs < 0 ? nullptr : &limit);
#else
    const int ready = detail::pollOne(s, POLLOUT, timeoutMs);
#endif
    if (ready == 0)
        return ConnectResult::TimedOut;
    int error = 0;
    SockLen length = sizeof(error);
    if (ready > 0
        && ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0
        && error == 0)
        return ConnectResult::Connected;
    return ConnectResult::Failed;
}

// A connect that gives up after timeoutMs (negative: no limit), or as soon as
// *cancel turns true. The socket is blocking again afterwards, whatever the
// outcome.
inline ConnectResult connectWithTimeout(SocketHandle s, const sockaddr_in& address, int timeoutMs,
                                        const std::atomic<bool>* cancel = nullptr)
{
    // Waited in slices when a cancel must be seen.
    constexpr int kSliceMs = 100;
    using Clock = std::chrono::steady_clock;
    if (!setNonBlocking(s, true))
        return ConnectResult::Failed;
    const auto end = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    ConnectResult result = startConnect(s, address);
    while (result == ConnectResult::TimedOut) {
        if (cancel && cancel->load()) {
            result = ConnectResult::Cancelled;
            break;
        }
        int waitMs = -1;
        if (timeoutMs >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0)
                break;
            waitMs = static_cast<int>(left);
        }
        if (cancel)
            waitMs = waitMs < 0 ? kSliceMs : std::min(waitMs, kSliceMs);
        result = finishConnect(s, waitMs);
    }
    setNonBlocking(s, false);
    return result;
}

// For a listening socket: the receive buffer that the connections it accepts
// from now on start with.
inline bool setReceiveBuffer(SocketHandle s, int bytes)
{
    return ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
                        sizeof(bytes))
           == 0;
}

// For a listening socket: the largest segment that the connections it accepts
// from now on announce, and so the segments their peers send them. False on
// Windows, which only reports the segment size.
inline bool setMaxSegment(SocketHandle s, int bytes)
{
#ifdef _WIN32
    (void)s;
    (void)bytes;
    return false;
#else
    return ::setsockopt(s, IPPROTO_TCP, TCP_MAXSEG, &bytes, sizeof(bytes)) == 0;
#endif
}

// Changes how many connections wait to be accepted on a listening socket
// (POSIX; Windows keeps the backlog it listened with).
inline bool setListenBacklog(SocketHandle s, int backlog)
{
    return ::listen(s, backlog) == 0;
}

} // namespace merro::net
