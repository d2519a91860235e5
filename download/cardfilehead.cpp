// The file request and its reply head, as text: no sockets here, so that a
// fuzz target can drive the head reader from memory.
#include "cardfiletransfer.h"

#include "cardfilename.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

} // namespace download
