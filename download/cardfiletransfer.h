#pragma once

#include "platformsocket.h"

#include <functional>
#include <string>

// One card file fetched by its own HTTP GET. Plain C++ on the socket layer,
// without Qt, so that it builds and runs as it is on every platform; the
// download thread wraps it and supplies the local file.

// The parsed head of a file reply.
struct resp_header
{
    int status_code = 0;
    char content_type[128] = {};
    long long content_length = -1; // -1: the reply announced no length
    bool coded = false;            // a Transfer-Encoding (chunked...) was announced
    // "Content-Range: bytes first-last/total" of a partial reply; -1 when absent.
    long long range_first = -1;
    long long range_last = -1;
    long long range_total = -1;
};

namespace download {

// Why a download ended; Done is the only success.
enum class Outcome : int {
    Done,
    Stopped,
    BadName,
    NoSocket,
    ConnectFailed,
    NoReply,
    HeaderTooLarge,
    BadStatus,
    Unsupported,
    SizeUnknown, // a body ended by a close, and no size to check it against
    NoDetails,   // the camera did not answer the details asked for first
    Incomplete,
    TimedOut,
    OpenFailed,
    WriteFailed,
};

// Whether another try may mend what broke: a body that stopped coming, after
// some of it arrived and was kept.
inline bool worthRetrying(Outcome outcome)
{
    return outcome == Outcome::Incomplete || outcome == Outcome::TimedOut;
}

constexpr int kConnectTimeoutMs = 3000;
// The camera streams a file without pauses; this much silence means it is gone.
constexpr int kSilenceTimeoutMs = 10000;
// How often a wait looks up to see whether it should stop.
constexpr int kSliceMs = 100;
constexpr int kRequestSize = 2048;
constexpr int kBlockSize = 4096;

// What the transfer needs from the one who runs it.
class TransferObserver
{
public:
    virtual ~TransferObserver() = default;
    virtual bool stopRequested() = 0;
    virtual void headerReceived(const resp_header& header) = 0;
    // After every block written; total is -1 when the length is unknown.
    virtual void blockWritten(long long written, long long total) = 0;
    // The whole body arrived and the camera is done with: only the local
    // file is still to be made.
    virtual void bodyComplete() {}
};

// Where the body goes. A file that is not finished must leave no trace
// under the local name: an older copy stays as it was.
class FileSink
{
public:
    virtual ~FileSink() = default;
    // Once the request is known to be sound, before the camera is reached.
    virtual void prepare() {}
    // A good reply head arrived: the body's bytes from `from` on follow, of a
    // file of `total` bytes (-1: unknown). From 0 the sink starts afresh; from
    // further on it adds to the bytes it kept. False when they cannot be stored.
    virtual bool open(long long from, long long total) = 0;
    virtual bool write(const char* data, int length) = 0;
    // The whole body arrived: make it the local file.
    virtual bool finish() = 0;
    // What was kept of an earlier transfer does not belong to this file.
    virtual void discard() {}
};

struct CardFileJob
{
    std::string name; // card file name, as the camera spells it
    std::string host; // camera's dotted IPv4 address
    unsigned short port = 80;
    // Bytes the sink holds already: the request asks for the rest only.
    long long resumeFrom = 0;
    // The file's size where it is known; a partial reply must agree with it.
    long long total = -1;
};

// Parses a NUL-terminated reply head: status, Content-Type, Content-Length.
resp_header parseResponseHeader(const char* response);

// Formats the GET for the job's file into `buffer` (kRequestSize bytes), for
// the bytes from `from` on; false when the name is not a plain card file name
// or the request would not fit.
bool composeRequest(const CardFileJob& job, long long from, char* buffer);

// Reads a reply head from the socket one byte at a time, so that no body
// byte is taken with it, and parses it. Done, or why there is no head.
Outcome receiveHeader(merro::net::SocketHandle s, TransferObserver& observer,
                      resp_header* header);

// One byte into *byte: 1; 0 when the camera closed; < 0 with *why set.
using ByteSource = std::function<int(char* byte, Outcome* why)>;
// receiveHeader on any source of bytes (the fuzzer's is memory).
Outcome readHeader(const ByteSource& next, resp_header* header);

// The whole transfer: the body goes to `sink`, which is finished only when
// every announced byte arrived. A partial reply is added to what the sink
// holds only when it starts where that ends and is of the same file; any
// other answer to a resumed request discards it and fetches the whole file.
// *inBody: the transfer broke off in the body, after the sink was opened.
Outcome fetchCardFile(const CardFileJob& job, FileSink& sink, TransferObserver& observer,
                      int* status, bool* inBody = nullptr);

} // namespace download
