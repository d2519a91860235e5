#include "cardfiletransfer.h"

#include "cardfilename.h"

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace net = merro::net;

namespace download {

namespace {

constexpr char kRequestPattern[] =
    "GET %s HTTP/1.1\r\n"
    "Accept:text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,*/*;q=0.8\r\n"
    "User-Agent:Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537(KHTML, like Gecko) "
    "Chrome/47.0.2526Safari/537.36\r\n"
    "Host:%s\r\n"
    "Connection:close\r\n"
    "%s" // the range, when the request asks for the rest of a file only
    "\r\n";
constexpr char kCardFolder[] = "/sd/DCIM/100TQCAM/";
constexpr size_t kInitialHeaderSize = 4096;
// No camera sends a head this large; a peer that tries must not eat memory.
constexpr size_t kMaxHeaderSize = 1024 * 1024;

class SocketGuard
{
public:
    explicit SocketGuard(net::SocketHandle s) : handle(s) {}
    ~SocketGuard() { close(); }
    void close()
    {
        if (net::isValid(handle))
            net::closeSocket(handle);
        handle = net::kInvalidSocket;
    }
    SocketGuard(const SocketGuard&) = delete;
    SocketGuard& operator=(const SocketGuard&) = delete;
    net::SocketHandle handle;
};

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

// Waits for the socket in short slices so that a stop request is seen.
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

// > 0: bytes received (with `peek`, only looked at: they stay to be received);
// 0: the camera closed; < 0: `why` says what went wrong.
int receiveSome(net::SocketHandle s, char* buffer, int length, TransferObserver& observer,
                Outcome* why, bool peek = false)
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

// Whether the head names a Transfer-Encoding, in any letter case.
bool hasTransferCoding(const char* response)
{
    static const char kField[] = "\ntransfer-encoding:";
    const size_t fieldLength = sizeof(kField) - 1;
    for (const char* p = response; *p; ++p) {
        size_t i = 0;
        while (i < fieldLength && p[i]
               && std::tolower(static_cast<unsigned char>(p[i])) == kField[i])
            ++i;
        if (i == fieldLength)
            return true;
    }
    return false;
}

} // namespace

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

// The head ends with a run of four CR or LF characters.
Outcome readHeader(const ByteSource& next, resp_header* header)
{
    size_t size = kInitialHeaderSize;
    char* text = static_cast<char*>(std::malloc(size));
    if (!text)
        return Outcome::HeaderTooLarge;
    size_t length = 0;
    text[0] = '\0';
    Outcome outcome = Outcome::NoReply;
    for (;;) {
        char byte;
        Outcome why = Outcome::NoReply;
        const int n = next(&byte, &why);
        if (n <= 0) {
            if (n < 0 && why != Outcome::Incomplete)
                outcome = why;
            break;
        }
        if (length + 2 > size) {
            if (size * 2 > kMaxHeaderSize) {
                outcome = Outcome::HeaderTooLarge;
                break;
            }
            char* larger = static_cast<char*>(std::realloc(text, size * 2));
            if (!larger) {
                std::printf("realloc failed\n");
                std::fflush(stdout);
                outcome = Outcome::HeaderTooLarge;
                break;
            }
            text = larger;
            size *= 2;
        }
        text[length++] = byte;
        text[length] = '\0';
        if (byte != '\r' && byte != '\n')
            continue;
        size_t run = 0;
        while (run < length && (text[length - 1 - run] == '\r' || text[length - 1 - run] == '\n'))
            ++run;
        if (run == 4) {
            *header = parseResponseHeader(text);
            outcome = Outcome::Done;
            break;
        }
    }
    std::free(text);
    return outcome;
}

resp_header parseResponseHeader(const char* response)
{
    resp_header header;
    if (const char* at = std::strstr(response, "HTTP/"))
        std::sscanf(at, "%*s %d", &header.status_code);
    if (const char* at = std::strstr(response, "Content-Type:"))
        std::sscanf(at, "%*s %127s", header.content_type);
    if (const char* at = std::strstr(response, "Content-Length:")) {
        long long length = -1;
        if (std::sscanf(at, "%*s %lld", &length) == 1)
            header.content_length = length;
    }
    header.coded = hasTransferCoding(response);
    if (const char* at = std::strstr(response, "Content-Range:")) {
        long long first = -1, last = -1, total = -1;
        if (std::sscanf(at, "%*s bytes %lld-%lld/%lld", &first, &last, &total) == 3
            && first >= 0 && first <= last && last < total) {
            header.range_first = first;
            header.range_last = last;
            header.range_total = total;
        }
    }
    return header;
}

bool composeRequest(const CardFileJob& job, long long from, char* buffer)
{
    if (!merro::isPlainCardFileName(job.name))
        return false;
    const std::string host =
        job.port == 80 ? job.host : job.host + ':' + std::to_string(job.port);
    const std::string url = "http://" + host + kCardFolder + job.name;
    const std::string range = from > 0 ? "Range: bytes=" + std::to_string(from) + "-\r\n" : "";
    std::memset(buffer, 0, kRequestSize);
    const int length = std::snprintf(buffer, kRequestSize, kRequestPattern, url.c_str(),
                                     host.c_str(), range.c_str());
    return length > 0 && length < kRequestSize;
}

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
