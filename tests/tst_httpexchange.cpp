// Whole exchanges: what Get, Post and the streaming calls put on the wire,
// that they close their sockets, and that a refused, dead or stalled server
// ends the call with false in bounded time.

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

// The camera's request headers, as the window installs them.
HttpRequest cameraRequest(const std::string& url)
{
    HttpRequest request;
    request.url = url;
    request.headers["Accept"] = "*/*";
    request.headers["Accept-Language"] = "zh-CN";
    request.headers["User-Agent"] = "SDK C++ http client";
    request.headers["Connection"] = "Keep-Alive";
    return request;
}

std::string expectedHead(const char* method, const ScriptedServer& server, const char* path)
{
    return std::string(method) + " " + path + " HTTP/1.1\r\n"
           + "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n"
           + "Accept: */*\r\nAccept-Language: zh-CN\r\nConnection: Keep-Alive\r\n"
           + "User-Agent: SDK C++ http client\r\n\r\n";
}

} // namespace

class TestHttpExchange : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void getSendsHeadAndCloses();
    void getRefusedUrlSendsNothing_data();
    void getRefusedUrlSendsNothing();
    void getConnectionRefused();
    void getStalledBeforeHeader();
    void getClosedWithoutAnswer();
    void getStalledInBody();
    void postSendsBodyAndReadsReply();
    void postWithoutLengthKeepsBody();
    void postStalled();
    void streamingGet();
    void streamingPost();

private:
    HttpClient client;
};

void TestHttpExchange::init()
{
    client.SetTimeouts(1000, 3000);
}

void TestHttpExchange::getSendsHeadAndCloses()
{
    ScriptedServer server;
    server.receiveHead()
        .send("HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\nvar x=1;")
        .waitForClose();
    server.start();

    HttpRequest request = cameraRequest(server.url("/cgi-bin/hi3510/getfilecount.cgi?"));
    HttpResponse response;
    std::string body;
    QVERIFY(client.Get(request, response, body));
    QCOMPARE(body, std::string("var x=1;"));
    server.finish();
    QCOMPARE(server.received(),
             expectedHead("GET", server, "/cgi-bin/hi3510/getfilecount.cgi?"));
    QVERIFY(server.clientClosed());
}

void TestHttpExchange::getRefusedUrlSendsNothing_data()
{
    QTest::addColumn<QByteArray>("scheme");
    QTest::addColumn<QByteArray>("path");
    QTest::newRow("is https refused before connecting?")
        << QByteArray("https://") << QByteArray("/");
    QTest::newRow("is a colon in the path refused before connecting?")
        << QByteArray("http://") << QByteArray("/a:b");
}

void TestHttpExchange::getRefusedUrlSendsNothing()
{
    QFETCH(QByteArray, scheme);
    QFETCH(QByteArray, path);

    ScriptedServer server;
    server.start();
    HttpRequest request;
    if (path.contains(':'))
        request.url = scheme.toStdString() + "127.0.0.1" + path.toStdString();
    else
        request.url = scheme.toStdString() + "127.0.0.1:" + std::to_string(server.port())
                      + path.toStdString();
    HttpResponse response;
    response.status = 7;
    std::string body = "kept";
    QVERIFY(!client.Get(request, response, body));
    std::string postBody = "kept";
    QVERIFY(!client.Post(request, response, "data", postBody));
    TcpSocket socket;
    QVERIFY(!client.OpenGet(socket, response, request));
    QVERIFY(!client.OpenPost(socket, request));
    QVERIFY(!socket.IsOpen());
    server.stop();
    QVERIFY(!server.accepted());
    QCOMPARE(body, std::string("kept"));
    QCOMPARE(response.status, 7);
}

void TestHttpExchange::getConnectionRefused()
{
    std::string url;
    {
        ScriptedServer gone;
        url = gone.url("/");
    }
    HttpRequest request;
    request.url = url;
    HttpResponse response;
    std::string body;
    const auto start = Clock::now();
    QVERIFY(!client.Get(request, response, body));
    QVERIFY(!client.Post(request, response, "x", body));
    QVERIFY(msSince(start) < 900);
}

void TestHttpExchange::getStalledBeforeHeader()
{
    ScriptedServer server;
    server.receiveHead().waitForClose();
    server.start();

    client.SetTimeouts(1000, 400);
    HttpRequest request;
    request.url = server.url("/");
    HttpResponse response;
    std::string body;
    const auto start = Clock::now();
    QVERIFY(!client.Get(request, response, body));
    const qint64 elapsed = msSince(start);
    // One time-out, not one for the header and another for the body.
    QVERIFY2(elapsed >= 350 && elapsed < 790, QByteArray::number(elapsed));
    server.finish();
    QVERIFY(server.clientClosed());
}

void TestHttpExchange::getClosedWithoutAnswer()
{
    // A camera that takes the request and hangs up has not done anything:
    // that must not read as an (empty) success.
    for (int attempt = 0; attempt < 2; ++attempt) {
        ScriptedServer server;
        server.receiveHead();
        server.start();
        HttpRequest request;
        request.url = server.url("/cgi-bin/hi3510/deletefile.cgi?&-name=sd/DCIM/100TQCAM/A.MP4");
        HttpResponse response;
        std::string body;
        if (attempt == 0) {
            QVERIFY(!client.Get(request, response, body));
        } else {
            TcpSocket socket;
            QVERIFY(!client.OpenGet(socket, response, request));
        }
        QVERIFY(body.empty());
        server.finish();
    }
}

