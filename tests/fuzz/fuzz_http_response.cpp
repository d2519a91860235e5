// Feeds arbitrary bytes to the response reader as a server that then closes
// would send them, twice on one record. Besides the sanitizers' findings, a
// reader whose counters disagree with the body it returned aborts, and one
// that waits (every byte is there; no time-out is set) is reported as a hang.

#include "httpclient.h"
#include "platformsocket.h"

#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Small enough for the socket buffer, so that one thread writes it all first.
    if (size > 16 * 1024)
        return 0;
    int ends[2];
    check(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) == 0);
    check(merro::net::sendBytes(ends[1], reinterpret_cast<const char*>(data), int(size))
          == int(size));
    merro::net::closeSocket(ends[1]);
    TcpSocket socket;
    socket.Adopt(ends[0]);
    socket.SetTimeouts(0, -1);
    HttpResponse response;
    for (int reply = 0; reply < 2; ++reply) {
        std::string body;
        HttpClient::ReadResponseHeader(socket, response);
        const bool complete = HttpClient::ReadResponseBody(socket, response, body);
        check(body.size() == response.received);
        if (complete && response.chunked)
            check(response.lastChunk && response.chunkRemaining == 0);
        if (complete && !response.chunked)
            check(response.received >= response.contentLength);
    }
    return 0;
}
