#include "cardfiletransfer.h"

#include "cardfilename.h"
#include "transfersocket.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace net = merro::net;

namespace download {

namespace {

// One request for the bytes from `from` on. Sets *fresh, and leaves the sink
// unopened, when the camera's answer to a resumed request does not continue
// the bytes kept.
Outcome fetchFrom(const CardFileJob& job, long long from, FileSink& sink,
                  TransferObserver& observer, int* status, bool* inBody, bool* fresh)
{
    char request[kRequestSize];
    if (!composeRequest(job, from, request))
        return Outcome::BadName;
    SocketGuard socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!net::isValid(socket.handle)) {
        std::printf("invalid socket descriptor: %d\n", static_cast<int>(socket.handle));
        std::fflush(stdout);
        return Outcome::NoSocket;
    }
    const Outcome connected = connectTo(socket.handle, job, observer);
    if (connected != Outcome::Done)
        return connected;
    if (!sendAll(socket.handle, request, static_cast<int>(std::strlen(request)), observer))
        return observer.stopRequested() ? Outcome::Stopped : Outcome::NoReply;

    resp_header header;
    const Outcome headed = receiveHeader(socket.handle, observer, &header);
    if (headed != Outcome::Done)
        return headed;
    observer.headerReceived(header);
    *status = header.status_code;
    long long total = header.content_length;
    if (from > 0 && header.status_code == 206) {
        // The rest of this very file, and all of it; anything else starts afresh.
        const long long rest = header.range_total - from;
        if (header.range_first != from || header.range_last != header.range_total - 1
            || (job.total >= 0 && header.range_total != job.total)
            || (header.content_length >= 0 && header.content_length != rest)) {
            *fresh = true;
            return Outcome::BadStatus;
        }
        total = header.range_total;
    } else if (from > 0 && header.status_code != 200) {
        *fresh = true;
        return Outcome::BadStatus;
    } else {
        // A whole file: it replaces what was kept.
        from = 0;
        if (header.status_code != 200)
            return Outcome::BadStatus;
    }
    // The camera always announces a plain length; anything else is refused
    // rather than saved undecoded.
    if (header.coded || header.content_length < -1)
        return Outcome::Unsupported;

    if (!sink.open(from, total))
        return Outcome::OpenFailed;
    *inBody = true;
    const long long length = total < 0 ? -1 : total - from;
    long long written = 0;
    std::vector<char> buffer(kBlockSize);
    while (length < 0 || written < length) {
        if (observer.stopRequested())
            return Outcome::Stopped;
        // Never read past the announced length: extra bytes are not the file's.
        const int want = length < 0 ? kBlockSize
                                    : static_cast<int>(std::min<long long>(kBlockSize,
                                                                           length - written));
        Outcome why = Outcome::Incomplete;
        const int received = receiveSome(socket.handle, buffer.data(), want, observer, &why);
        if (received < 0)
            return why;
        if (received == 0)
            break;
        if (!sink.write(buffer.data(), received))
            return Outcome::WriteFailed;
        written += received;
        observer.blockWritten(from + written, total);
    }
    if (length >= 0 && written != length)
        return Outcome::Incomplete;
    // Ended by a close: whole only when as long as the recording. A camera
    // that broke off looks just like one that was done.
    if (length < 0 && from + written != job.total)
        return job.total < 0 ? Outcome::SizeUnknown : Outcome::Incomplete;
    *inBody = false;
    // Hung up before the next file is asked for: a camera that serves one
    // connection at a time is free by then.
    socket.close();
    observer.bodyComplete();
    return sink.finish() ? Outcome::Done : Outcome::WriteFailed;
}

} // namespace

Outcome fetchCardFile(const CardFileJob& job, FileSink& sink, TransferObserver& observer,
                      int* status, bool* inBody)
{
    *status = 0;
    bool broken = false;
    if (!merro::isPlainCardFileName(job.name))
        return Outcome::BadName;
    // Stopped before it began: the camera is not asked.
    if (observer.stopRequested())
        return Outcome::Stopped;
    sink.prepare();
    bool fresh = false;
    Outcome outcome = fetchFrom(job, std::max(job.resumeFrom, 0LL), sink, observer, status,
                                &broken, &fresh);
    if (fresh) {
        sink.discard();
        fresh = false;
        outcome = fetchFrom(job, 0, sink, observer, status, &broken, &fresh);
    }
    if (inBody)
        *inBody = broken;
    return outcome;
}

} // namespace download