void TestHttpExchange::getStalledInBody()
{
    ScriptedServer server;
    server.receiveHead()
        .send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc")
        .waitForClose();
    server.start();

    client.SetTimeouts(1000, 200);
    HttpRequest request;
    request.url = server.url("/");
    HttpResponse response;
    std::string body;
    const auto start = Clock::now();
    QVERIFY(!client.Get(request, response, body));
    QVERIFY(msSince(start) < 1000);
    QCOMPARE(body, std::string("abc"));
    QCOMPARE(response.status, 200);
    server.finish();
    QVERIFY(server.clientClosed());
}

void TestHttpExchange::postSendsBodyAndReadsReply()
{
    const std::string data("a\0b\r\n", 5);
    ScriptedServer server;
    HttpRequest request = cameraRequest("");
    request.url = server.url("/upload");
    request.headers["Content-Length"] = "5";
    std::string head;
    HttpRequest parsed = request;
    QVERIFY(HttpClient::ParseUrl(parsed));
    HttpClient::BuildRequestHead(HttpMethodPost, parsed, head);
    server.receiveTotal(head.size() + data.size())
        .send("HTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\nok")
        .waitForClose();
    server.start();

    HttpResponse response;
    std::string body;
    QVERIFY(client.Post(request, response, data, body));
    QCOMPARE(response.status, 201);
    QCOMPARE(body, std::string("ok"));
    server.finish();
    QCOMPARE(server.received(), head + data);
    QVERIFY(server.clientClosed());
}

void TestHttpExchange::postWithoutLengthKeepsBody()
{
    ScriptedServer server;
    server.receiveHead().send("HTTP/1.1 200 OK\r\n\r\nignored").waitForClose();
    server.start();

    HttpRequest request;
    request.url = server.url("/");
    HttpResponse response;
    std::string body = "as it was";
    QVERIFY(client.Post(request, response, std::string(), body));
    QCOMPARE(body, std::string("as it was"));
    QCOMPARE(response.status, 200);
    server.finish();
    QVERIFY(server.clientClosed());
}

void TestHttpExchange::postStalled()
{
    ScriptedServer server;
    server.receiveHead().waitForClose();
    server.start();

    client.SetTimeouts(1000, 200);
    HttpRequest request;
    request.url = server.url("/");
    HttpResponse response;
    std::string body;
    QVERIFY(!client.Post(request, response, std::string(), body));
    server.finish();
    QVERIFY(server.clientClosed());
}

void TestHttpExchange::streamingGet()
{
    ScriptedServer server;
    server.receiveHead()
        .send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")
        .pause(50)
        .send("4\r\ndata\r\n0\r\n\r\n")
        .waitForClose();
    server.start();

    TcpSocket socket;
    socket.SetTimeouts(1000, 3000);
    HttpRequest request = cameraRequest(server.url("/sd/DCIM/100TQCAM/A.MP4"));
    HttpResponse response;
    QVERIFY(client.OpenGet(socket, response, request));
    QVERIFY(response.chunked);
    QVERIFY(socket.IsOpen());
    std::string body;
    QVERIFY(client.ReadBody(socket, response, body));
    QCOMPARE(body, std::string("data"));
    QVERIFY(socket.IsOpen());
    client.Close(socket);
    QVERIFY(!socket.IsOpen());
    server.finish();
    QCOMPARE(server.received(), expectedHead("GET", server, "/sd/DCIM/100TQCAM/A.MP4"));
    QVERIFY(server.clientClosed());
}

void TestHttpExchange::streamingPost()
{
    MultipartForm form;
    form.boundary = "----b";
    form.parts[1].headers["Content-Disposition"] = "form-data; name=\"file\"";
    form.parts[1].body = "payload";
    std::string multipart;
    HttpClient::BuildMultipartBody(form, multipart);

    ScriptedServer server;
    HttpRequest request;
    request.url = server.url("/upload");
    request.headers["Content-Length"] = std::to_string(multipart.size());
    HttpRequest parsed = request;
    QVERIFY(HttpClient::ParseUrl(parsed));
    std::string head;
    HttpClient::BuildRequestHead(HttpMethodPost, parsed, head);
    server.receiveTotal(head.size() + multipart.size())
        .send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\ndone")
        .waitForClose();
    server.start();

    TcpSocket socket;
    socket.SetTimeouts(1000, 3000);
    QVERIFY(client.OpenPost(socket, request));
    QVERIFY(client.SendData(socket, multipart.substr(0, 10)));
    QVERIFY(client.SendData(socket, multipart.substr(10)));
    QVERIFY(socket.IsOpen());
    HttpResponse response;
    std::string body;
    client.FinishPost(socket, response, body);
    QVERIFY(!socket.IsOpen());
    QCOMPARE(body, std::string("done"));
    server.finish();
    QCOMPARE(server.received(), head + multipart);
    QVERIFY(server.clientClosed());
}

QTEST_APPLESS_MAIN(TestHttpExchange)
#include "tst_httpexchange.moc"
