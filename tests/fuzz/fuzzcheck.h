#pragma once

#include "tcpsocket.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

// A broken invariant is a finding: abort, so that libFuzzer keeps the input.
inline void check(bool condition)
{
    if (!condition)
        std::abort();
}

// A socket whose peer sent these bytes and then closed, at most `piece` of
// them per receive (0: no cap).
class MemorySocket : public TcpSocket
{
public:
    MemorySocket(const std::uint8_t* bytes, std::size_t size, int piece)
        : bytes(reinterpret_cast<const char*>(bytes)), size(size), piece(piece)
    {}
    std::size_t taken() const { return at; }
    std::size_t left() const { return size - at; }
    std::string before(std::size_t n) const { return std::string(bytes + at - n, n); }
    std::string since(std::size_t from) const { return std::string(bytes + from, at - from); }

protected:
    // Not instrumented: its branches are no news.
    __attribute__((no_sanitize("coverage"))) int receive(char* buffer, int length, bool peek) override
    {
        std::size_t n = std::min(static_cast<std::size_t>(length), left());
        if (piece > 0)
            n = std::min(n, static_cast<std::size_t>(piece));
        std::memcpy(buffer, bytes + at, n);
        at += peek ? 0 : n;
        return static_cast<int>(n);
    }

private:
    const char* bytes;
    std::size_t size;
    int piece;
    std::size_t at = 0;
};
