// Reading replies: status line, header lines, bodies by length and chunked,
// and how a reply that stops early or stalls ends. Replies come byte-exact
// from a scripted server on 127.0.0.1.

#include "httpclient.h"
#include "platformsocket.h"
#include "scriptedserver.h"

#include <QtTest>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

qint64 msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

QByteArray bytes(const std::string& data)
{
    return QByteArray::fromStdString(data);
}

const QByteArray kOk = "HTTP/1.1 200 OK\r\n";
const QByteArray kChunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

} // namespace

class TestHttpResponse : public QObject
{
    Q_OBJECT

private slots:
    void splitHeaderLine_data();
    void splitHeaderLine();
    void getReply_data();
    void getReply();
    void bodyWithoutLengthTakesFirstReceiveOnly();
    void chunkDataInPieces();
    void trailerEmptyLineIsLeftUnread();
    void repliesDoNotInfluenceEachOther();
    void bodyIsAppended();
};

void TestHttpResponse::splitHeaderLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("value");

    QTest::newRow("is the status line cut at its first space?")
        << QByteArray("HTTP/1.1 200 OK\r\n") << QByteArray("HTTP/1.1") << QByteArray("200 OK");
    QTest::newRow("does a status line without space give nothing?")
        << QByteArray("HTTP/1.1\r\n") << QByteArray() << QByteArray();
    QTest::newRow("is a header cut at the first colon-space?")
        << QByteArray("Content-Length: 5\r\n") << QByteArray("Content-Length") << QByteArray("5");
    QTest::newRow("are further blanks kept in the value?")
        << QByteArray("X:  a b  \r\n") << QByteArray("X") << QByteArray(" a b  ");
    QTest::newRow("does a later colon-space stay in the value?")
        << QByteArray("Date: Mon: 1\r\n") << QByteArray("Date") << QByteArray("Mon: 1");
    QTest::newRow("does a colon without space give nothing?")
        << QByteArray("Content-Length:5\r\n") << QByteArray() << QByteArray();
    QTest::newRow("are CR and LF trimmed at both ends only?")
        << QByteArray("\n\rA: b\rc\n\r\n") << QByteArray("A") << QByteArray("b\rc");
    QTest::newRow("is a line of only CR and LF left alone?")
        << QByteArray("\r\n\r\n") << QByteArray() << QByteArray();
    QTest::newRow("is a lower-case http prefix a header?")
        << QByteArray("http: x\r\n") << QByteArray("http") << QByteArray("x");
    QTest::newRow("does a name starting with HTTP split at the space?")
        << QByteArray("HTTPX: y\r\n") << QByteArray("HTTPX:") << QByteArray("y");
}

void TestHttpResponse::splitHeaderLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, value);

    std::string gotName;
    std::string gotValue;
    HttpClient::SplitHeaderLine(line.toStdString(), gotName, gotValue);
    QCOMPARE(bytes(gotName), name);
    QCOMPARE(bytes(gotValue), value);
}

