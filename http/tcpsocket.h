#pragma once

#include "httptimeouts.h"

#include <cstdint>
#include <string>

// Owns one IPv4 stream socket. The handle is kept as an integer so that this
// header stays free of platform headers.
class TcpSocket
{
public:
    TcpSocket() = default;
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    bool Create();
    // address and port in network byte order. Gives up after the connect
    // time-out; a failed connect leaves the socket open for its owner to close.
    bool Connect(std::uint32_t address, std::uint16_t port);
    void Close();
    bool IsOpen() const;

    // Takes ownership of an already connected handle, closing the current one.
    void Adopt(std::intptr_t platformHandle);

    // A negative value waits without limit. New sockets use the constants of
    // httptimeouts.h.
    void SetTimeouts(int connectMs, int receiveMs);
    // True once a receive ran into the time-out; every later receive then
    // fails at once, so a stalled peer costs one time-out per exchange.
    bool TimedOut() const;

    int Send(const char* bytes, int length);
    // One receive, after waiting at most the receive time-out for data;
    // 0 when the peer closed, negative on an error or a time-out.
    int Recv(char* buffer, int length);
    int RecvLine(std::string& out, int max);
    int RecvCount(std::string& out, int n);

private:
    std::intptr_t handle = -1;
    int connectTimeoutMs = merro::http::kConnectTimeoutMs;
    int receiveTimeoutMs = merro::http::kReceiveTimeoutMs;
    bool timedOut = false;
};
