// The HTTP client: URL forms, request bytes, the socket layer and whole
// exchanges, each byte of the replies scripted by one small peer on 127.0.0.1.

#include "httpclient.h"
#include "platformsocket.h"

#include <QtTest>

#include <thread>

Q_DECLARE_METATYPE(HeaderMap)

namespace net = merro::net;
using namespace std::string_literals;

namespace {

QByteArray bytes(const std::string& data) { return QByteArray::fromStdString(data); }

// One connection on 127.0.0.1, served on a thread of its own: reads until it
// has `expect` bytes (-1: a request head), sends each piece 50 ms after the
// last, then closes; with `hold` it first waits for the client to close.
struct Peer
{
    explicit Peer(int backlog = 1)
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        net::SockLen n = sizeof(a);
        ::bind(listener, reinterpret_cast<sockaddr*>(&a), n);
        ::listen(listener, backlog);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &n);
        port = ntohs(a.sin_port);
    }
    ~Peer()
    {
        join();
        net::closeSocket(listener);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port) + "/"; }
    void join()
    {
        if (worker.joinable())
            worker.join();
    }
    void serve(const QByteArrayList& pieces, bool hold = false, int expect = -1)
    {
        worker = std::thread([=] {
            if (net::waitReadable(listener, 5000) <= 0)
                return;
            const net::SocketHandle s = ::accept(listener, nullptr, nullptr);
            while ((expect < 0 ? !received.contains("\r\n\r\n") : received.size() < expect)
                   && read(s)) {
            }
            for (const QByteArray& piece : pieces) {
                if (&piece != &pieces.first())
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                for (int sent = 0, n = 0; sent < piece.size(); sent += n) {
                    if ((n = net::sendBytes(s, piece.data() + sent, piece.size() - sent)) <= 0)
                        break;
                }
            }
            while (hold && read(s)) {
            }
            net::closeSocket(s);
        });
    }
    bool read(net::SocketHandle s)
    {
        char buffer[65536];
        const bool ready = net::waitReadable(s, 5000) > 0;
        const int n = ready ? net::recvBytes(s, buffer, sizeof buffer) : -1;
        clientClosed = ready && n <= 0; // a close with unread bytes comes as a reset
        received.append(buffer, qMax(n, 0));
        return n > 0;
    }

    net::SocketHandle listener = ::socket(AF_INET, SOCK_STREAM, 0);
    quint16 port = 0;
    std::thread worker;
    QByteArray received;
    bool clientClosed = false;
};

const QByteArray kOk = "HTTP/1.1 200 OK\r\n";
const QByteArray kChunked = kOk + "Transfer-Encoding: chunked\r\n\r\n";
const int kStall = int(HttpFailure::TimedOut);

// A reply to a Get; `hold`: the peer then keeps the connection until the client closes it.
void reply(const char* name, const QByteArrayList& pieces, bool hold, HttpFailure failure,
           const QByteArray& body, quint32 length = 0, int status = 200,
           const QByteArray& header = {})
{
    QTest::newRow(name) << pieces << hold << int(failure) << body << length << status << header;
}

void replyColumns()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<bool>("hold");
    QTest::addColumn<int>("failure");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<quint32>("length");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("header"); // name=value of one header to look up
}

constexpr HttpFailure kDone = HttpFailure::None;
constexpr HttpFailure kBroken = HttpFailure::BrokenReply;

} // namespace

class TestHttp : public QObject
{
    Q_OBJECT

private slots:
    void urls_data()
    {
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QByteArray>("parts"); // host port path after the call
        // The record holds host "old", port 81 and path /old before each call.
        const auto row = [](const char* name, const char* url, bool ok, const char* parts) {
            QTest::newRow(name) << QByteArray(url) << ok << QByteArray(parts);
        };
        row("is the query part of the path?", "http://cam/cgi?-format&-x=1", true,
            "cam 81 /cgi?-format&-x=1");
        row("are port and path both taken?", "http://cam:8080/x", true, "cam 8080 /x");
        row("does a port alone keep the path?", "http://cam:8081", true, "cam 8081 /old");
        row("does a bare host keep port and path?", "http://x", true, "x 81 /old");
        row("is a colon after the first slash refused?", "http://cam/x:y", false, "old 81 /old");
        row("is https refused?", "https://cam/", false, "old 81 /old");
        row("is an upper-case scheme refused?", "HTTP://cam/", false, "old 81 /old");
        row("is the bare prefix refused?", "http://", false, "old 81 /old");
        row("is the port read like atoi, to 16 bits?", "http://cam: 70000x/", true, "cam 4464 /");
        row("does a port without digits give 0?", "http://cam:abc/", true, "cam 0 /");
        row("is an empty host accepted?", "http://:80/", true, " 80 /");
    }

