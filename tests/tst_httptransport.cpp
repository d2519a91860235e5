// The socket layer under the HTTP client: line and count receives, sends,
// time-outs and errors, against a scripted server on 127.0.0.1.

#include "scriptedserver.h"

#include <QtTest>

namespace {

using Clock = std::chrono::steady_clock;

// Starts the server's script and connects a client socket to it.
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
    void receive_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("count");
        QTest::addColumn<int>("max");
        QTest::addColumn<QList<int>>("results");

        QByteArray data;
        for (int i = 0; i < 3000; ++i)
            data += char('a' + i % 26);
        // RecvLine, one call per result; the server closes after sending.
        QTest::newRow("is a 3000-byte line read as 1024, 1024 and 952?")
            << data.left(2999) + '\n' << false << 1024 << QList<int>{1024, 1024, 952, 0};
        QTest::newRow("does a limit of 0 read to the LF?")
            << QByteArray("ab\r\ncd") << false << 0 << QList<int>{4, 2, 0};
        QTest::newRow("is a negative limit no limit?")
            << QByteArray(5000, 'x') + "\n" << false << -1 << QList<int>{5001, 0};
        QTest::newRow("does a bare CR not end the line?")
            << QByteArray("a\rb\n\n") << false << 10 << QList<int>{4, 1, 0};
        // RecvCount, one call.
        QTest::newRow("are 2500 of 3000 bytes read, across sends?")
            << data << true << 2500 << QList<int>{2500};
        QTest::newRow("does a peer that closes after 1500 give 1500?")
            << data.left(1500) << true << 2500 << QList<int>{1500};
        QTest::newRow("does a negative count read nothing?")
            << data.left(100) << true << -5 << QList<int>{0};
    }

    void receive()
    {
        QFETCH(QByteArray, sent);
        QFETCH(bool, count);
        QFETCH(int, max);
        QFETCH(QList<int>, results);

        ScriptedServer server;
        // In two pieces, so that one receive cannot see all of it.
        server.send(sent.left(700).toStdString()).send(sent.mid(700).toStdString(), 20);
        TcpSocket socket;
        QVERIFY(connectTo(server, socket));
        QByteArray joined;
        for (int expected : results) {
            std::string got = "stale";
            QCOMPARE(count ? socket.RecvCount(got, max) : socket.RecvLine(got, max), expected);
            QCOMPARE(int(got.size()), expected);
            joined += QByteArray::fromStdString(got);
        }
        QCOMPARE(joined, sent.left(joined.size()));
    }

    void stalledReceiveTimesOut()
    {
        ScriptedServer server;
        server.send("par").waitForClose();
        TcpSocket socket;
        QVERIFY(connectTo(server, socket));
        socket.SetTimeouts(1000, 200);

        auto start = Clock::now();
        std::string line;
        QCOMPARE(socket.RecvLine(line, 100), 3);
        QCOMPARE(line, std::string("par"));
        QVERIFY(socket.TimedOut());
        QVERIFY(msSince(start) >= 150);
        // Once timed out, the socket does not wait again.
        start = Clock::now();
        char byte;
        QCOMPARE(socket.Recv(&byte, 1), -1);
        QCOMPARE(socket.RecvCount(line, 10), 0);
        QVERIFY(msSince(start) < 100);
        socket.Close();
        QVERIFY(!socket.TimedOut());
        server.finish();
        QVERIFY(server.clientClosed);
    }

    void connectFails()
    {
        const std::uint16_t port = ScriptedServer().port(); // closed again at once
        TcpSocket socket;
        socket.SetTimeouts(1000, 1000);
        auto start = Clock::now();
        QVERIFY(!socket.Connect(htonl(INADDR_LOOPBACK), htons(port)));
        QVERIFY(msSince(start) < 900);
        // A failed connect leaves the socket for its owner to close.
        QVERIFY(socket.IsOpen());

        // The all-zero address of a failed look-up does not reach this host.
        ScriptedServer server(0);
        server.start();
        TcpSocket zero;
        zero.SetTimeouts(1000, 1000);
        QVERIFY(!zero.Connect(0, htons(server.port())));
        server.stop();
        QVERIFY(!server.accepted);

        // A backlog of 0 takes one pending client; the next one hangs in
        // connect until the time-out.
        TcpSocket first;
        first.SetTimeouts(1000, 1000);
        QVERIFY(first.Connect(htonl(INADDR_LOOPBACK), htons(server.port())));
        TcpSocket second;
        second.SetTimeouts(200, 1000);
        start = Clock::now();
        if (second.Connect(htonl(INADDR_LOOPBACK), htons(server.port())))
            QSKIP("this system accepts beyond the listen backlog");
        const qint64 elapsed = msSince(start);
        QVERIFY2(elapsed >= 150 && elapsed < 1500, QByteArray::number(elapsed));
    }

    void sendAll()
    {
        // Larger than the socket buffers, so it takes several sends.
        std::string data(4 * 1024 * 1024, '\0');
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = char(i * 7);
        ScriptedServer server;
        server.waitForClose();
        TcpSocket socket;
        QVERIFY(connectTo(server, socket));
        QVERIFY(HttpClient::SendAll(socket, data));
        socket.Close();
        server.finish();
        QVERIFY(server.received == data);
        std::string line;
        QCOMPARE(socket.RecvLine(line, 10), -1);
        QVERIFY(HttpClient::SendAll(socket, std::string()));
        QVERIFY(!HttpClient::SendAll(socket, "x"));
    }

    void resetByPeer()
    {
        // The reset waits for the client's bytes, so that it cannot beat the connect.
        ScriptedServer server;
        server.receiveHead();
        server.reset();
        TcpSocket socket;
        QVERIFY(connectTo(server, socket));
        QVERIFY(HttpClient::SendAll(socket, "\r\n\r\n"));
        server.finish();
        std::string line;
        QCOMPARE(socket.RecvLine(line, 10), -1);
        QVERIFY(!socket.TimedOut());
        // The test process keeps the default SIGPIPE action: a send to the closed
        // peer that raised it would end the run here.
        const std::string data(256 * 1024, 'x');
        int failures = 0;
        for (int i = 0; i < 20; ++i)
            failures += HttpClient::SendAll(socket, data) ? 0 : 1;
        QVERIFY(failures >= 2);
    }
};

QTEST_APPLESS_MAIN(TestHttpTransport)
#include "tst_httptransport.moc"
