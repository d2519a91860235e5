// The HTTP client's reply side: the head, the header lines, and a body by
// its length, up to the close, or in chunks.
#include "httpclient.h"

#include "httptext.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <vector>

using httptext::decimalValue;
using httptext::kCrLf;
using httptext::startsWith;

namespace {

constexpr int kHeaderLineLimit = 102400;
constexpr int kChunkLineLimit = 1024;
constexpr int kBodyPiece = 10240;

// Hexadecimal number the way a "%x" scan reads it: leading blanks, a sign, an
// optional 0x. No digits gives 0; a value that does not fit saturates.
std::uint32_t hexValue(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')
        && std::isxdigit(static_cast<unsigned char>(text[i + 2])))
        i += 2;
    std::uint64_t value = 0;
    for (; i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); ++i) {
        const char c = text[i];
        const int digit = std::isdigit(static_cast<unsigned char>(c))
                              ? c - '0'
                              : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        value = value * 16 + static_cast<std::uint64_t>(digit);
        if (value > UINT32_MAX)
            return UINT32_MAX;
    }
    const auto result = static_cast<std::uint32_t>(value);
    return negative ? 0u - result : result;
}

bool readChunkedBody(TcpSocket& socket, HttpResponse& response, std::string& body)
{
    std::string piece;
    std::string line;
    for (;;) {
        if (response.chunkRemaining > 0) {
            const int n = socket.RecvCount(piece, static_cast<int>(response.chunkRemaining));
            // Nothing more of this chunk will ever come.
            if (n <= 0)
                return false;
            response.received += static_cast<std::uint32_t>(n);
            response.chunkRemaining -= static_cast<std::uint32_t>(n);
            body += piece;
            continue;
        }
        const int length = socket.RecvLine(line, kChunkLineLimit);
        if (length < 0)
            return false;
        if (response.lastChunk)
            return true;
        // The peer left before the chunk of size 0.
        if (length == 0)
            return false;
        if (line == kCrLf)
            continue;
        const std::uint32_t size = hexValue(line);
        if (static_cast<std::int32_t>(size) < 0)
            continue;
        if (size > merro::http::kBodyMaxBytes - response.received)
            return false;
        response.chunkRemaining = size;
        response.lastChunk = size == 0;
    }
}

// The body, never past `limit` nor the announced length: what follows that is
// not this reply's. Without a length the close ends it.
bool readBodyUpTo(TcpSocket& socket, HttpResponse& response, std::string& body,
                  std::uint32_t limit)
{
    // A negative Content-Length would never be reached as an unsigned count.
    if (static_cast<std::int32_t>(response.contentLength) < 0)
        return false;
    const bool announced = response.headers.count("Content-Length") > 0;
    const std::uint32_t want = announced ? std::min(limit, response.contentLength) : limit;
    std::vector<char> buffer(kBodyPiece);
    while (response.received < want) {
        const int piece =
            static_cast<int>(std::min<std::uint32_t>(want - response.received, kBodyPiece));
        const int n = socket.Recv(buffer.data(), piece);
        if (n < 0)
            return false;
        // With a length the close came too soon.
        if (n == 0)
            return !announced;
        response.received += static_cast<std::uint32_t>(n);
        body.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return true;
}

bool readBodyByLength(TcpSocket& socket, HttpResponse& response, std::string& body)
{
    const std::uint32_t most = merro::http::kBodyMaxBytes;
    if (response.contentLength > most || !readBodyUpTo(socket, response, body, most))
        return false;
    // Without a length, a body as large as the cap is no reply of a CGI.
    if (response.headers.count("Content-Length") == 0 && response.received >= most) {
        socket.GiveUp();
        return false;
    }
    return true;
}

} // namespace

bool HttpClient::ReadResponseHeader(TcpSocket& socket, HttpResponse& response)
{
    response.status = 0;
    response.chunked = false;
    response.lastChunk = false;
    response.contentLength = 0;
    response.received = 0;
    response.chunkRemaining = 0;
    response.headers.clear();

    std::string line;
    bool anyLine = false;
    int headerBytes = 0;
    int headerLines = 0;
    for (;;) {
        // Within the caps, a line never takes more than what is left of them.
        const int limit = std::min(kHeaderLineLimit, merro::http::kHeaderMaxBytes - headerBytes);
        if (limit <= 0 || headerLines >= merro::http::kHeaderMaxLines) {
            socket.GiveUp();
            return false;
        }
        const int length = socket.RecvLine(line, limit);
        // A connection that ends before its first byte carried no reply at all.
        if (length <= 0)
            return anyLine && !socket.TimedOut() && !socket.Cancelled();
        anyLine = true;
        headerBytes += length;
        ++headerLines;
        if (line == kCrLf)
            return true;
        std::string name;
        std::string value;
        SplitHeaderLine(line, name, value);
        if (startsWith(name, "HTTP")) {
            const std::size_t space = value.find(' ');
            if (space != std::string::npos)
                response.status = decimalValue(value.substr(0, space));
            continue;
        }
        response.headers[name] = value;
        if (name == "Transfer-Encoding") {
            if (value == "chunked")
                response.chunked = true;
        } else if (name == "Content-Length") {
            response.contentLength = static_cast<std::uint32_t>(decimalValue(value));
        }
    }
}

void HttpClient::SplitHeaderLine(const std::string& line, std::string& name, std::string& value)
{
    std::string trimmed = line;
    const std::size_t first = line.find_first_not_of(kCrLf);
    if (first != std::string::npos) {
        const std::size_t last = line.find_last_not_of(kCrLf);
        trimmed = line.substr(first, last - first + 1);
    }

    if (startsWith(trimmed, "HTTP")) {
        const std::size_t space = trimmed.find(' ');
        if (space != std::string::npos) {
            name.append(trimmed, 0, space);
            value.append(trimmed, space + 1, std::string::npos);
        }
        return;
    }
    const std::size_t separator = trimmed.find(": ");
    if (separator != std::string::npos) {
        name.append(trimmed, 0, separator);
        value.append(trimmed, separator + 2, std::string::npos);
    }
}

bool HttpClient::ReadResponseBody(TcpSocket& socket, HttpResponse& response, std::string& body)
{
    if (response.chunked)
        return readChunkedBody(socket, response, body);
    return readBodyByLength(socket, response, body);
}

bool HttpClient::ReadResponseBodyStart(TcpSocket& socket, HttpResponse& response,
                                       std::string& body, std::uint32_t limit)
{
    return !response.chunked && readBodyUpTo(socket, response, body, limit);
}
