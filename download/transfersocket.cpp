#include "transfersocket.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace net = merro::net;

namespace download {

namespace {

class Deadline
{
public:
    explicit Deadline(int ms) : end(Clock::now() + std::chrono::milliseconds(ms)) {}
    bool hasExpired() const { return Clock::now() >= end; }
    long long remainingMs() const
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        return std::max<long long>(0, left.count());
    }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point end;
};

} // namespace

Outcome waitFor(net::SocketHandle s, bool toSend, int limitMs, TransferObserver& observer)
{
    const Deadline deadline(limitMs);
    for (;;) {
        if (observer.stopRequested())
            return Outcome::Stopped;
        const int slice = static_cast<int>(std::min<long long>(kSliceMs, deadline.remainingMs()));
        const int ready = toSend ? net::waitWritable(s, slice) : net::waitReadable(s, slice);
        if (ready > 0)
            return Outcome::Done;
        if (ready < 0)
            return Outcome::Incomplete;
        if (deadline.hasExpired())
            return Outcome::TimedOut;
    }
}

int receiveSome(net::SocketHandle s, char* buffer, int length, TransferObserver& observer,
                Outcome* why, bool peek)
{
    for (;;) {
        const int n =
            peek ? net::peekBytes(s, buffer, length) : net::recvBytes(s, buffer, length);
        if (n >= 0)
            return n;
        if (net::lastCallInterrupted())
            continue;
        if (!net::lastCallWouldBlock()) {
            *why = Outcome::Incomplete;
            return -1;
        }
        const Outcome waited = waitFor(s, false, kSilenceTimeoutMs, observer);
        if (waited != Outcome::Done) {
            *why = waited;
            return -1;
        }
    }
}

bool sendAll(net::SocketHandle s, const char* data, int length, TransferObserver& observer)
{
    while (length > 0) {
        const int n = net::sendBytes(s, data, length);
        if (n > 0) {
            data += n;
            length -= n;
        } else if (n < 0 && (net::lastCallInterrupted() || net::lastCallWouldBlock())) {
            if (waitFor(s, true, kSilenceTimeoutMs, observer) != Outcome::Done)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

Outcome connectTo(net::SocketHandle s, const CardFileJob& job, TransferObserver& observer)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(job.port);
    address.sin_addr.s_addr = inet_addr(job.host.c_str());
    // Text that is no dotted address would be tried as the broadcast address.
    if (address.sin_addr.s_addr == INADDR_NONE || address.sin_addr.s_addr == 0
        || !net::setNonBlocking(s, true))
        return Outcome::ConnectFailed;
    net::ConnectResult result = net::startConnect(s, address);
    const Deadline deadline(kConnectTimeoutMs);
    while (result == net::ConnectResult::TimedOut && !deadline.hasExpired()) {
        if (observer.stopRequested())
            return Outcome::Stopped;
        result = net::finishConnect(s, kSliceMs);
    }
    if (result == net::ConnectResult::Connected)
        return Outcome::Done;
    std::printf("connect failed, return: %d\n", -1);
    std::fflush(stdout);
    return Outcome::ConnectFailed;
}

Outcome receiveHeader(net::SocketHandle s, TransferObserver& observer, resp_header* header)
{
    // What has arrived is looked at first, and only what the reader took of
    // it is received: no body byte goes with the head, in a few calls rather
    // than one per byte.
    char peeked[kBlockSize];
    int have = 0; // bytes looked at
    int used = 0; // of them, handed to the reader
    const auto take = [&](int count) {
        char discarded[kBlockSize];
        while (count > 0) {
            Outcome why = Outcome::Incomplete;
            const int n = receiveSome(s, discarded, count, observer, &why);
            if (n <= 0)
                return false;
            count -= n;
        }
        return true;
    };
    const Outcome outcome = readHeader([&](char* byte, Outcome* why) {
        if (used == have) {
            if (have > 0 && !take(have)) {
                *why = Outcome::Incomplete;
                return -1;
            }
            used = 0;
            have = receiveSome(s, peeked, sizeof peeked, observer, why, true);
            if (have <= 0)
                return have;
        }
        *byte = peeked[used++];
        return 1;
    }, header);
    if (outcome == Outcome::Done && used > 0 && !take(used))
        return Outcome::Incomplete;
    return outcome;
}

} // namespace download