void TestHttpResponse::getReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    // The server keeps the connection open after the reply until the client
    // closes it; otherwise it closes at once.
    QTest::addColumn<bool>("keepOpen");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("chunked");
    QTest::addColumn<quint32>("contentLength");
    QTest::addColumn<QByteArray>("body");
    // One header to look up; a null name checks none.
    QTest::addColumn<QByteArray>("headerName");
    QTest::addColumn<QByteArray>("headerValue");

    const QByteArray none;
    QTest::newRow("is a body read by its length?")
        << kOk + "Content-Length: 5\r\n\r\nhello" << true << true << 200 << false << 5u
        << QByteArray("hello") << QByteArray("Content-Length") << QByteArray("5");
    QTest::newRow("is a 404 with a body a complete reply?")
        << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found") << true
        << true << 404 << false << 9u << QByteArray("not found") << none << none;
    QTest::newRow("does a status without reason leave 0?")
        << QByteArray("HTTP/1.1 200\r\nContent-Length: 2\r\n\r\nok") << true << true << 0 << false
        << 2u << QByteArray("ok") << none << none;
    QTest::newRow("does a later status line win?")
        << QByteArray("HTTP/1.1 100 Continue\r\nHTTP/1.1 201 Created\r\n"
                      "Content-Length: 1\r\n\r\n!")
        << true << true << 201 << false << 1u << QByteArray("!") << none << none;
    QTest::newRow("is Content-Length:5 without space an empty entry?")
        << kOk + "Content-Length:5\r\n\r\nhello" << false << true << 200 << false << 0u
        << QByteArray("hello") << QByteArray("") << QByteArray("");
    QTest::newRow("is Content-Length read like atoi?")
        << kOk + "Content-Length:  3 bytes\r\n\r\nabc" << true << true << 200 << false << 3u
        << QByteArray("abc") << QByteArray("Content-Length") << QByteArray(" 3 bytes");
    QTest::newRow("does a bare LF line not end the header?")
        << kOk + "\nContent-Length: 3\r\n\r\nabc" << true << true << 200 << false << 3u
        << QByteArray("abc") << QByteArray("") << QByteArray("");
    QTest::newRow("does the later of two equal names win?")
        << kOk + "X-A: 1\r\nX-A: 2\r\nContent-Length: 0\r\n\r\n" << true << true << 200 << false
        << 0u << QByteArray() << QByteArray("X-A") << QByteArray("2");
    QTest::newRow("are bytes beyond the length in the same receive kept?")
        << kOk + "Content-Length: 2\r\n\r\nhello" << true << true << 200 << false << 2u
        << QByteArray("hello") << none << none;
    QTest::newRow("is a body without length the first receive, connection open?")
        << kOk + "\r\nfirst" << true << true << 200 << false << 0u << QByteArray("first") << none
        << none;
    QTest::newRow("is a reply without length and without body complete on close?")
        << kOk + "\r\n" << false << true << 200 << false << 0u << QByteArray() << none << none;
    QTest::newRow("is a peer that hangs up without a byte no reply at all?")
        << QByteArray() << false << false << 0 << false << 0u << QByteArray() << none << none;
    QTest::newRow("is an announced empty body complete without waiting?")
        << kOk + "Content-Length: 0\r\n\r\n" << true << true << 200 << false << 0u
        << QByteArray() << none << none;
    QTest::newRow("does a peer closing short of the length fail?")
        << kOk + "Content-Length: 10\r\n\r\nabcd" << false << false << 200 << false << 10u
        << QByteArray("abcd") << none << none;
    QTest::newRow("does a negative length fail at once?")
        << kOk + "Content-Length: -5\r\n\r\nhello" << true << false << 200 << false
        << 4294967291u << QByteArray() << none << none;

    QTest::newRow("is a chunked body read to its size-0 chunk?")
        << kChunked + "5\r\nhello\r\n0\r\n\r\n" << true << true << 200 << true << 0u
        << QByteArray("hello") << QByteArray("Transfer-Encoding") << QByteArray("chunked");
    QTest::newRow("is a chunk extension ignored?")
        << kChunked + "1a;name=x\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n" << true << true << 200
        << true << 0u << QByteArray("abcdefghijklmnopqrstuvwxyz") << none << none;
    QTest::newRow("are blanks, 0x and upper-case digits read?")
        << kChunked + " 0XA\r\n0123456789\r\n0\r\n\r\n" << true << true << 200 << true << 0u
        << QByteArray("0123456789") << none << none;
    QTest::newRow("are several chunks joined?")
        << kChunked + "3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n" << true << true << 200 << true << 0u
        << QByteArray("abcde") << none << none;
    QTest::newRow("are negative chunk sizes skipped?")
        << kChunked + "-1\r\nffffffff\r\n123456789\r\n5\r\nhello\r\n0\r\n\r\n" << true << true
        << 200 << true << 0u << QByteArray("hello") << none << none;
    QTest::newRow("does a trailer line end a chunked body?")
        << kChunked + "5\r\nhello\r\n0\r\nX-Trailer: t\r\n\r\n" << true << true << 200 << true
        << 0u << QByteArray("hello") << none << none;
    QTest::newRow("does a size line without digits end the body?")
        << kChunked + "2\r\nab\r\nzz\r\n\r\n" << true << true << 200 << true << 0u
        << QByteArray("ab") << none << none;
    QTest::newRow("does chunked win over Content-Length?")
        << kOk + "Content-Length: 100\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n0\r\n\r\n"
        << true << true << 200 << true << 100u << QByteArray("ab") << none << none;
    QTest::newRow("does a peer closing inside a chunk fail?")
        << kChunked + "5\r\nhel" << false << false << 200 << true << 0u << QByteArray("hel")
        << none << none;
    QTest::newRow("does a peer closing before the size-0 chunk fail?")
        << kChunked + "5\r\nhello\r\n" << false << false << 200 << true << 0u
        << QByteArray("hello") << none << none;
    QTest::newRow("is a peer closing right after the size-0 chunk fine?")
        << kChunked + "5\r\nhello\r\n0\r\n" << false << true << 200 << true << 0u
        << QByteArray("hello") << none << none;
    QTest::newRow("is 'Chunked' in another case read by length?")
        << kOk + "Transfer-Encoding: Chunked\r\n\r\n2\r\nab\r\n0\r\n\r\n" << false << true << 200
        << false << 0u << QByteArray("2\r\nab\r\n0\r\n\r\n") << none << none;
    QTest::newRow("is a lower-case header name not recognised?")
        << kOk + "transfer-encoding: chunked\r\ncontent-length: 2\r\n\r\nabc" << false << true
        << 200 << false << 0u << QByteArray("abc") << none << none;
    QTest::newRow("is a list of codings ending in chunked read by length?")
        << kOk + "Transfer-Encoding: gzip, chunked\r\n\r\nxyz" << false << true << 200 << false
        << 0u << QByteArray("xyz") << none << none;
}

