// The HTTP client's request side: the URL, the host, the request head, and
// the calls that connect, send and read the reply (httpresponse.cpp).
#include "httpclient.h"

#include "httptext.h"
#include "platformsocket.h"

#include <algorithm>
#include <climits>

using httptext::decimalValue;
using httptext::kCrLf;

namespace {

constexpr char kScheme[] = "http://";
constexpr std::size_t kSchemeLength = sizeof(kScheme) - 1;

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
    return fetch(request, response, body, false, 0);
}

bool HttpClient::GetPart(HttpRequest& request, HttpResponse& response, std::string& body,
                         std::uint32_t limit)
{
    return fetch(request, response, body, true, limit);
}

bool HttpClient::fetch(HttpRequest& request, HttpResponse& response, std::string& body,
                       bool part, std::uint32_t limit)
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
                   && (part ? ReadResponseBodyStart(socket, response, body, limit)
                            : ReadResponseBody(socket, response, body));
        lastFailure = complete ? HttpFailure::None : failureOf(socket);
    }
    // A part: whatever more the camera would send is not wanted.
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
