#pragma once

#include "httptimeouts.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

// Owns one IPv4 stream socket. The handle is kept as an integer so that this
// header stays free of platform headers.
//
// Every wait (connect, send, receive) ends at the exchange deadline, which
// starts with the first wait after the socket was opened or adopted, or at
// StartExchange(). Once it has passed, or the cancel flag is up, the socket
// is spent: every later send or receive fails at once, so a stalled peer
// costs one time-out per exchange.
class TcpSocket
{
public:
    TcpSocket() = default;
    virtual ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    bool Create();
    // address and port in network byte order. A failed connect leaves the
    // socket open for its owner to close.
    bool Connect(std::uint32_t address, std::uint16_t port);
    void Close();
    bool IsOpen() const;

    // Takes ownership of an already connected handle, closing the current one.
    void Adopt(std::intptr_t platformHandle);

    // connectMs bounds the connect alone, exchangeMs everything from the start
    // of the exchange on. Negative: no limit. New sockets use httptimeouts.h.
    void SetTimeouts(int connectMs, int exchangeMs);
    // The exchange deadline starts now.
    void StartExchange();
    // While *flag is true (another thread may raise it), waits end at once.
    void SetCancel(const std::atomic<bool>* flag);
    // The time-out flag: up once the deadline passed or the exchange was
    // given up.
    bool TimedOut() const;
    bool Cancelled() const;
    // Ends the exchange as its deadline would: every later send or receive
    // fails at once. For a reply that is too large to be a real one.
    void GiveUp();
    bool GaveUp() const { return gaveUp; }

    // Sends what fits before the deadline; at least one byte, or negative on
    // an error, the deadline or a cancel. Never blocks past the deadline.
    int Send(const char* bytes, int length);
    // One receive, after waiting for data until the deadline; 0 when the peer
    // closed, negative on an error, the deadline or a cancel.
    int Recv(char* buffer, int length);
    int RecvLine(std::string& out, int max);
    int RecvCount(std::string& out, int n);

protected:
    // Every received byte comes through here: one receive, or a look at what
    // the next would take. Overridden only to feed the readers from memory,
    // where the fuzzer needs them thousands of times a second.
    virtual int receive(char* buffer, int length, bool peek);

private:
    using Clock = std::chrono::steady_clock;

    // Waits until the socket is ready in the given direction; false on the
    // deadline, a cancel or a failed wait.
    bool waitReady(bool forWriting);
    // One non-blocking call, made once the socket is ready for it.
    template <typename Call>
    int whenReady(bool forWriting, Call call);
    void startDeadlineIfIdle();
    void resetExchange();

    std::intptr_t handle = -1;
    int connectTimeoutMs = merro::http::kConnectTimeoutMs;
    int exchangeTimeoutMs = merro::http::kExchangeTimeoutMs;
    const std::atomic<bool>* cancel = nullptr;
    bool started = false;
    Clock::time_point deadline;
    bool timedOut = false;
    bool cancelled = false;
    bool gaveUp = false;
};
