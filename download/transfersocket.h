#pragma once

// The transfer's socket work: a bounded connect, and sends and receives that
// wait in short slices so that a stop request is seen. Internal to download/.

#include "cardfiletransfer.h"

namespace download {

class SocketGuard
{
public:
    explicit SocketGuard(merro::net::SocketHandle s) : handle(s) {}
    ~SocketGuard() { close(); }
    void close()
    {
        if (merro::net::isValid(handle))
            merro::net::closeSocket(handle);
        handle = merro::net::kInvalidSocket;
    }
    SocketGuard(const SocketGuard&) = delete;
    SocketGuard& operator=(const SocketGuard&) = delete;
    merro::net::SocketHandle handle;
};

// Waits for the socket in short slices so that a stop request is seen.
Outcome waitFor(merro::net::SocketHandle s, bool toSend, int limitMs, TransferObserver& observer);

// > 0: bytes received (with `peek`, only looked at: they stay to be received);
// 0: the camera closed; < 0: `why` says what went wrong.
int receiveSome(merro::net::SocketHandle s, char* buffer, int length,
                TransferObserver& observer, Outcome* why, bool peek = false);

bool sendAll(merro::net::SocketHandle s, const char* data, int length,
             TransferObserver& observer);

// Connects within kConnectTimeoutMs to the job's camera.
Outcome connectTo(merro::net::SocketHandle s, const CardFileJob& job,
                  TransferObserver& observer);

} // namespace download