void TestHttpResponse::getReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, keepOpen);
    QFETCH(bool, complete);
    QFETCH(int, status);
    QFETCH(bool, chunked);
    QFETCH(quint32, contentLength);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, headerName);
    QFETCH(QByteArray, headerValue);

    ScriptedServer server;
    server.receiveHead().send(reply.toStdString());
    if (keepOpen)
        server.waitForClose();
    server.start();

    HttpClient client;
    // Far above what any row needs, so a reader that waits shows in the time.
    client.SetTimeouts(1000, 3000);
    HttpRequest request;
    request.url = server.url("/reply");
    HttpResponse response;
    std::string got;
    const auto start = Clock::now();
    QCOMPARE(client.Get(request, response, got), complete);
    QVERIFY2(msSince(start) < 2000, "the reader waited for the time-out");
    QCOMPARE(bytes(got), body);
    QCOMPARE(int(response.status), status);
    QCOMPARE(response.chunked, chunked);
    QCOMPARE(quint32(response.contentLength), contentLength);
    QCOMPARE(quint32(response.received), quint32(got.size()));
    if (!headerName.isNull()) {
        const auto found = response.headers.find(headerName.toStdString());
        QVERIFY(found != response.headers.end());
        QCOMPARE(bytes(found->second), headerValue);
    }
    // The status line never lands among the headers.
    for (const auto& entry : response.headers)
        QVERIFY(entry.first.compare(0, 4, "HTTP") != 0);
    server.finish();
    if (keepOpen)
        QVERIFY(server.clientClosed());
}

void TestHttpResponse::bodyWithoutLengthTakesFirstReceiveOnly()
{
    ScriptedServer server;
    server.receiveHead()
        .send((kOk + "\r\nfirst").toStdString())
        .pause(300)
        .send("second")
        .waitForClose();
    server.start();

    HttpClient client;
    client.SetTimeouts(1000, 3000);
    HttpRequest request;
    request.url = server.url("/");
    HttpResponse response;
    std::string body;
    QVERIFY(client.Get(request, response, body));
    QCOMPARE(body, std::string("first"));
    QCOMPARE(response.received, 5u);
    server.finish();
}

