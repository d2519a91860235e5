#include "tcpsocket.h"

#include "platformsocket.h"

#include <algorithm>

namespace net = merro::net;

namespace {

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
    timedOut = false;
    return IsOpen();
}

bool TcpSocket::Connect(std::uint32_t address, std::uint16_t port)
{
    if (!IsOpen() && !Create())
        return false;
    // A failed name look-up gives the all-zero address, which some systems
    // take as "this host"; it must not reach whatever listens here.
    if (address == 0)
        return false;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = port;
    peer.sin_addr.s_addr = address;
    return net::connectWithTimeout(toPlatform(handle), peer, connectTimeoutMs)
           == net::ConnectResult::Connected;
}

void TcpSocket::Close()
{
    if (IsOpen())
        net::closeSocket(toPlatform(handle));
    handle = fromPlatform(net::kInvalidSocket);
    timedOut = false;
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

void TcpSocket::SetTimeouts(int connectMs, int receiveMs)
{
    connectTimeoutMs = connectMs;
    receiveTimeoutMs = receiveMs;
}

bool TcpSocket::TimedOut() const
{
    return timedOut;
}

int TcpSocket::Send(const char* bytes, int length)
{
    return net::sendBytes(toPlatform(handle), bytes, length);
}

int TcpSocket::Recv(char* buffer, int length)
{
    if (!IsOpen() || timedOut)
        return -1;
    if (receiveTimeoutMs >= 0) {
        const int ready = net::waitReadable(toPlatform(handle), receiveTimeoutMs);
        if (ready == 0)
            timedOut = true;
        if (ready <= 0)
            return -1;
    }
    int result;
    do {
        result = net::recvBytes(toPlatform(handle), buffer, length);
    } while (result < 0 && net::lastCallInterrupted());
    return result;
}

int TcpSocket::RecvLine(std::string& out, int max)
{
    out.clear();
    int count = 0;
    while (max <= 0 || count < max) {
        char byte = 0;
        const int result = Recv(&byte, 1);
        if (result != 1) {
            if (count > 0)
                return count;
            return result == 0 ? 0 : -1;
        }
        out.push_back(byte);
        ++count;
        if (byte == '\n')
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