    void urls()
    {
        QFETCH(QByteArray, url);
        QFETCH(bool, accepted);
        QFETCH(QByteArray, parts);
        HttpRequest request;
        request.host = "old";
        request.port = 81;
        request.path = "/old";
        request.url = url.toStdString();
        QCOMPARE(HttpClient::ParseUrl(request), accepted);
        QCOMPARE(bytes(request.host + ' ' + std::to_string(request.port) + ' ' + request.path),
                 parts);
    }

    void hosts_data()
    {
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<bool>("lookup");
        QTest::addColumn<quint32>("address"); // host byte order; 0: not resolved here
        QTest::newRow("is a dotted address converted?") << QByteArray("192.168.72.20") << false
                                                        << 0xC0A84814u;
        QTest::newRow("does a bad octet give no address?") << QByteArray("300.1.1.1") << false
                                                           << 0xFFFFFFFFu;
        QTest::newRow("is 'A' (0x41) the lowest look-up byte?") << QByteArray("1.A") << true << 0u;
        QTest::newRow("is '@' (0x40) below it?") << QByteArray("1.@") << false << 0xFFFFFFFFu;
        QTest::newRow("is 'z' (0x7A) the highest?") << QByteArray("1.z") << true << 0u;
        QTest::newRow("is '{' (0x7B) above it?") << QByteArray("1.{") << false << 0xFFFFFFFFu;
        QTest::newRow("is localhost looked up?") << QByteArray("localhost") << true << 0x7F000001u;
    }

    void hosts()
    {
        QFETCH(QByteArray, host);
        QFETCH(bool, lookup);
        QFETCH(quint32, address);
        QCOMPARE(HttpClient::NeedsNameLookup(host.toStdString()), lookup);
        if (address != 0)
            QCOMPARE(quint32(ntohl(HttpClient::ResolveHost(host.toStdString()))), address);
    }

