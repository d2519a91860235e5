// Whole exchanges: what Get, Post and the streaming calls put on the wire,
// that they close their sockets, and that a refused, dead or stalled server
// ends the call with false in bounded time.

#include "scriptedserver.h"

#include <QtTest>

namespace {

// The request head the client should send to the exchange's server.
std::string head(const char* method, const char* path, const Exchange& x,
                 const std::string& headerLines = "")
{
    return std::string(method) + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:"
           + std::to_string(x.server.port()) + "\r\n" + headerLines + "\r\n";
}

} // namespace

class TestHttpExchange : public QObject
{
    Q_OBJECT

private slots:
    void get_data()
    {
        QTest::addColumn<bool>("streaming"); // OpenGet, ReadBody, Close
        QTest::newRow("does Get send the head, read the reply and close?") << false;
        QTest::newRow("do OpenGet, ReadBody and Close do the same?") << true;
    }

    void get()
    {
        QFETCH(bool, streaming);
        Exchange x;
        x.server.receiveHead()
            .send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")
            .send("4\r\ndata\r\n0\r\nX-Trailer: t\r\n\r\n", 50)
            .waitForClose();
        x.request.headers["User-Agent"] = "SDK C++ http client";
        x.request.headers["Accept"] = "*/*";
        std::string line;
        QVERIFY(x.run("/cgi-bin/hi3510/getfilecount.cgi?", [&] {
            if (!streaming)
                return x.client.Get(x.request, x.response, x.body);
            const bool read = x.client.OpenGet(x.socket, x.response, x.request)
                              && x.client.ReadBody(x.socket, x.response, x.body);
            // The trailer's one line ends the body; the empty line after it stays.
            x.socket.RecvLine(line, 100);
            x.client.Close(x.socket);
            return read && !x.socket.IsOpen();
        }));
        QVERIFY(x.response.chunked);
        QCOMPARE(x.body, std::string("data"));
        QCOMPARE(line, std::string(streaming ? "\r\n" : ""));
        QCOMPARE(x.server.received, head("GET", "/cgi-bin/hi3510/getfilecount.cgi?", x,
                                         "Accept: */*\r\nUser-Agent: SDK C++ http client\r\n"));
        QVERIFY(x.server.clientClosed);
    }

    void refusedCallsEndAtOnce()
    {
        // A refused URL: host and port point at the server, so a call that
        // went on after it would reach the server.
        Exchange x;
        x.server.start();
        x.request.host = "127.0.0.1";
        x.request.port = x.server.port();
        x.request.url = "http://cam/a:b";
        x.response.status = 7;
        x.body = "kept";
        QVERIFY(!x.client.Get(x.request, x.response, x.body));
        QVERIFY(!x.client.Post(x.request, x.response, "data", x.body));
        QVERIFY(!x.client.OpenGet(x.socket, x.response, x.request));
        QVERIFY(!x.client.OpenPost(x.socket, x.request));
        QVERIFY(!x.socket.IsOpen());
        x.server.stop();
        QVERIFY(!x.server.accepted);
        QCOMPARE(x.body, std::string("kept"));
        QCOMPARE(x.response.status, 7);

        // A refused connection.
        x.request.url = ScriptedServer().url("/"); // closed again at once
        const auto start = std::chrono::steady_clock::now();
        QVERIFY(!x.client.Get(x.request, x.response, x.body));
        QVERIFY(!x.client.Post(x.request, x.response, "x", x.body));
        QVERIFY(msSince(start) < 900);
    }

