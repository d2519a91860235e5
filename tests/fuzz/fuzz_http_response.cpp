// Feeds arbitrary bytes to the response reader as if a server had sent them
// and then closed the connection. Besides the sanitizers' findings, a reader
// that waits (the bytes are all there), or whose counters disagree with the
// body it returned, aborts.

#include "httpclient.h"
#include "platformsocket.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// Small enough to fit into the socket buffer, so one thread can write it all
// before reading.
constexpr std::size_t kMaxInput = 16 * 1024;

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void readReply(TcpSocket& socket, HttpResponse& response)
{
    std::string body;
    // False only when nothing at all arrived; the body reader must cope either way.
    const bool header = HttpClient::ReadResponseHeader(socket, response);
    check(header || response.headers.empty());
    const bool complete = HttpClient::ReadResponseBody(socket, response, body);
    check(!socket.TimedOut());
    check(body.size() == response.received);
    check(response.chunkRemaining <= INT_MAX);
    if (complete && response.chunked)
        check(response.lastChunk && response.chunkRemaining == 0);
    if (complete && !response.chunked)
        check(response.contentLength <= INT_MAX && response.received >= response.contentLength);
}

void splitLine(const std::string& input)
{
    std::string name;
    std::string value;
    HttpClient::SplitHeaderLine(input, name, value);
    check(name.size() + value.size() <= input.size());
}

void parseUrl(const std::string& input)
{
    HttpRequest request;
    request.url = input;
    if (HttpClient::ParseUrl(request))
        check(request.host.size() + request.path.size() <= input.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > kMaxInput)
        return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    splitLine(input);
    parseUrl(input);

    // A local socket pair (POSIX, like the clang fuzz build itself) stands in
    // for the camera's connection.
    int ends[2];
    check(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) == 0);
    // Never block on a full buffer: whatever did not fit is simply not sent.
    check(merro::net::setNonBlocking(ends[1], true));
    std::size_t sent = 0;
    while (sent < size) {
        const int n = merro::net::sendBytes(ends[1], input.data() + sent,
                                            static_cast<int>(size - sent));
        if (n <= 0)
            break;
        sent += static_cast<std::size_t>(n);
    }
    merro::net::closeSocket(ends[1]);

    TcpSocket socket;
    socket.Adopt(ends[0]);
    socket.SetTimeouts(0, 2000);
    // Two replies on one record: the second must start from a clean one.
    HttpResponse response;
    readReply(socket, response);
    readReply(socket, response);
    return 0;
}
