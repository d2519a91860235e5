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
        const bool announced = reply.r.headers.count("Content-Length") > 0;
        check(!reply.complete || (reply.r.chunked ? reply.r.lastChunk && !reply.r.chunkRemaining
                                  : announced ? reply.r.received == reply.r.contentLength
                                              : socket.at == socket.size));
    }
    return replies[0];
}

// The first byte caps each receive: however the bytes are cut, every body form reads the same.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const Reply whole = readReplies(MemorySocket(data + 1, size - 1, 0));
    const Reply cut = readReplies(MemorySocket(data + 1, size - 1, data[0]));
    check(cut.head == whole.head && cut.complete == whole.complete
          && cut.r.status == whole.r.status && cut.r.headers == whole.r.headers
          && cut.r.chunked == whole.r.chunked && cut.body == whole.body);
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
    const FileList list = cutFileList(reply, names.get(), 4);
    check(!list.cut || reply.back() != ';');
    for (int row = 0; row < list.rows; ++row)
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

static bool sameReport(const VersionReport& a, const VersionReport& b)
{
    return a.hardType == b.hardType && a.hardVer == b.hardVer && a.softVer == b.softVer
           && a.protocolVer == b.protocolVer && a.bootVer == b.bootVer;
}

// One receive from a unit, as a channel holds it: zero-padded in an exact-size heap
// buffer, so that a read past it is caught.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::size_t n = std::min<std::size_t>(size, kReceiveSize);
    const auto buffer = std::make_unique<char[]>(kReceiveSize);
    std::memcpy(buffer.get(), data, n);
    VersionReport report;
    const bool version = readVersionReport(buffer.get(), report);
    // Only the control unit's report frame reports: never a heartbeat, nor a ground frame.
    const auto at = [&](std::size_t i) { return i < n ? data[i] : 0; };
    check(!version || (at(0) == kControlStart && at(2) == kVersionReport));
    // The frame is its first 13 bytes: whatever arrives behind it changes nothing.
    const auto noisy = std::make_unique<char[]>(kReceiveSize);
    std::memcpy(noisy.get(), buffer.get(), kReceiveSize);
    for (int i = 13; i < kReceiveSize; ++i)
        noisy[i] = static_cast<char>(~at(i));
    VersionReport again;
    check(readVersionReport(noisy.get(), again) == version && sameReport(again, report));
    // A report written from any values reads back as those values.
    if (size >= 9) {
        VersionReport sent;
        sent.hardType = static_cast<signed char>(data[0]);
        int* fields[] = {&sent.hardVer, &sent.softVer, &sent.protocolVer, &sent.bootVer};
        char frame[kReceiveSize] = {char(kControlStart), 0, char(kVersionReport), 9, char(data[0])};
        for (int i = 0; i < 4; ++i) {
            *fields[i] = data[2 * i + 1] | data[2 * i + 2] << 8;
            frame[5 + 2 * i] = static_cast<char>(*fields[i] >> 8);
            frame[6 + 2 * i] = static_cast<char>(*fields[i] & 0xFF);
        }
        VersionReport read;
        check(readVersionReport(frame, read) && sameReport(read, sent));
    }
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
