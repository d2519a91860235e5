// Two replies read from one record of camera bytes, as from a server that then
// closes. The first byte caps what one receive returns (0: no cap), so that
// lines and bodies also arrive in pieces. Besides the sanitizers' findings, a
// reader whose counts disagree with what it took aborts.

#include "fuzzcheck.h"
#include "httpclient.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    MemorySocket socket(data + 1, size - 1, data[0]);
    HttpResponse response;
    for (int reply = 0; reply < 2; ++reply) {
        std::string body;
        const bool head = HttpClient::ReadResponseHeader(socket, response);
        // A head that ended before the stream did ended on its empty line.
        if (head && socket.left() > 0)
            check(socket.taken() >= 2 && socket.before(2) == "\r\n");
        const std::size_t bodyStart = socket.taken();
        const bool complete = HttpClient::ReadResponseBody(socket, response, body);
        check(body.size() == response.received);
        if (!response.chunked)
            check(body == socket.since(bodyStart));
        if (complete && response.chunked)
            check(response.lastChunk && response.chunkRemaining == 0);
        if (complete && !response.chunked)
            check(response.received >= response.contentLength);
    }
    return 0;
}
