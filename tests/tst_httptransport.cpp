// The socket layer under the HTTP client: line and count receives, sends,
// time-outs and errors, against a scripted server on 127.0.0.1.

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

// Connects a client socket to the server and starts the server's script.
bool connectTo(ScriptedServer& server, TcpSocket& socket)
{
    server.start();
    socket.SetTimeouts(1000, 2000);
    return socket.Connect(htonl(INADDR_LOOPBACK), htons(server.port()));
}

} // namespace

class TestHttpTransport : public QObject
{
    Q_OBJECT

private slots:
    void recvLine_data();
    void recvLine();
    void recvLineAfterError();
    void recvCount_data();
    void recvCount();
    void stalledReceiveTimesOut();
    void connectRefused();
    void connectTimesOut();
    void connectToZeroAddressFails();
    void sendAll();
    void sendAllToClosedPeer();
};

void TestHttpTransport::recvLine_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("max");
    QTest::addColumn<QList<int>>("results");

    QTest::newRow("is a 3000-byte line read as 1024, 1024 and 952?")
        << QByteArray(2999, 'a') + '\n' << 1024 << QList<int>{1024, 1024, 952, 0};
    QTest::newRow("does a limit of 0 read to the LF?")
        << QByteArray("ab\r\ncd") << 0 << QList<int>{4, 2, 0};
    QTest::newRow("is a negative limit no limit?")
        << QByteArray(5000, 'x') + "\n" << -1 << QList<int>{5001, 0};
    QTest::newRow("is the rest of a cut line left for the next call?")
        << QByteArray("abc\n") << 2 << QList<int>{2, 2, 0};
    QTest::newRow("does a bare CR not end the line?")
        << QByteArray("a\rb\n\n") << 10 << QList<int>{4, 1, 0};
    QTest::newRow("does a closed connection with nothing give 0?")
        << QByteArray() << 10 << QList<int>{0, 0};
}

void TestHttpTransport::recvLine()
{
    QFETCH(QByteArray, sent);
    QFETCH(int, max);
    QFETCH(QList<int>, results);

    ScriptedServer server;
    server.send(sent.toStdString());
    TcpSocket socket;
    QVERIFY(connectTo(server, socket));
    QByteArray joined;
    for (int expected : results) {
        std::string line = "stale";
        QCOMPARE(socket.RecvLine(line, max), expected);
        QCOMPARE(int(line.size()), expected);
        joined += QByteArray::fromStdString(line);
    }
    QCOMPARE(joined, sent);
    server.finish();
}

void TestHttpTransport::recvLineAfterError()
{
    std::string line;
    TcpSocket closed;
    QCOMPARE(closed.RecvLine(line, 10), -1);

    ScriptedServer server;
    server.reset();
    TcpSocket socket;
    QVERIFY(connectTo(server, socket));
    server.finish();
    QCOMPARE(socket.RecvLine(line, 10), -1);
    QVERIFY(!socket.TimedOut());
}

void TestHttpTransport::recvCount_data()
{
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("result");

    QTest::newRow("are 2500 bytes read whole?") << 2500 << 2500 << 2500;
    QTest::newRow("does no more than n get taken?") << 3000 << 2500 << 2500;
    QTest::newRow("does a peer that closes after 1500 give 1500?") << 1500 << 2500 << 1500;
    QTest::newRow("does n = 0 read nothing?") << 100 << 0 << 0;
    QTest::newRow("does a negative n read nothing?") << 100 << -5 << 0;
}

void TestHttpTransport::recvCount()
{
    QFETCH(int, sent);
    QFETCH(int, n);
    QFETCH(int, result);

    QByteArray data;
    for (int i = 0; i < sent; ++i)
        data += char('a' + i % 26);
    ScriptedServer server;
    // In two pieces, so that one receive cannot see all of it.
    server.send(data.left(700).toStdString()).pause(20).send(data.mid(700).toStdString());
    TcpSocket socket;
    QVERIFY(connectTo(server, socket));
    std::string out = "stale";
    QCOMPARE(socket.RecvCount(out, n), result);
    QCOMPARE(QByteArray::fromStdString(out), data.left(result));
    server.finish();
}

