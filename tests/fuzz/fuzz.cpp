// Every libFuzzer target, one per FUZZ_<target> block; CMake builds each with
// its own define. A broken invariant aborts, so that libFuzzer keeps the input.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

static void check(bool condition) { if (!condition) std::abort(); }

#ifdef FUZZ_http_response
#include "httpclient.h"

// A peer that sent these bytes and closed, at most `piece` of them per receive.
class MemorySocket : public TcpSocket
{
public:
    MemorySocket(const std::uint8_t* bytes, std::size_t size, std::size_t piece)
        : bytes(bytes), size(size), piece(piece > 0 ? piece : size) {}
    const std::uint8_t* bytes; std::size_t size, piece, at = 0;

protected:
    // Not instrumented: its branches are no news.
    __attribute__((no_sanitize("coverage"))) int receive(char* to, int length, bool peek) override
    {
        const std::size_t n = std::min({static_cast<std::size_t>(length), size - at, piece});
        std::memcpy(to, bytes + at, n);
        at += peek ? 0 : n;
        return static_cast<int>(n);
    }
};

struct Reply { bool head = false, complete = false; HttpResponse r; std::string body; };

// Two replies from one record, as from a server that then closes; the first.
static Reply readReplies(MemorySocket&& socket)
{
    Reply replies[2];
    for (Reply& reply : replies) {
        reply.head = HttpClient::ReadResponseHeader(socket, reply.r);
        // A head that ended before the stream did ended on its empty line.
        if (reply.head && socket.at < socket.size)
            check(socket.at >= 2 && !std::memcmp(socket.bytes + socket.at - 2, "\r\n", 2));
        const std::size_t start = socket.at;
        reply.complete = HttpClient::ReadResponseBody(socket, reply.r, reply.body);
        check(reply.body.size() == reply.r.received);
        check(reply.r.chunked
              || reply.body == std::string(socket.bytes + start, socket.bytes + socket.at));
        if (reply.complete)
            check(reply.r.chunked ? reply.r.lastChunk && reply.r.chunkRemaining == 0
                                  : reply.r.received >= reply.r.contentLength);
    }
    return replies[0];
}

// The first byte caps what one receive returns; how the bytes are cut into
// receives must not change what is read.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const Reply whole = readReplies(MemorySocket(data + 1, size - 1, 0));
    if (data[0] == 0)
        return 0;
    const Reply cut = readReplies(MemorySocket(data + 1, size - 1, data[0]));
    check(cut.head == whole.head && cut.complete == whole.complete
          && cut.r.status == whole.r.status && cut.r.headers == whole.r.headers
          && cut.r.chunked == whole.r.chunked);
    check(!whole.r.chunked || cut.body == whole.body);
    return 0;
}
#endif

#ifdef FUZZ_card_replies
#include "cardfilename.h"
#include "cardreplies.h"

using namespace CardReplies;

// A count, list or info reply through every cutter. Cut values sit in heap
// buffers of their exact size, not zeroed, so that a byte written past one or
// a missing end is caught; each ends inside its buffer and is reply text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    const auto checkValue = [&reply](const char* value, std::size_t n) {
        check(strnlen(value, n) < n && reply.find(value) != std::string::npos);
    };
    const std::unique_ptr<char[]> count(new char[16]);
    cutFileCount(reply.c_str(), count.get(), 16);
    checkValue(count.get(), 16);
    check(std::strspn(count.get(), "0123456789") == std::strlen(count.get()));
    constexpr int kMaxNames = 4;
    const auto names = std::make_unique<char[][kValueSize]>(kMaxNames);
    int leftOut = 0;
    const int rows = cutFileList(reply, names.get(), kMaxNames, &leftOut);
    check(rows >= 0 && rows <= kMaxNames && leftOut >= 0);
    for (int row = 0; row < rows; ++row) {
        checkValue(names[row], kValueSize);
        check(merro::isPlainCardFileName(names[row]));
    }
    const FileInfoFields fields = cutFileInfo(reply.c_str());
    for (const char* field : {fields.create, fields.size, fields.time})
        checkValue(field, kValueSize);
    return 0;
}
#endif

#ifdef FUZZ_link_frames
#include "linkframes.h"

using namespace LinkFrames;

// One receive from a unit, zero-padded to the link's receive size on the heap,
// so a check reading past it is caught. Reports come from control frames only.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto buffer = std::make_unique<char[]>(kReceiveSize);
    std::memcpy(buffer.get(), data, std::min<std::size_t>(size, kReceiveSize));
    const auto byte = [&buffer](int i) { return static_cast<unsigned char>(buffer[i]); };
    VersionReport report;
    const bool version = readVersionReport(buffer.get(), report);
    check(version == (byte(0) == kControlStart && byte(2) == kVersionReport));
    const int fields[] = {report.hardType, report.hardVer, report.softVer, report.protocolVer,
                          report.bootVer};
    for (int i = 1; version && i < 5; ++i)
        check(fields[i] == byte(2 * i + 3) * 256 + byte(2 * i + 4));
    check(!version || fields[0] == static_cast<signed char>(byte(4)));
    return 0;
}
#endif
