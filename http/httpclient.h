#pragma once

// A small blocking HTTP/1.1 client for the camera's CGI interface.
// No Qt and no platform headers here: the window includes this file.

#include "httptimeouts.h"
#include "tcpsocket.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

// Header name -> value, one value per name, ordered byte-wise (memcmp order).
using HeaderMap = std::map<std::string, std::string>;

enum HttpMethod : std::int32_t {
    HttpMethodGet = 1,
    HttpMethodPost = 2,
    HttpMethodPut = 3,
    HttpMethodDelete = 4,
};

struct HttpRequest
{
    std::string version = "HTTP/1.1";
    std::string url;
    std::string host;
    std::uint16_t port = 80;
    std::string path = "/";
    HeaderMap headers;
};

struct HttpResponse
{
    std::int32_t status = 0;
    bool chunked = false;
    bool lastChunk = false;
    std::uint32_t contentLength = 0;
    std::uint32_t received = 0;
    std::uint32_t chunkRemaining = 0;
    HeaderMap headers;
};

struct MultipartPart
{
    HeaderMap headers;
    std::string body;
};

struct MultipartForm
{
    std::string boundary;
    std::map<std::uint32_t, MultipartPart> parts;
};

// Why the last Get, Post or OpenGet of a client failed.
enum class HttpFailure {
    None,
    BadUrl,       // refused before any network activity
    NoConnection, // socket, connect or send failed: nobody answered
    TimedOut,     // the exchange did not finish within its deadline
    BrokenReply,  // an answer came, but ended early, or was too large to be real
    Cancelled,    // the caller's cancel flag was raised
};

class HttpClient
{
public:
    static bool ParseUrl(HttpRequest& request);
    // IPv4 address in network byte order.
    static std::uint32_t ResolveHost(const std::string& host);
    // Whether ResolveHost asks the name service rather than reading the host
    // as a dotted address.
    static bool NeedsNameLookup(const std::string& host);
    static bool SendAll(TcpSocket& socket, const std::string& data);

    static void BuildRequestHead(HttpMethod method, const HttpRequest& request, std::string& out);
    static void BuildMultipartBody(const MultipartForm& form, std::string& out);
    static bool ConnectAndSend(HttpMethod method, TcpSocket& socket, const HttpRequest& request);

    static bool ReadResponseHeader(TcpSocket& socket, HttpResponse& response);
    static void SplitHeaderLine(const std::string& line, std::string& name, std::string& value);
    static bool ReadResponseBody(TcpSocket& socket, HttpResponse& response, std::string& body);
    // The first `limit` bytes of a plain body (not chunked), or all of a
    // shorter one.
    static bool ReadResponseBodyStart(TcpSocket& socket, HttpResponse& response,
                                      std::string& body, std::uint32_t limit);

    bool Get(HttpRequest& request, HttpResponse& response, std::string& body);
    // As Get, but reads at most `limit` bytes of the body, never past its
    // announced length, and hangs up: the start of a file, not all of it.
    // True when that much arrived (or all of a shorter body).
    bool GetPart(HttpRequest& request, HttpResponse& response, std::string& body,
                 std::uint32_t limit);
    bool Post(HttpRequest& request, HttpResponse& response, const std::string& requestBody,
              std::string& body);

    bool OpenGet(TcpSocket& socket, HttpResponse& response, HttpRequest& request);
    bool OpenPost(TcpSocket& socket, HttpRequest& request);
    bool SendData(TcpSocket& socket, const std::string& bytes);
    bool ReadBody(TcpSocket& socket, HttpResponse& response, std::string& body);
    void FinishPost(TcpSocket& socket, HttpResponse& response, std::string& body);
    void Close(TcpSocket& socket);

    // For the sockets that Get and Post open themselves; OpenGet starts the
    // exchange deadline of the caller's socket, which keeps its own limits.
    // exchangeMs bounds the whole call. Negative: no limit.
    void SetTimeouts(int connectMs, int exchangeMs);
    HttpFailure LastFailure() const { return lastFailure; }
    // While *flag is true (another thread may raise it), every wait of this
    // client's calls ends at once and the call fails with Cancelled.
    void SetCancel(const std::atomic<bool>* flag) { cancel = flag; }

private:
    bool fetch(HttpRequest& request, HttpResponse& response, std::string& body, bool part,
               std::uint32_t limit);
    // Gets the socket ready for one exchange of this client.
    void prepare(TcpSocket& socket, bool ownSocket) const;
    HttpFailure failureOf(const TcpSocket& socket) const;
    HttpFailure connectFailureOf(const TcpSocket& socket) const;

    int connectTimeoutMs = merro::http::kConnectTimeoutMs;
    int exchangeTimeoutMs = merro::http::kExchangeTimeoutMs;
    HttpFailure lastFailure = HttpFailure::None;
    const std::atomic<bool>* cancel = nullptr;
};
