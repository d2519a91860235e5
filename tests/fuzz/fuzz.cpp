// The libFuzzer targets, one FUZZ_<target> block each. A broken invariant aborts.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

static void check(bool condition) { if (!condition) std::abort(); }

#ifdef FUZZ_http_response
#include "httpclient.h"

// A peer that sent these bytes and closed, at most `piece` per receive. Its own
// branches are no news to the fuzzer: not instrumented.
struct MemorySocket : TcpSocket
{
    MemorySocket(const std::uint8_t* bytes, std::size_t size, std::size_t piece)
        : bytes(bytes), size(size), piece(piece > 0 ? piece : size) {}
    const std::uint8_t* bytes; std::size_t size, piece, at = 0;

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
        if (reply.head && socket.at < socket.size) // then it ended on its empty line
            check(socket.at >= 2 && !std::memcmp(socket.bytes + socket.at - 2, "\r\n", 2));
        const std::size_t start = socket.at;
        reply.complete = HttpClient::ReadResponseBody(socket, reply.r, reply.body);
        check(reply.body.size() == reply.r.received && (reply.r.chunked
              || reply.body == std::string(socket.bytes + start, socket.bytes + socket.at)));
        check(!reply.complete || (reply.r.chunked ? reply.r.lastChunk && !reply.r.chunkRemaining
                                                  : reply.r.received >= reply.r.contentLength));
    }
    return replies[0];
}

// The first byte caps each receive: how bytes are cut must not change what is read.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const Reply whole = readReplies(MemorySocket(data + 1, size - 1, 0));
    const Reply cut = readReplies(MemorySocket(data + 1, size - 1, data[0]));
    check(cut.head == whole.head && cut.complete == whole.complete
          && cut.r.status == whole.r.status && cut.r.headers == whole.r.headers
          && cut.r.chunked == whole.r.chunked && (!cut.r.chunked || cut.body == whole.body));
    return 0;
}
#endif

#ifdef FUZZ_card_replies
#include "cardfilename.h"
#include "cardreplies.h"

using namespace CardReplies;

// Every cutter. Values go to unzeroed exact-size heap buffers, must end inside them.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    const auto checkValue = [&reply](const char* value, std::size_t n, bool plain = true) {
        check(plain && strnlen(value, n) < n && reply.find(value) != std::string::npos);
    };
    const std::unique_ptr<char[]> count(new char[16]);
    cutFileCount(reply.c_str(), count.get(), 16);
    checkValue(count.get(), 16, std::strspn(count.get(), "0123456789") == strlen(count.get()));
    const auto names = std::make_unique<char[][kValueSize]>(4);
    int leftOut = 0;
    const int rows = cutFileList(reply, names.get(), 4, &leftOut);
    for (int row = 0; row < rows; ++row)
        checkValue(names[row], kValueSize, merro::isPlainCardFileName(names[row]));
    const FileInfoFields fields = cutFileInfo(reply.c_str());
    for (const char* field : {fields.create, fields.size, fields.time})
        checkValue(field, kValueSize);
    return 0;
}
#endif

#ifdef FUZZ_link_frames
#include "linkframes.h"

using namespace LinkFrames;

// One receive from a unit, zero-padded on the heap so that reading past it is caught.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto buffer = std::make_unique<char[]>(kReceiveSize);
    std::memcpy(buffer.get(), data, std::min<std::size_t>(size, kReceiveSize));
    const auto byte = [&buffer](int i) { return static_cast<unsigned char>(buffer[i]); };
    VersionReport report;
    const bool version = readVersionReport(buffer.get(), report);
    check(version == (byte(0) == kControlStart && byte(2) == kVersionReport));
    const int fields[] = {report.hardVer, report.softVer, report.protocolVer, report.bootVer};
    for (int i = 0; version && i < 4; ++i)
        check(fields[i] == byte(2 * i + 5) * 256 + byte(2 * i + 6));
    check(!version || report.hardType == static_cast<signed char>(byte(4)));
    return 0;
}
#endif

#ifdef FUZZ_download_header
#include "cardfiletransfer.h"

// A file reply's head ends after four CR or LF bytes in a row and takes no more.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::size_t at = 0, end = 0, run = 0;
    resp_header header;
    const auto outcome = download::readHeader([&](char* byte, download::Outcome*) {
        return at < size ? (*byte = static_cast<char>(data[at++]), 1) : 0;
    }, &header);
    for (; run < 4 && end < size; ++end)
        run = data[end] == '\r' || data[end] == '\n' ? run + 1 : 0;
    check((outcome == download::Outcome::Done) == (run == 4) && at == end);
    const std::string head(data, data + end);
    check(strnlen(header.content_type, sizeof header.content_type) < sizeof header.content_type);
    check(head.find(header.content_type) != std::string::npos);
    check(header.content_length == -1 || head.find("Content-Length:") != std::string::npos);
    return 0;
}
#endif