    void requestHeads_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<int>("port");
        QTest::addColumn<HeaderMap>("headers");
        QTest::addColumn<QByteArray>("head"); // the path is always /a b?&-n=é
        const auto row = [](const char* name, int method, int port, const HeaderMap& headers,
                            const QByteArray& head) {
            QTest::newRow(name) << method << port << headers << head;
        };
        row("are the camera's headers sent sorted, with no port in Host?", HttpMethodGet, 80,
            {{"Accept", "*/*"}, {"Accept-Language", "zh-CN"}, {"User-Agent", "SDK C++ http client"},
             {"Connection", "Keep-Alive"}},
            "GET /a b?&-n=\xc3\xa9 HTTP/1.1\r\nHost: cam\r\nAccept: */*\r\nAccept-Language: zh-CN"
            "\r\nConnection: Keep-Alive\r\nUser-Agent: SDK C++ http client\r\n\r\n");
        row("does another port show in the Host line?", HttpMethodPost, 8080, {},
            "POST /a b?&-n=\xc3\xa9 HTTP/1.1\r\nHost: cam:8080\r\n\r\n");
        row("are names sorted byte-wise, a prefix first?", HttpMethodPut, 80,
            {{"a", "4"}, {"Ab", "2"}, {"A", "1"}, {"X", "3"}},
            "PUT /a b?&-n=\xc3\xa9 HTTP/1.1\r\nHost: cam\r\nA: 1\r\nAb: 2\r\nX: 3\r\na: 4\r\n\r\n");
        row("is DELETE spelt out?", HttpMethodDelete, 0, {},
            "DELETE /a b?&-n=\xc3\xa9 HTTP/1.1\r\nHost: cam:0\r\n\r\n");
        row("does an unknown method give no text?", 9, 80, {},
            " /a b?&-n=\xc3\xa9 HTTP/1.1\r\nHost: cam\r\n\r\n");
    }

    void requestHeads()
    {
        QFETCH(int, method);
        QFETCH(int, port);
        QFETCH(HeaderMap, headers);
        QFETCH(QByteArray, head);
        HttpRequest request;
        request.host = "cam";
        request.port = static_cast<std::uint16_t>(port);
        request.path = "/a b?&-n=\xc3\xa9";
        request.headers = headers;
        request.version = "HTTP/1.0";
        std::string out = "before";
        HttpClient::BuildRequestHead(static_cast<HttpMethod>(method), request, out);
        QCOMPARE(bytes(out), "before" + QByteArray(head).replace("HTTP/1.1", "HTTP/1.0"));
    }

    void multipartBody()
    {
        MultipartForm form;
        form.boundary = "B";
        std::string out = "head";
        HttpClient::BuildMultipartBody(form, out);
        QCOMPARE(out, "head\r\n--B--\r\n"s);
        // Parts in key order; an empty part keeps its empty line; a NUL byte stays.
        form.parts[7].headers = {{"X", "1"}, {"A", "2"}};
        form.parts[7].body = "\xff\xd8\r\n";
        form.parts[5];
        form.parts[2].body = "4\0002"s;
        out.clear();
        HttpClient::BuildMultipartBody(form, out);
        QCOMPARE(out, "--B\r\n\r\n4\0002\r\n--B\r\n\r\n\r\n--B\r\nA: 2\r\nX: 1\r\n\r\n\xff\xd8\r\n"
                      "\r\n--B--\r\n"s);
    }

    void receives_data()
    {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<int>("max"); // RecvLine's limit, or with count: RecvCount's n
        QTest::addColumn<bool>("count");
        QTest::addColumn<QList<int>>("results"); // one call each; the peer closes after sending
        QByteArray data;
        for (int i = 0; i < 3000; ++i)
            data += char('a' + i % 26);
        const QByteArrayList split{data.left(700), data.mid(700, 2299) + '\n'};
        QTest::newRow("is a 3000-byte line read as 1024, 1024 and 952?")
            << split << 1024 << false << QList<int>{1024, 1024, 952, 0};
        QTest::newRow("does a limit of 0 read to the LF?")
            << QByteArrayList{"ab\r", "\ncd"} << 0 << false << QList<int>{4, 2, 0};
        QTest::newRow("is a negative limit no limit?")
            << split << -1 << false << QList<int>{3000, 0};
        QTest::newRow("does a bare CR not end the line?")
            << QByteArrayList{"a\rb\n\n"} << 10 << false << QList<int>{4, 1, 0};
        QTest::newRow("are 2500 of 3000 bytes read across sends?")
            << split << 2500 << true << QList<int>{2500};
        QTest::newRow("does a peer that closes after 1500 give 1500?")
            << QByteArrayList{data.left(700), data.mid(700, 800)} << 2500 << true
            << QList<int>{1500};
        QTest::newRow("does a negative count read nothing?")
            << QByteArrayList{"abc"} << -5 << true << QList<int>{0};
    }

    void receives()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(int, max);
        QFETCH(bool, count);
        QFETCH(QList<int>, results);
        Peer peer;
        peer.serve(pieces, false, 0);
        TcpSocket socket;
        QVERIFY(socket.Connect(htonl(INADDR_LOOPBACK), htons(peer.port)));
        QByteArray joined;
        for (int expected : results) {
            std::string got = "stale";
            QCOMPARE(count ? socket.RecvCount(got, max) : socket.RecvLine(got, max), expected);
            QCOMPARE(int(got.size()), expected);
            joined += bytes(got);
        }
        QCOMPARE(joined, pieces.join().left(joined.size()));
    }

    void connectFailures()
    {
        HttpClient client;
        client.SetTimeouts(500, 5000);
        HttpRequest request;
        request.url = Peer().url(); // closed again at once
        HttpResponse response;
        std::string body;
        QVERIFY(!client.Get(request, response, body));
        QCOMPARE(client.LastFailure(), HttpFailure::NoConnection);

        // A full accept queue: the next connect gets no answer at all.
        Peer deaf(0);
        TcpSocket filler;
        QVERIFY(filler.Connect(htonl(INADDR_LOOPBACK), htons(deaf.port)));
        request.url = deaf.url();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!client.Get(request, response, body));
        QVERIFY2(clock.elapsed() < 2500, QByteArray::number(clock.elapsed()));
        QCOMPARE(client.LastFailure(), HttpFailure::NoConnection);

        // The all-zero address of a failed look-up must not reach this host.
        Peer peer;
        TcpSocket zero;
        QVERIFY(!zero.Connect(0, htons(peer.port)));
        QVERIFY(zero.IsOpen()); // left for its owner to close
    }

    void sendsToAClosedPeer()
    {
        Peer peer;
        peer.serve({}, false, 4);
        TcpSocket socket;
        QVERIFY(socket.Connect(htonl(INADDR_LOOPBACK), htons(peer.port)));
        QVERIFY(HttpClient::SendAll(socket, "ping"));
        peer.join();
        std::string line;
        QCOMPARE(socket.RecvLine(line, 10), 0);
        // The test keeps the default SIGPIPE action: a send that raised it would end the run.
        int failures = 0;
        for (int i = 0; i < 20; ++i)
            failures += HttpClient::SendAll(socket, std::string(256 * 1024, 'x')) ? 0 : 1;
        QVERIFY(failures > 0);
        QVERIFY(HttpClient::SendAll(socket, ""));
    }

    void headerLines_data()
    {
        replyColumns();
        reply("is a body read by its length, the later of two equal names winning?",
              {kOk + "X-A: 1\r\nX-A: 2\r\nContent-Length: 5\r\n\r\nhello"}, true, kDone, "hello", 5,
              200, "X-A=2");
        reply("is a value cut at the first colon-space, blanks kept?",
              {kOk + "Date: Mon: 1 \r\nContent-Length: 1\r\n\r\n!"}, true, kDone, "!", 1, 200,
              "Date=Mon: 1 ");
        reply("does a status without reason leave 0?", {"HTTP/1.1 200\r\nContent-Length: 2\r\n\r\nok"},
              true, kDone, "ok", 2, 0);
        reply("is a 404 with a body a success, a later status line winning?",
              {"HTTP/1.1 100 Go\r\nHTTP/1.1 404 Not Found\r\nContent-Length: 2\r\n\r\nno"}, true,
              kDone, "no", 2, 404);
        reply("is Content-Length:5 without space an empty entry?",
              {kOk + "Content-Length:5\r\n\r\nhello"}, false, kDone, "hello", 0, 200, "=");
        reply("is Content-Length read like atoi?", {kOk + "Content-Length:  3 bytes\r\n\r\nabc"},
              true, kDone, "abc", 3, 200, "Content-Length= 3 bytes");
        reply("does a bare LF line not end the header?", {kOk + "\nContent-Length: 3\r\n\r\nabc"},
              true, kDone, "abc", 3);
        reply("is only 'chunked' in that case chunked?",
              {kOk + "Transfer-Encoding: Chunked\r\n\r\n2\r\nab\r\n0\r\n\r\n"}, false, kDone,
              "2\r\nab\r\n0\r\n\r\n");
        reply("are lower-case names not recognised?",
              {kOk + "transfer-encoding: chunked\r\ncontent-length: 2\r\n\r\nabc"}, false, kDone,
              "abc");
        reply("does chunked win over Content-Length?",
              {kOk + "Content-Length: 9\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n0\r\n\r\n"},
              true, kDone, "ab", 9);
    }
    void headerLines() { getReply(); }

    void chunks_data()
    {
        replyColumns();
        reply("is a chunk extension ignored?",
              {kChunked + "1a;name=x\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n"}, true, kDone,
              "abcdefghijklmnopqrstuvwxyz");
        reply("are sizes hex, with blanks, 0x and upper case?",
              {kChunked + " 0XA\r\n0123456789\r\n10\r\n0123456789abcdef\r\n0\r\n\r\n"}, true,
              kDone, "01234567890123456789abcdef");
        reply("are negative sizes skipped?",
              {kChunked + "-1\r\nffffffff\r\n123456789\r\n5\r\nhello\r\n0\r\n\r\n"}, true, kDone,
              "hello");
        reply("does a trailer line end the body?", {kChunked + "5\r\nhello\r\n0\r\nX-T: t\r\n\r\n"},
              true, kDone, "hello");
        reply("does a size line without digits end the body?",
              {kChunked + "2\r\nab\r\nzz\r\n\r\n"}, true, kDone, "ab");
        const QByteArray data(5000, 'q');
        reply("are data and size lines read across sends?",
              {kChunked + "1388\r\n" + data.left(1000), data.mid(1000) + "\r\n", "0\r", "\n\r\n"},
              true, kDone, data);
        reply("does a close inside a chunk fail?", {kChunked + "5\r\nhel"}, false, kBroken, "hel");
        reply("does a close before the size-0 chunk fail?", {kChunked + "5\r\nhello\r\n"}, false,
              kBroken, "hello");
        reply("is a close right after the size-0 chunk fine?", {kChunked + "5\r\nhello\r\n0\r\n"},
              false, kDone, "hello");
    }
    void chunks() { getReply(); }

    void bodies_data()
    {
        replyColumns();
        reply("are bytes beyond the length in the same receive kept?",
              {kOk + "Content-Length: 2\r\n\r\nhello"}, true, kDone, "hello", 2);
        reply("is a body without length the first receive only?", {kOk + "\r\nfirst", "second"},
              true, kDone, "first");
        reply("is a reply without length or body complete on close?", {kOk + "\r\n"}, false,
              kDone, "");
        reply("is an announced empty body complete at once?", {kOk + "Content-Length: 0\r\n\r\n"},
              true, kDone, "");
        reply("does a close short of the length fail?", {kOk + "Content-Length: 10\r\n\r\nabcd"},
              false, kBroken, "abcd", 10);
        reply("does a negative length fail at once?", {kOk + "Content-Length: -5\r\n\r\nhello"},
              true, kBroken, "", 4294967291u);
        reply("is a hang-up without a byte a failure?", {}, false, kBroken, "", 0, 0);
        reply("does a stall in the status line fail within one time-out?", {"HTTP/1.1 200"}, true,
              HttpFailure::TimedOut, "", 0, 0);
        reply("does a stall in the body fail within one time-out?",
              {kOk + "Content-Length: 10\r\n\r\nabc"}, true, HttpFailure::TimedOut, "abc", 10);
    }
    void bodies() { getReply(); }

    void streamingGet()
    {
        Peer peer;
        peer.serve({kChunked + "4\r\ndata\r\n0\r\nX-Trailer: t\r\n\r\n"}, true);
        HttpClient client;
        TcpSocket socket;
        HttpRequest request;
        request.url = peer.url();
        HttpResponse response;
        std::string body;
        QVERIFY(client.OpenGet(socket, response, request));
        QVERIFY(client.ReadBody(socket, response, body));
        QCOMPARE(body, "data"s);
        // The trailer's line ends the body; the empty line after it is left.
        std::string line;
        QCOMPARE(socket.RecvLine(line, 10), 2);
        client.Close(socket);
        QVERIFY(!socket.IsOpen());
        peer.join();
        QVERIFY(peer.clientClosed);

        Peer hangup;
        hangup.serve({});
        request.url = hangup.url();
        QVERIFY(!client.OpenGet(socket, response, request));
    }

    void refusedUrlsSendNothing()
    {
        Peer peer; // where host and port of the record point
        HttpClient client;
        TcpSocket socket;
        HttpRequest request;
        request.host = "127.0.0.1";
        request.port = peer.port;
        request.url = "http://cam/a:b";
        HttpResponse response;
        response.status = 7;
        std::string body = "kept";
        QVERIFY(!client.Get(request, response, body));
        QCOMPARE(client.LastFailure(), HttpFailure::BadUrl);
        QVERIFY(!client.Post(request, response, "data", body));
        QVERIFY(!client.OpenGet(socket, response, request));
        QVERIFY(!client.OpenPost(socket, request));
        QVERIFY(!socket.IsOpen());
        QCOMPARE(net::waitReadable(peer.listener, 0), 0);
        QCOMPARE(body, "kept"s);
        QCOMPARE(response.status, 7);
    }

    void posts_data()
    {
        QTest::addColumn<bool>("streaming"); // OpenPost, SendData twice, FinishPost
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("hold");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("body");
        const QByteArray created = "HTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\nok";
        const QByteArray noLength = kOk + "\r\nignored";
        QTest::newRow("does Post send head and body and read the reply?")
            << false << created << true << true << QByteArray("ok");
        QTest::newRow("does a streamed post do the same?")
            << true << created << true << true << QByteArray("ok");
        QTest::newRow("does Post leave the body alone without a reply length?")
            << false << noLength << false << true << QByteArray();
        QTest::newRow("does a streamed post leave it alone too?")
            << true << noLength << false << true << QByteArray();
        QTest::newRow("is a Post that got no byte back a failure?")
            << false << QByteArray() << false << false << QByteArray();
        QTest::newRow("does a Post stalled in its reply fail within one time-out?")
            << false << kOk << true << false << QByteArray();
    }

    void posts()
    {
        QFETCH(bool, streaming);
        QFETCH(QByteArray, answer);
        QFETCH(bool, hold);
        QFETCH(bool, ok);
        QFETCH(QByteArray, body);
        const std::string data("a\0b\r\n", 5);
        Peer peer;
        const QByteArray sent = "POST / HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(peer.port)
                                + "\r\nContent-Length: 5\r\n\r\n" + bytes(data);
        // All of it before the reply: a client that closes with unread bytes resets the
        // connection, which may drop what it has not read.
        peer.serve({answer}, hold, sent.size());
        HttpClient client;
        client.SetTimeouts(1000, hold && !ok ? 1000 : 5000);
        HttpRequest request;
        request.url = peer.url();
        request.headers["Content-Length"] = "5";
        HttpResponse response;
        std::string got = "kept:";
        TcpSocket socket;
        QElapsedTimer clock;
        clock.start();
        if (streaming) {
            QVERIFY(client.OpenPost(socket, request) && client.SendData(socket, data.substr(0, 2))
                    && client.SendData(socket, data.substr(2)));
            client.FinishPost(socket, response, got);
            QVERIFY(!socket.IsOpen());
        } else {
            QCOMPARE(client.Post(request, response, data, got), ok);
        }
        QVERIFY2(clock.elapsed() < 2500, QByteArray::number(clock.elapsed()));
        peer.join();
        QCOMPARE(peer.received, sent);
        QCOMPARE(bytes(got), "kept:" + body);
        QVERIFY(peer.clientClosed || !hold);
    }