    void deadServer_data()
    {
        QTest::addColumn<int>("call"); // 0: Get, 1: Post, 2: OpenGet
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("stall"); // keep the connection open after the reply
        QTest::addColumn<QByteArray>("body");
        const auto row = [](const char* name, int call, const QByteArray& reply, bool stall,
                            const QByteArray& body = {}) {
            QTest::newRow(name) << call << reply << stall << body;
        };
        // A camera that takes the request and hangs up has not done anything:
        // that must not read as an (empty) success.
        row("is a Post that got no byte back a failure?", 1, "", false);
        row("is an OpenGet that got no byte back a failure?", 2, "", false);
        // A stalled server costs one time-out, not one for the header and
        // another for the body.
        const QByteArray status = "HTTP/1.1 200 OK\r\n";
        row("does a Get stalled inside the header fail after one time-out?", 0, status, true);
        row("does a Post stalled inside the header fail after one time-out?", 1, status, true);
        row("does a Get stalled inside the body fail after one time-out?", 0,
            status + "Content-Length: 10\r\n\r\nabc", true, "abc");
    }

    void deadServer()
    {
        QFETCH(int, call);
        QFETCH(QByteArray, reply);
        QFETCH(bool, stall);
        QFETCH(QByteArray, body);

        Exchange x(400);
        x.server.receiveHead().send(reply.toStdString());
        if (stall)
            x.server.waitForClose();
        QVERIFY(!x.run("/cgi-bin/hi3510/deletefile.cgi?&-name=sd/DCIM/100TQCAM/A.MP4", [&] {
            return call == 0   ? x.client.Get(x.request, x.response, x.body)
                   : call == 1 ? x.client.Post(x.request, x.response, "", x.body)
                               : x.client.OpenGet(x.socket, x.response, x.request);
        }));
        QVERIFY2(stall ? x.ms >= 350 && x.ms < 790 : x.ms < 350, QByteArray::number(x.ms));
        QCOMPARE(QByteArray::fromStdString(x.body), body);
        QCOMPARE(x.response.status, reply.isEmpty() ? 0 : 200);
        QVERIFY(x.server.clientClosed || !stall);
    }

    void post_data()
    {
        QTest::addColumn<bool>("streaming"); // OpenPost, SendData, FinishPost
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");

        const QByteArray created = "HTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\nok";
        const QByteArray noLength = "HTTP/1.1 200 OK\r\n\r\nignored";
        QTest::newRow("does Post send head and body and read the reply?")
            << false << created << 201 << QByteArray("ok");
        QTest::newRow("does a streamed post send head and body and read the reply?")
            << true << created << 201 << QByteArray("ok");
        QTest::newRow("does Post leave the body alone without a reply length?")
            << false << noLength << 200 << QByteArray();
        QTest::newRow("does a streamed post leave the body alone without a reply length?")
            << true << noLength << 200 << QByteArray();
    }

    void post()
    {
        QFETCH(bool, streaming);
        QFETCH(QByteArray, reply);
        QFETCH(int, status);
        QFETCH(QByteArray, body);

        const std::string data("a\0b\r\n", 5);
        Exchange x;
        const std::string sent = head("POST", "/upload", x, "Content-Length: 5\r\n") + data;
        // All of it before the reply: a client that closes with reply bytes
        // unread resets the connection, and a reset may drop what is unread.
        x.server.receiveTotal(sent.size()).send(reply.toStdString()).waitForClose();
        x.request.headers["Content-Length"] = "5";
        x.body = "kept:";
        QVERIFY(x.run("/upload", [&] {
            if (!streaming)
                return x.client.Post(x.request, x.response, data, x.body);
            // Sent in two pieces; FinishPost closes the socket.
            const bool open = x.client.OpenPost(x.socket, x.request)
                              && x.client.SendData(x.socket, data.substr(0, 2))
                              && x.client.SendData(x.socket, data.substr(2)) && x.socket.IsOpen();
            x.client.FinishPost(x.socket, x.response, x.body);
            return open && !x.socket.IsOpen();
        }));
        QCOMPARE(x.response.status, status);
        QCOMPARE(QByteArray::fromStdString(x.body), "kept:" + body);
        QCOMPARE(x.server.received, sent);
        QVERIFY(x.server.clientClosed);
    }
};

QTEST_APPLESS_MAIN(TestHttpExchange)
#include "tst_httpexchange.moc"