void TestHttpTransport::stalledReceiveTimesOut()
{
    ScriptedServer server;
    server.send("par").waitForClose();
    TcpSocket socket;
    QVERIFY(connectTo(server, socket));
    socket.SetTimeouts(1000, 200);

    const auto start = Clock::now();
    std::string line;
    QCOMPARE(socket.RecvLine(line, 100), 3);
    QCOMPARE(line, std::string("par"));
    QVERIFY(socket.TimedOut());
    QVERIFY(msSince(start) >= 150);

    // Once timed out, the socket does not wait again.
    const auto again = Clock::now();
    char byte;
    QCOMPARE(socket.Recv(&byte, 1), -1);
    QCOMPARE(socket.RecvCount(line, 10), 0);
    QVERIFY(msSince(again) < 100);

    socket.Close();
    QVERIFY(!socket.TimedOut());
    server.finish();
    QVERIFY(server.clientClosed());
}

void TestHttpTransport::connectRefused()
{
    std::uint16_t port = 0;
    {
        ScriptedServer gone;
        port = gone.port();
    }
    TcpSocket socket;
    socket.SetTimeouts(1000, 1000);
    const auto start = Clock::now();
    QVERIFY(!socket.Connect(htonl(INADDR_LOOPBACK), htons(port)));
    QVERIFY(msSince(start) < 900);
    // A failed connect leaves the socket for its owner to close.
    QVERIFY(socket.IsOpen());
}

void TestHttpTransport::connectTimesOut()
{
    // A backlog of 0 takes one pending client; the next one hangs in connect.
    ScriptedServer server(0);
    TcpSocket first;
    first.SetTimeouts(1000, 1000);
    QVERIFY(first.Connect(htonl(INADDR_LOOPBACK), htons(server.port())));

    TcpSocket second;
    second.SetTimeouts(200, 1000);
    const auto start = Clock::now();
    const bool connected = second.Connect(htonl(INADDR_LOOPBACK), htons(server.port()));
    if (connected)
        QSKIP("this system accepts beyond the listen backlog");
    const qint64 elapsed = msSince(start);
    QVERIFY2(elapsed >= 150 && elapsed < 1500, QByteArray::number(elapsed));
}

void TestHttpTransport::connectToZeroAddressFails()
{
    ScriptedServer server;
    TcpSocket socket;
    QVERIFY(!socket.Connect(0, htons(server.port())));
    server.stop();
    QVERIFY(!server.accepted());
}

void TestHttpTransport::sendAll()
{
    TcpSocket unopened;
    QVERIFY(HttpClient::SendAll(unopened, std::string()));
    QVERIFY(!HttpClient::SendAll(unopened, "x"));

    // Larger than the socket buffers, so it takes several sends.
    QByteArray data(4 * 1024 * 1024, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 7);
    ScriptedServer server;
    server.receiveTotal(std::size_t(data.size()));
    TcpSocket socket;
    QVERIFY(connectTo(server, socket));
    QVERIFY(HttpClient::SendAll(socket, data.toStdString()));
    server.finish();
    QVERIFY(QByteArray::fromStdString(server.received()) == data);
}

void TestHttpTransport::sendAllToClosedPeer()
{
    // The test process keeps the default SIGPIPE action: a send that raised
    // it would end the run here.
    ScriptedServer server;
    server.reset();
    TcpSocket socket;
    QVERIFY(connectTo(server, socket));
    server.finish();
    // The first send after the reset fails with "reset by peer"; only the
    // sends after it would raise the signal.
    const std::string data(256 * 1024, 'x');
    int failures = 0;
    for (int i = 0; i < 20; ++i) {
        if (!HttpClient::SendAll(socket, data))
            ++failures;
    }
    QVERIFY(failures >= 2);
}

QTEST_APPLESS_MAIN(TestHttpTransport)
#include "tst_httptransport.moc"