void TestHttpResponse::chunkDataInPieces()
{
    // Chunk data, size lines and a length body cut across many sends.
    const QByteArray data(5000, 'q');
    ScriptedServer server;
    server.receiveHead()
        .send((kChunked + "1388\r\n" + data.left(1000)).toStdString())
        .pause(20)
        .send((data.mid(1000) + "\r\n").toStdString())
        .pause(20)
        .send("0\r")
        .pause(20)
        .send("\n\r\n")
        .waitForClose();
    server.start();

    HttpClient client;
    client.SetTimeouts(1000, 3000);
    HttpRequest request;
    request.url = server.url("/");
    HttpResponse response;
    std::string body;
    QVERIFY(client.Get(request, response, body));
    QVERIFY(bytes(body) == data);
    QCOMPARE(response.received, 5000u);
    QVERIFY(response.lastChunk);
    QCOMPARE(response.chunkRemaining, 0u);
    server.finish();
}

void TestHttpResponse::trailerEmptyLineIsLeftUnread()
{
    ScriptedServer server;
    server.send((kChunked + "2\r\nab\r\n0\r\nX-Trailer: t\r\n\r\nnext").toStdString());
    server.start();
    TcpSocket socket;
    socket.SetTimeouts(1000, 2000);
    QVERIFY(socket.Connect(htonl(INADDR_LOOPBACK), htons(server.port())));

    HttpResponse response;
    std::string body;
    QVERIFY(HttpClient::ReadResponseHeader(socket, response));
    QVERIFY(HttpClient::ReadResponseBody(socket, response, body));
    QCOMPARE(body, std::string("ab"));
    std::string line;
    QCOMPARE(socket.RecvLine(line, 100), 2);
    QCOMPARE(line, std::string("\r\n"));
    QCOMPARE(socket.RecvLine(line, 100), 4);
    server.finish();
}

void TestHttpResponse::repliesDoNotInfluenceEachOther()
{
    HttpClient client;
    client.SetTimeouts(1000, 3000);
    HttpRequest request;
    HttpResponse response;
    std::string body;
    {
        ScriptedServer server;
        server.receiveHead().send(
            (kChunked.left(kChunked.size() - 2) + "X-First: 1\r\n\r\n3\r\nabc\r\n0\r\n\r\n")
                .toStdString());
        server.start();
        request.url = server.url("/");
        QVERIFY(client.Get(request, response, body));
        QVERIFY(response.chunked);
        QVERIFY(response.lastChunk);
        server.finish();
    }
    {
        ScriptedServer server;
        server.receiveHead().send("HTTP/1.0 200\r\nContent-Length: 2\r\n\r\nde");
        server.start();
        request.url = server.url("/");
        QVERIFY(client.Get(request, response, body));
        server.finish();
    }
    QCOMPARE(body, std::string("abcde"));
    QCOMPARE(response.status, 0);
    QVERIFY(!response.chunked);
    QVERIFY(!response.lastChunk);
    QCOMPARE(response.received, 2u);
    QCOMPARE(response.contentLength, 2u);
    QCOMPARE(int(response.headers.size()), 1);
}

void TestHttpResponse::bodyIsAppended()
{
    ScriptedServer server;
    server.receiveHead().send((kOk + "Content-Length: 3\r\n\r\nabc").toStdString());
    server.start();
    HttpClient client;
    client.SetTimeouts(1000, 3000);
    HttpRequest request;
    request.url = server.url("/");
    HttpResponse response;
    std::string body = "kept:";
    QVERIFY(client.Get(request, response, body));
    QCOMPARE(body, std::string("kept:abc"));
    server.finish();
}

QTEST_APPLESS_MAIN(TestHttpResponse)
#include "tst_httpresponse.moc"
