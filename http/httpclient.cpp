#include "httpclient.h"

#include "platformsocket.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <vector>

namespace {

constexpr char kScheme[] = "http://";
constexpr std::size_t kSchemeLength = sizeof(kScheme) - 1;
constexpr char kCrLf[] = "\r\n";
constexpr int kHeaderLineLimit = 102400;
constexpr int kChunkLineLimit = 1024;
constexpr int kBodyPiece = 10240;

bool startsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Decimal number the way atoi reads it; out-of-range values saturate, so the
// result never depends on undefined overflow.
int decimalValue(const std::string& text)
{
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

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

const char* methodText(HttpMethod method)
{
    switch (method) {
    case HttpMethodGet:
        return "GET";
    case HttpMethodPost:
        return "POST";
    case HttpMethodPut:
        return "PUT";
    case HttpMethodDelete:
        return "DELETE";
    }
    return "";
}

void appendHeaderLines(const HeaderMap& headers, std::string& out)
{
    for (const auto& [name, value] : headers) {
        out += name;
        out += ": ";
        out += value;
        out += kCrLf;
    }
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

bool readBodyByLength(TcpSocket& socket, HttpResponse& response, std::string& body)
{
    // A negative Content-Length would never be reached as an unsigned count.
    if (static_cast<std::int32_t>(response.contentLength) < 0
        || response.contentLength > merro::http::kBodyMaxBytes)
        return false;
    const bool announced = response.headers.count("Content-Length") > 0;
    std::vector<char> buffer(kBodyPiece + 1);
    for (;;) {
        // Never past the announced length: what follows is not this reply's.
        int want = kBodyPiece;
        if (announced) {
            const std::uint32_t left = response.contentLength - response.received;
            if (left == 0)
                return true;
            want = static_cast<int>(std::min<std::uint32_t>(left, kBodyPiece));
        } else if (response.received >= merro::http::kBodyMaxBytes) {
            socket.GiveUp();
            return false;
        }
        const int n = socket.Recv(buffer.data(), want);
        if (n < 0)
            return false;
        // Without a length the close ends the reply; with one it came too soon.
        if (n == 0)
            return !announced;
        response.received += static_cast<std::uint32_t>(n);
        body.append(buffer.data(), static_cast<std::size_t>(n));
    }
}

} // namespace

bool HttpClient::ParseUrl(HttpRequest& request)
{
    const std::string& url = request.url;
    if (url.size() <= kSchemeLength || url.compare(0, kSchemeLength, kScheme) != 0)
        return false;
    const std::string rest = url.substr(kSchemeLength);
    const std::size_t slash = rest.find('/');
    const std::size_t colon = rest.find(':');
    const bool hasSlash = slash != std::string::npos;
    const bool hasColon = colon != std::string::npos;

    if (hasSlash && hasColon && slash < colon)
        return false;
    if (hasColon) {
        const std::size_t portEnd = hasSlash ? slash : rest.size();
        request.host = rest.substr(0, colon);
        request.port = static_cast<std::uint16_t>(
            decimalValue(rest.substr(colon + 1, portEnd - colon - 1)));
    } else {
        request.host = rest.substr(0, hasSlash ? slash : rest.size());
    }
    if (hasSlash)
        request.path = rest.substr(slash);
    return true;
}

bool HttpClient::NeedsNameLookup(const std::string& host)
{
    return std::any_of(host.begin(), host.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x41 && byte <= 0x7A;
    });
}

std::uint32_t HttpClient::ResolveHost(const std::string& host)
{
    if (!NeedsNameLookup(host))
        return ::inet_addr(host.c_str());
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return 0;
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const std::uint32_t result = address->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return result;
}

bool HttpClient::SendAll(TcpSocket& socket, const std::string& data)
{
    std::size_t sent = 0;
    while (sent < data.size()) {
        const std::size_t left = data.size() - sent;
        const int piece = static_cast<int>(std::min<std::size_t>(left, INT_MAX));
        const int result = socket.Send(data.data() + sent, piece);
        if (result < 0)
            return false;
        sent += static_cast<std::size_t>(result);
    }
    return true;
}

void HttpClient::BuildRequestHead(HttpMethod method, const HttpRequest& request,
                                  std::string& out)
{
    out += methodText(method);
    out += ' ';
    out += request.path;
    out += ' ';
    out += request.version;
    out += kCrLf;

    out += "Host: ";
    out += request.host;
    if (request.port != 80) {
        out += ':';
        out += std::to_string(request.port);
    }
    out += kCrLf;

    appendHeaderLines(request.headers, out);
    out += kCrLf;
}

void HttpClient::BuildMultipartBody(const MultipartForm& form, std::string& out)
{
    bool first = true;
    for (const auto& entry : form.parts) {
        const MultipartPart& part = entry.second;
        out += first ? "--" : "\r\n--";
        first = false;
        out += form.boundary;
        out += kCrLf;
        appendHeaderLines(part.headers, out);
        out += kCrLf;
        out += part.body;
    }
    out += "\r\n--";
    out += form.boundary;
    out += "--";
    out += kCrLf;
}

bool HttpClient::ConnectAndSend(HttpMethod method, TcpSocket& socket, const HttpRequest& request)
{
    std::string head;
    BuildRequestHead(method, request, head);
    const std::uint32_t address = ResolveHost(request.host);
    if (!socket.Connect(address, htons(request.port)))
        return false;
    return SendAll(socket, head);
}

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

void HttpClient::prepare(TcpSocket& socket, bool ownSocket) const
{
    if (ownSocket)
        socket.SetTimeouts(connectTimeoutMs, exchangeTimeoutMs);
    if (cancel)
        socket.SetCancel(cancel);
    socket.StartExchange();
}

HttpFailure HttpClient::failureOf(const TcpSocket& socket) const
{
    if (socket.Cancelled())
        return HttpFailure::Cancelled;
    if (socket.GaveUp())
        return HttpFailure::BrokenReply;
    return socket.TimedOut() ? HttpFailure::TimedOut : HttpFailure::BrokenReply;
}

HttpFailure HttpClient::connectFailureOf(const TcpSocket& socket) const
{
    return socket.TimedOut() || socket.Cancelled() ? failureOf(socket)
                                                   : HttpFailure::NoConnection;
}

bool HttpClient::Get(HttpRequest& request, HttpResponse& response, std::string& body)
{
    if (!ParseUrl(request)) {
        lastFailure = HttpFailure::BadUrl;
        return false;
    }
    TcpSocket socket;
    prepare(socket, true);
    bool complete = false;
    if (!ConnectAndSend(HttpMethodGet, socket, request)) {
        lastFailure = connectFailureOf(socket);
    } else {
        complete = ReadResponseHeader(socket, response)
                   && ReadResponseBody(socket, response, body);
        lastFailure = complete ? HttpFailure::None : failureOf(socket);
    }
    socket.Close();
    return complete;
}

bool HttpClient::Post(HttpRequest& request, HttpResponse& response,
                      const std::string& requestBody, std::string& body)
{
    if (!ParseUrl(request)) {
        lastFailure = HttpFailure::BadUrl;
        return false;
    }
    TcpSocket socket;
    prepare(socket, true);
    bool answered = false;
    if (!ConnectAndSend(HttpMethodPost, socket, request) || !SendAll(socket, requestBody)) {
        lastFailure = connectFailureOf(socket);
    } else {
        // A server that never answered has not accepted the post.
        answered = ReadResponseHeader(socket, response) && !socket.TimedOut()
                   && !socket.Cancelled();
        if (answered && response.contentLength != 0)
            ReadResponseBody(socket, response, body);
        lastFailure = answered ? HttpFailure::None : failureOf(socket);
    }
    socket.Close();
    return answered;
}

bool HttpClient::OpenGet(TcpSocket& socket, HttpResponse& response, HttpRequest& request)
{
    if (!ParseUrl(request)) {
        lastFailure = HttpFailure::BadUrl;
        return false;
    }
    prepare(socket, false);
    if (!ConnectAndSend(HttpMethodGet, socket, request)) {
        lastFailure = connectFailureOf(socket);
        return false;
    }
    const bool read = ReadResponseHeader(socket, response);
    lastFailure = read ? HttpFailure::None : failureOf(socket);
    return read;
}

bool HttpClient::OpenPost(TcpSocket& socket, HttpRequest& request)
{
    return ParseUrl(request) && ConnectAndSend(HttpMethodPost, socket, request);
}

bool HttpClient::SendData(TcpSocket& socket, const std::string& bytes)
{
    return SendAll(socket, bytes);
}

bool HttpClient::ReadBody(TcpSocket& socket, HttpResponse& response, std::string& body)
{
    return ReadResponseBody(socket, response, body);
}

void HttpClient::FinishPost(TcpSocket& socket, HttpResponse& response, std::string& body)
{
    ReadResponseHeader(socket, response);
    if (response.contentLength != 0)
        ReadResponseBody(socket, response, body);
    Close(socket);
}

void HttpClient::Close(TcpSocket& socket)
{
    socket.Close();
}

void HttpClient::SetTimeouts(int connectMs, int exchangeMs)
{
    connectTimeoutMs = connectMs;
    exchangeTimeoutMs = exchangeMs;
}