private:
    void getReply();
};

void TestHttp::getReply()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(bool, hold);
    QFETCH(int, failure);
    QFETCH(QByteArray, body);
    QFETCH(quint32, length);
    QFETCH(int, status);
    QFETCH(QByteArray, header);

    Peer peer;
    peer.serve(pieces, hold);
    HttpClient client;
    // Long, except where a stall is meant: a reader that waits for nothing shows as a time-out.
    client.SetTimeouts(1000, failure == kStall ? 1000 : 5000);
    HttpRequest request;
    request.url = peer.url();
    // What an earlier reply left in the record: none of it may count.
    HttpResponse response{999, true, true, 77, 5, 3, {{"Stale", "1"}}};
    std::string got = "kept:";
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(client.Get(request, response, got), failure == int(kDone));
    QVERIFY2(clock.elapsed() < 2500, QByteArray::number(clock.elapsed()));
    peer.join();
    QCOMPARE(int(client.LastFailure()), failure);
    QCOMPARE(peer.received, "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(peer.port)
                                + "\r\n\r\n");
    QCOMPARE(bytes(got), "kept:" + body);
    QCOMPARE(response.status, status);
    QCOMPARE(response.contentLength, length);
    QCOMPARE(response.received, quint32(body.size()));
    if (!header.isNull()) {
        const int equals = header.indexOf('=');
        const auto found = response.headers.find(header.left(equals).toStdString());
        QVERIFY(found != response.headers.end());
        QCOMPARE(bytes(found->second), header.mid(equals + 1));
    }
    for (const auto& entry : response.headers)
        QVERIFY(entry.first.compare(0, 4, "HTTP") != 0 && entry.first != "Stale");
    QVERIFY(peer.clientClosed || !hold); // Get closes its socket
}

QTEST_APPLESS_MAIN(TestHttp)
#include "tst_http.moc"
