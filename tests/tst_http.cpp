// The HTTP client: URL forms and request bytes, then whole exchanges with
// one small scripted peer on 127.0.0.1 that sends replies byte for byte.

#include "httpclient.h"
#include "platformsocket.h"

#include <QtTest>

#include <thread>

Q_DECLARE_METATYPE(HeaderMap)

namespace net = merro::net;

namespace {
QByteArray bytes(const std::string& data) { return QByteArray::fromStdString(data); }

// One connection, served on a thread of its own: reads a request head, sends
// each piece 50 ms after the last, then closes; with `hold` it first waits for
// the client to close.
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
        url = "http://127.0.0.1:" + std::to_string(port) + "/";
    }
    ~Peer()
    {
        join();
        net::closeSocket(listener);
    }
    void join()
    {
        if (worker.joinable())
            worker.join();
    }
    void serve(const QByteArrayList& pieces, bool hold = false)
    {
        worker = std::thread([=] {
            if (net::waitReadable(listener, 5000) <= 0)
                return;
            const net::SocketHandle s = ::accept(listener, nullptr, nullptr);
            while (!received.endsWith("\r\n\r\n") && read(s)) {
            }
            for (const QByteArray& piece : pieces) {
                if (&piece != &pieces.first())
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                net::sendBytes(s, piece.data(), piece.size());
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
        clientClosed = ready && n <= 0; // a close with bytes unread comes as a reset
        received.append(buffer, qMax(n, 0));
        return n > 0;
    }

    net::SocketHandle listener = ::socket(AF_INET, SOCK_STREAM, 0);
    quint16 port = 0;
    std::string url;
    std::thread worker;
    QByteArray received;
    bool clientClosed = false;
};

const QByteArray kOk = "HTTP/1.1 200 OK\r\n";
const QByteArray kChunked = kOk + "Transfer-Encoding: chunked\r\n\r\n";
constexpr HttpFailure kDone = HttpFailure::None;
constexpr HttpFailure kBroken = HttpFailure::BrokenReply;
constexpr HttpFailure kStalled = HttpFailure::TimedOut;

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

// A reply to a Get; with `hold` the peer keeps the connection until the client closes it.
void reply(const char* name, const QByteArrayList& pieces, bool hold, HttpFailure failure,
           const QByteArray& body, quint32 length = 0, int status = 200,
           const QByteArray& header = {})
{
    QTest::newRow(name) << pieces << hold << int(failure) << body << length << status << header;
}

} // namespace

class TestHttp : public QObject
{
    Q_OBJECT

private slots:

    void urls_data()
    {
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QByteArray>("parts"); // host port path; before: old 81 /old
        const auto row = [](const char* name, const char* url, bool ok, const char* parts) {
            QTest::newRow(name) << QByteArray(url) << ok << QByteArray(parts);
        };
        row("is the query part of the path?", "http://cam/c?-f&-x=1", true, "cam 81 /c?-f&-x=1");
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
        HttpRequest request{"HTTP/1.1", url.toStdString(), "old", 81, "/old", {}};
        QCOMPARE(HttpClient::ParseUrl(request), accepted);
        const std::string port = std::to_string(request.port);
        QCOMPARE(bytes(request.host + ' ' + port + ' ' + request.path), parts);
    }

    void requestHeads_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<int>("port");
        QTest::addColumn<HeaderMap>("headers");
        QTest::addColumn<QByteArray>("head"); // after the request line "... /a b?&-n=é HTTP/1.0"
        QTest::newRow("are the camera's headers sent sorted, with no port in Host?")
            << int(HttpMethodGet) << 80
            << HeaderMap{{"Accept", "*/*"}, {"Accept-Language", "zh-CN"},
                         {"User-Agent", "SDK C++ http client"}, {"Connection", "Keep-Alive"}}
            << QByteArray("GET|Host: cam\r\nAccept: */*\r\nAccept-Language: zh-CN\r\n"
                          "Connection: Keep-Alive\r\nUser-Agent: SDK C++ http client\r\n\r\n");
        QTest::newRow("does another port show in Host, names sorted byte-wise, a prefix first?")
            << int(HttpMethodPost) << 8080
            << HeaderMap{{"a", "4"}, {"Ab", "2"}, {"A", "1"}, {"X", "3"}}
            << QByteArray("POST|Host: cam:8080\r\nA: 1\r\nAb: 2\r\nX: 3\r\na: 4\r\n\r\n");
    }

    void requestHeads()
    {
        QFETCH(int, method);
        QFETCH(int, port);
        QFETCH(HeaderMap, headers);
        QFETCH(QByteArray, head);
        // The path goes as it is, unescaped.
        const HttpRequest request{"HTTP/1.0", "", "cam", std::uint16_t(port), "/a b?&-n=\xc3\xa9",
                                  headers};
        std::string out = "before";
        HttpClient::BuildRequestHead(static_cast<HttpMethod>(method), request, out);
        QCOMPARE(bytes(out), "before" + head.replace('|', " /a b?&-n=\xc3\xa9 HTTP/1.0\r\n"));
    }

    void headerLines_data()
    {
        replyColumns();
        reply("is a body read by its length, the later of two equal names winning?",
              {kOk + "X-A: 1\r\nX-A: 2\r\nContent-Length: 5\r\n\r\nhello"}, true, kDone, "hello", 5,
              200, "X-A=2");
        reply("is a value cut at the first colon-space, blanks and a lone CR kept?",
              {kOk + "Date: Mon:\r1 \r\nContent-Length: 1\r\n\r\n!"}, true, kDone, "!", 1, 200,
              "Date=Mon:\r1 ");
        reply("does a status without reason leave 0?",
              {"HTTP/1.1 200\r\nContent-Length: 2\r\n\r\nok"}, true, kDone, "ok", 2, 0);
        reply("is a 404 with a body a success, the later status line winning?",
              {"HTTP/1.1 100 Go\r\nHTTP/1.1 404 Not Found\r\nContent-Length: 2\r\n\r\nno"}, true,
              kDone, "no", 2, 404);
        reply("is Content-Length:5 without space an empty entry?",
              {kOk + "Content-Length:5\r\n\r\nhello"}, false, kDone, "hello", 0, 200, "=");
        reply("is Content-Length read like atoi?", {kOk + "Content-Length:  3 bytes\r\n\r\nabc"},
              true, kDone, "abc", 3, 200, "Content-Length= 3 bytes");
        reply("does a bare LF line not end the header?", {kOk + "\nContent-Length: 3\r\n\r\nabc"},
              true, kDone, "abc", 3);
        reply("are names and 'chunked' recognised in their exact case only?",
              {kOk + "Transfer-Encoding: Chunked\r\ntransfer-encoding: chunked\r\n"
                     "content-length: 2\r\n\r\n2\r\nab\r\n0\r\n\r\n"},
              false, kDone, "2\r\nab\r\n0\r\n\r\n");
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
              {kChunked + " 0XA\r\n0123456789\r\n10\r\n0123456789abcdef\r\n0\r\n\r\n"}, true, kDone,
              "01234567890123456789abcdef");
        reply("are negative sizes skipped?",
              {kChunked + "-1\r\nffffffff\r\n123456789\r\n5\r\nhello\r\n0\r\n\r\n"}, true, kDone,
              "hello");
        reply("does a trailer line end the body?", {kChunked + "5\r\nhello\r\n0\r\nX-T: t\r\n\r\n"},
              true, kDone, "hello");
        reply("does a size line without digits end the body?", {kChunked + "2\r\nab\r\nzz\r\n\r\n"},
              true, kDone, "ab");
        reply("is a size line of more than 1024 bytes read as two lines?",
              {kChunked + "5;" + QByteArray(1100, 'x') + "\r\nhello\r\n0\r\n\r\n"}, true, kDone,
              "xxxxx");
        const QByteArray data(5000, 'q');
        reply("are data and size lines read across sends?",
              {kChunked + "1388\r\n" + data.left(1000), data.mid(1000) + "\r\n", "0\r", "\n\r\n"},
              true, kDone, data);
        reply("is a chunk beyond the body cap refused unread?",
              {kChunked + "5\r\nhello\r\n1000000\r\nabc"}, true, kBroken, "hello");
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
        reply("are bytes beyond the length left unread?",
              {kOk + "Content-Length: 2\r\n\r\nhello"}, true, kDone, "he", 2);
        reply("is a body without length read up to the close?",
              {kOk + "\r\nfirst", "second", "third"}, false, kDone, "firstsecondthird");
        reply("does a body without length or close fail at the deadline?",
              {kOk + "\r\nfirst", "second"}, true, kStalled, "firstsecond");
        reply("is a reply without length or body complete on close?", {kOk + "\r\n"}, false, kDone,
              "");
        reply("is an announced empty body complete at once?", {kOk + "Content-Length: 0\r\n\r\n"},
              true, kDone, "");
        reply("does a close short of the length fail?", {kOk + "Content-Length: 10\r\n\r\nabcd"},
              false, kBroken, "abcd", 10);
        reply("does a negative length fail at once?", {kOk + "Content-Length: -5\r\n\r\nhello"},
              true, kBroken, "", 4294967291u);
        reply("is a length beyond the body cap refused unread?",
              {kOk + "Content-Length: 16777217\r\n\r\nhello"}, true, kBroken, "", 16777217);
        reply("is a hang-up without a byte a failure?", {}, false, kBroken, "", 0, 0);
        reply("does a stall in the status line fail within one time-out?", {"HTTP/1.1 200"}, true,
              kStalled, "", 0, 0);
        reply("does a stall in the body fail within one time-out?",
              {kOk + "Content-Length: 10\r\n\r\nabc"}, true, kStalled, "abc", 10);
    }

    void bodies() { getReply(); }

    void partsAndPosts()
    {
        HttpClient client;
        client.SetTimeouts(500, 5000);
        HttpResponse response;
        std::string body;
        // The start of a large file, and a hang-up before the rest.
        const QByteArray file(100000, 'f');
        {
            Peer peer;
            peer.serve({kOk + "Content-Length: 100000\r\n\r\n" + file}, true);
            HttpRequest request{"HTTP/1.1", peer.url, "", 80, "/", {}};
            QVERIFY(client.GetPart(request, response, body, 65536));
            QCOMPARE(body.size(), std::size_t(65536));
            peer.join();
            QVERIFY(peer.clientClosed);
        }
        // A shorter body by length, or up to a close, is all of it; a chunked one is refused.
        for (const auto& [reply, whole] :
             {std::pair(kOk + "Content-Length: 3\r\n\r\nabc", true), {kOk + "\r\nabc", true},
              {kChunked + "3\r\nabc\r\n0\r\n\r\n", false}}) {
            Peer peer;
            peer.serve({reply});
            HttpRequest request{"HTTP/1.1", peer.url, "", 80, "/", {}};
            body.clear();
            QCOMPARE(client.GetPart(request, response, body, 65536), whole);
            QCOMPARE(body, std::string(whole ? "abc" : ""));
        }
        // A post's reply body is read, an empty one not waited for.
        for (const auto& [reply, expected] :
             {std::pair(kOk + "Content-Length: 5\r\n\r\nhello", "hello"),
              {kOk + "Content-Length: 0\r\n\r\n", ""}}) {
            Peer peer;
            peer.serve({reply}, true);
            HttpRequest request{"HTTP/1.1", peer.url, "", 80, "/", {}};
            body.clear();
            QElapsedTimer clock;
            clock.start();
            QVERIFY(client.Post(request, response, "", body));
            QCOMPARE(body, std::string(expected));
            QVERIFY(clock.elapsed() < 2000);
        }
    }

    void callsThatReachNobody()
    {
        // A refused URL: host and port of the record point at a listener that stays unasked.
        Peer peer;
        HttpClient client;
        client.SetTimeouts(500, 5000);
        TcpSocket socket;
        HttpRequest request{"HTTP/1.1", "http://cam/a:b", "127.0.0.1", peer.port, "/", {}};
        HttpResponse response;
        std::string body = "kept";
        QVERIFY(!client.Get(request, response, body) && !client.OpenGet(socket, response, request));
        QCOMPARE(client.LastFailure(), HttpFailure::BadUrl);
        QCOMPARE(net::waitReadable(peer.listener, 0), 0);
        QCOMPARE(body, std::string("kept"));
        // A port that refuses a get and a post, and a full accept queue that leaves a connect
        // unanswered.
        request.url = Peer().url;
        QVERIFY(!client.Get(request, response, body) && !client.Post(request, response, "", body));
        QCOMPARE(client.LastFailure(), HttpFailure::NoConnection);
        Peer deaf(0);
        TcpSocket filler;
        QVERIFY(filler.Connect(htonl(INADDR_LOOPBACK), htons(deaf.port)));
        request.url = deaf.url;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!client.Get(request, response, body));
        QVERIFY2(clock.elapsed() < 2500, QByteArray::number(clock.elapsed()));
        QCOMPARE(client.LastFailure(), HttpFailure::NoConnection);
        // The all-zero address of a failed look-up must not reach this host, nor the
        // broadcast address of a host that does not parse be tried: a connect would set errno.
        TcpSocket zero;
        QVERIFY(!zero.Connect(0, htons(peer.port)));
        QVERIFY(zero.IsOpen()); // for its owner to close
        QCOMPARE(HttpClient::ResolveHost("192.168.72.256"), std::uint32_t(INADDR_NONE));
        errno = 0;
        QVERIFY(!zero.Connect(INADDR_NONE, htons(peer.port)));
        QCOMPARE(errno, 0);
    }

    void sends()
    {
        // More than the socket buffers take, so it goes out in many sends.
        const std::string data = std::string(4 << 20, 'x') + "\r\n\r\n";
        Peer peer;
        peer.serve({});
        TcpSocket socket;
        QVERIFY(socket.Connect(htonl(INADDR_LOOPBACK), htons(peer.port)));
        QVERIFY(HttpClient::SendAll(socket, data) && HttpClient::SendAll(socket, ""));
        peer.join();
        QCOMPARE(peer.received.size(), int(data.size()));
        // The peer has gone. The test keeps the default SIGPIPE action: a send
        // that raised it would end the run.
        int failures = 0;
        for (int i = 0; i < 20; ++i)
            failures += HttpClient::SendAll(socket, std::string(256 * 1024, 'x')) ? 0 : 1;
        QVERIFY(failures > 0);
    }

private:

    void getReply()
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
        // Long unless a stall is meant: a reader that waits for nothing then shows as a time-out.
        client.SetTimeouts(1000, failure == int(kStalled) ? 1000 : 5000);
        HttpRequest request;
        request.url = peer.url;
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
        const int equals = header.indexOf('=');
        if (equals >= 0)
            QCOMPARE(bytes(response.headers[header.left(equals).toStdString()]),
                     header.mid(equals + 1));
        for (const auto& entry : response.headers)
            QVERIFY(entry.first.compare(0, 4, "HTTP") != 0 && entry.first != "Stale");
        QVERIFY(peer.clientClosed || !hold); // Get closes its socket
    }
};

QTEST_APPLESS_MAIN(TestHttp)
#include "tst_http.moc"
