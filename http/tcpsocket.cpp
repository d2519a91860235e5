#include "tcpsocket.h"

#include "platformsocket.h"

#include <algorithm>
#include <cstring>

namespace net = merro::net;

namespace {

// Short enough that a raised cancel flag is seen at once by a person.
constexpr int kCancelSliceMs = 100;

net::SocketHandle toPlatform(std::intptr_t handle)
{
    return static_cast<net::SocketHandle>(handle);
}

std::intptr_t fromPlatform(net::SocketHandle handle)
{
    return static_cast<std::intptr_t>(handle);
}

} // namespace

TcpSocket::~TcpSocket()
{
    Close();
}

bool TcpSocket::Create()
{
    if (IsOpen())
        return true;
    handle = fromPlatform(::socket(AF_INET, SOCK_STREAM, 0));
    resetExchange();
    return IsOpen();
}

bool TcpSocket::Connect(std::uint32_t address, std::uint16_t port)
{
    if (!IsOpen() && !Create())
        return false;
    // A failed name look-up gives the all-zero address, which some systems
    // take as "this host"; a dotted address that does not parse gives the
    // broadcast address. Neither is the camera.
    if (address == 0 || address == INADDR_NONE)
        return false;
    startDeadlineIfIdle();
    if (timedOut || cancelled || gaveUp)
        return false;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = port;
    peer.sin_addr.s_addr = address;

    // The connect wait is cut into slices, so that a cancel is seen; each
    // slice may end the attempt, so the whole wait is one non-blocking connect.
    const auto start = Clock::now();
    auto limit = Clock::time_point::max();
    if (connectTimeoutMs >= 0)
        limit = start + std::chrono::milliseconds(connectTimeoutMs);
    if (exchangeTimeoutMs >= 0)
        limit = std::min(limit, deadline);
    int waitMs = -1;
    if (limit != Clock::time_point::max()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - start);
        waitMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }
    const auto result = net::connectWithTimeout(toPlatform(handle), peer, waitMs, cancel);
    if (result == net::ConnectResult::TimedOut && exchangeTimeoutMs >= 0
        && Clock::now() >= deadline)
        timedOut = true;
    if (result == net::ConnectResult::Cancelled)
        cancelled = true;
    return result == net::ConnectResult::Connected;
}

void TcpSocket::Close()
{
    if (IsOpen())
        net::closeSocket(toPlatform(handle));
    handle = fromPlatform(net::kInvalidSocket);
    resetExchange();
}

bool TcpSocket::IsOpen() const
{
    return net::isValid(toPlatform(handle));
}

void TcpSocket::Adopt(std::intptr_t platformHandle)
{
    Close();
    handle = platformHandle;
}

void TcpSocket::SetTimeouts(int connectMs, int exchangeMs)
{
    connectTimeoutMs = connectMs;
    exchangeTimeoutMs = exchangeMs;
}

void TcpSocket::StartExchange()
{
    resetExchange();
    startDeadlineIfIdle();
}

void TcpSocket::SetCancel(const std::atomic<bool>* flag)
{
    cancel = flag;
}

bool TcpSocket::TimedOut() const
{
    return timedOut || gaveUp;
}

bool TcpSocket::Cancelled() const
{
    return cancelled;
}

void TcpSocket::GiveUp()
{
    gaveUp = true;
}

void TcpSocket::resetExchange()
{
    started = false;
    timedOut = false;
    cancelled = false;
    gaveUp = false;
}

void TcpSocket::startDeadlineIfIdle()
{
    if (started)
        return;
    started = true;
    if (exchangeTimeoutMs >= 0)
        deadline = Clock::now() + std::chrono::milliseconds(exchangeTimeoutMs);
}

bool TcpSocket::waitReady(bool forWriting)
{
    startDeadlineIfIdle();
    for (;;) {
        if (timedOut || cancelled || gaveUp)
            return false;
        if (cancel && cancel->load()) {
            cancelled = true;
            return false;
        }
        int sliceMs = cancel ? kCancelSliceMs : -1;
        if (exchangeTimeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - Clock::now());
            if (left.count() <= 0) {
                timedOut = true;
                return false;
            }
            // Rounded up, so that the last slice does not end just short of it.
            const int leftMs = static_cast<int>(std::min<std::chrono::milliseconds::rep>(
                left.count() + 1, 24 * 3600 * 1000));
            sliceMs = sliceMs < 0 ? leftMs : std::min(sliceMs, leftMs);
        }
        const int ready = forWriting ? net::waitWritable(toPlatform(handle), sliceMs)
                                     : net::waitReadable(toPlatform(handle), sliceMs);
        if (ready > 0)
            return true;
        if (ready < 0)
            return false;
    }
}

template <typename Call>
int TcpSocket::whenReady(bool forWriting, Call call)
{
    if (!IsOpen())
        return -1;
    for (;;) {
        if (!waitReady(forWriting))
            return -1;
        const int result = call(toPlatform(handle));
        if (result >= 0)
            return result;
        // Interrupted, or the readiness seen by the wait was taken meanwhile.
        if (!net::lastCallInterrupted() && !net::lastCallWouldBlock())
            return result;
    }
}

int TcpSocket::Send(const char* bytes, int length)
{
    return whenReady(true, [&](auto s) { return net::sendBytesNoWait(s, bytes, length); });
}

int TcpSocket::Recv(char* buffer, int length)
{
    return receive(buffer, length, false);
}

int TcpSocket::receive(char* buffer, int length, bool peek)
{
    return whenReady(false, [&](auto s) {
        return peek ? net::peekBytes(s, buffer, length)
                    : net::recvBytesNoWait(s, buffer, length);
    });
}

int TcpSocket::RecvLine(std::string& out, int max)
{
    out.clear();
    int count = 0;
    char buffer[1024];
    while (max <= 0 || count < max) {
        // Looks ahead, then takes exactly up to the line end: no byte of what
        // follows the line leaves the socket, and a line costs a few calls
        // instead of two per byte.
        int want = static_cast<int>(sizeof(buffer));
        if (max > 0)
            want = std::min(want, max - count);
        int result = receive(buffer, want, true);
        if (result > 0) {
            const char* end = static_cast<const char*>(std::memchr(buffer, '\n', result));
            const int take = end ? static_cast<int>(end - buffer) + 1 : result;
            result = Recv(buffer, take);
        }
        if (result <= 0) {
            if (count > 0)
                return count;
            return result == 0 ? 0 : -1;
        }
        out.append(buffer, static_cast<std::size_t>(result));
        count += result;
        if (buffer[result - 1] == '\n')
            return count;
    }
    return count;
}

int TcpSocket::RecvCount(std::string& out, int n)
{
    out.clear();
    if (n <= 0)
        return 0;
    char buffer[1024];
    int remaining = n;
    while (remaining > 0) {
        const int result = Recv(buffer, std::min(remaining, static_cast<int>(sizeof(buffer))));
        if (result <= 0)
            return n - remaining;
        out.append(buffer, static_cast<std::size_t>(result));
        remaining -= result;
    }
    return n;
}
