// Reading replies: status line, header lines, bodies by length and chunked,
// and how a reply that stops early or stalls ends. Replies come byte-exact
// from a scripted server on 127.0.0.1.

#include "scriptedserver.h"

#include <QtTest>

namespace {

QByteArray bytes(const std::string& data)
{
    return QByteArray::fromStdString(data);
}

const QByteArray kOk = "HTTP/1.1 200 OK\r\n";
const QByteArray kChunked = kOk + "Transfer-Encoding: chunked\r\n\r\n";

// What a Get against a scripted reply should give.
enum Outcome : int {
    Done = 1,    // Get returns true
    Open = 2,    // the server keeps the connection open until the client closes
    Chunked = 4, // the reply was read as chunked
};

// pieces: the reply, sent with a pause between pieces. header: "name=value"
// of one header to look up.
void reply(const char* name, const QList<QByteArray>& pieces, int outcome,
           const QByteArray& body, quint32 length = 0, int status = 200,
           const QByteArray& header = {})
{
    QTest::newRow(name) << pieces << outcome << body << length << status << header;
}

} // namespace

class TestHttpResponse : public QObject
{
    Q_OBJECT

private slots:
    void splitHeaderLine_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("value");
        const auto row = [](const char* name, const char* line, const char* n, const char* v) {
            QTest::newRow(name) << QByteArray(line) << QByteArray(n) << QByteArray(v);
        };
        row("is the status line cut at its first space?", "HTTP/1.1 200 OK\r\n", "HTTP/1.1",
            "200 OK");
        row("does a status line without space give nothing?", "HTTP/1.1\r\n", "", "");
        row("is a header cut at the first colon-space?", "Date: Mon: 1\r\n", "Date", "Mon: 1");
        row("are further blanks kept in the value?", "X:  a b  \r\n", "X", " a b  ");
        row("does a colon without space give nothing?", "Content-Length:5\r\n", "", "");
        row("are CR and LF trimmed at both ends only?", "\n\rA: b\rc\n\r\n", "A", "b\rc");
        row("is a line of only CR and LF left alone?", "\r\n\r\n", "", "");
        row("is a lower-case http prefix a header?", "http: x\r\n", "http", "x");
        row("does a name starting with HTTP split at the space?", "HTTPX: y\r\n", "HTTPX:", "y");
    }

    void splitHeaderLine()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, value);

        std::string gotName, gotValue;
        HttpClient::SplitHeaderLine(line.toStdString(), gotName, gotValue);
        QCOMPARE(bytes(gotName), name);
        QCOMPARE(bytes(gotValue), value);
    }

    void getReply_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<quint32>("length");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("header");

        reply("is a body read by its length, the later of two equal names winning?",
              {kOk + "X-A: 1\r\nX-A: 2\r\nContent-Length: 5\r\n\r\nhello"}, Open | Done, "hello", 5,
              200, "X-A=2");
        reply("is a 404 with a body a complete reply?",
              {"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"}, Open | Done,
              "not found", 9, 404);
        reply("does a status without reason leave 0?",
              {"HTTP/1.1 200\r\nContent-Length: 2\r\n\r\nok"}, Open | Done, "ok", 2, 0);
        reply("does a later status line win?",
              {"HTTP/1.1 100 Continue\r\nHTTP/1.1 201 Created\r\nContent-Length: 1\r\n\r\n!"},
              Open | Done, "!", 1, 201);
        reply("is Content-Length:5 without space an empty entry?",
              {kOk + "Content-Length:5\r\n\r\nhello"}, Done, "hello", 0, 200, "=");
        reply("is Content-Length read like atoi?", {kOk + "Content-Length:  3 bytes\r\n\r\nabc"},
              Open | Done, "abc", 3, 200, "Content-Length= 3 bytes");
        reply("does a bare LF line not end the header?", {kOk + "\nContent-Length: 3\r\n\r\nabc"},
              Open | Done, "abc", 3, 200, "=");
        reply("are bytes beyond the length in the same receive kept?",
              {kOk + "Content-Length: 2\r\n\r\nhello"}, Open | Done, "hello", 2);
        reply("is a body without length the first receive only?", {kOk + "\r\nfirst", "second"},
              Open | Done, "first");
        reply("is a reply without length and without body complete on close?", {kOk + "\r\n"},
              Done, "");
        reply("is a peer that hangs up without a byte no reply at all?", {}, 0, "", 0, 0);
        reply("is an announced empty body complete without waiting?",
              {kOk + "Content-Length: 0\r\n\r\n"}, Open | Done, "");
        reply("does a peer closing short of the length fail?",
              {kOk + "Content-Length: 10\r\n\r\nabcd"}, 0, "abcd", 10);
        reply("does a negative length fail at once?", {kOk + "Content-Length: -5\r\n\r\nhello"},
              Open, "", 4294967291u);

        const int whole = Open | Done | Chunked;
        reply("is a chunk extension ignored?",
              {kChunked + "1a;name=x\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n"}, whole,
              "abcdefghijklmnopqrstuvwxyz");
        reply("are blanks, 0x and upper-case digits read, chunks joined up to size 0?",
              {kChunked + " 0XA\r\n0123456789\r\n2\r\nde\r\n0\r\n\r\n"}, whole, "0123456789de");
        reply("are negative chunk sizes skipped?",
              {kChunked + "-1\r\nffffffff\r\n123456789\r\n5\r\nhello\r\n0\r\n\r\n"}, whole,
              "hello");
        reply("does a trailer line end a chunked body?",
              {kChunked + "5\r\nhello\r\n0\r\nX-Trailer: t\r\n\r\n"}, whole, "hello");
        reply("does a size line without digits end the body?", {kChunked + "2\r\nab\r\nzz\r\n\r\n"},
              whole, "ab");
        reply("does chunked win over Content-Length?",
              {kOk + "Content-Length: 100\r\nTransfer-Encoding: chunked\r\n\r\n"
                     "2\r\nab\r\n0\r\n\r\n"},
              whole, "ab", 100);
        const QByteArray data(5000, 'q');
        reply("are chunk data and size lines read across sends?",
              {kChunked + "1388\r\n" + data.left(1000), data.mid(1000) + "\r\n", "0\r", "\n\r\n"},
              whole, data);
        reply("does a peer closing inside a chunk fail?", {kChunked + "5\r\nhel"}, Chunked, "hel");
        reply("does a peer closing before the size-0 chunk fail?", {kChunked + "5\r\nhello\r\n"},
              Chunked, "hello");
        reply("is a peer closing right after the size-0 chunk fine?",
              {kChunked + "5\r\nhello\r\n0\r\n"}, Done | Chunked, "hello");
        reply("is 'Chunked' in another case read by length?",
              {kOk + "Transfer-Encoding: Chunked\r\n\r\n2\r\nab\r\n0\r\n\r\n"}, Done,
              "2\r\nab\r\n0\r\n\r\n");
        reply("is a lower-case header name not recognised?",
              {kOk + "transfer-encoding: chunked\r\ncontent-length: 2\r\n\r\nabc"}, Done, "abc");
        reply("is a list of codings ending in chunked read by length?",
              {kOk + "Transfer-Encoding: gzip, chunked\r\n\r\nxyz"}, Done, "xyz");
    }

    void getReply()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(int, outcome);
        QFETCH(QByteArray, body);
        QFETCH(quint32, length);
        QFETCH(int, status);
        QFETCH(QByteArray, header);

        Exchange x;
        // What an earlier reply left in the record: none of it may count.
        x.response = {999, true, true, 77, 5, 3, {{"Stale", "1"}}};
        x.body = "kept:";
        x.server.receiveHead();
        for (int i = 0; i < pieces.size(); ++i)
            x.server.send(pieces.at(i).toStdString(), i > 0 ? 100 : 0);
        if (outcome & Open)
            x.server.waitForClose();
        QCOMPARE(x.get(), bool(outcome & Done));
        // Far below the receive time-out: a reader that waited shows here.
        QVERIFY2(x.ms < 2000, "the reader waited for the time-out");
        QCOMPARE(bytes(x.body), "kept:" + body);
        QCOMPARE(x.response.status, status);
        QCOMPARE(x.response.chunked, bool(outcome & Chunked));
        QCOMPARE(x.response.contentLength, length);
        QCOMPARE(x.response.received, quint32(body.size()));
        if ((outcome & Done) && (outcome & Chunked))
            QVERIFY(x.response.lastChunk && x.response.chunkRemaining == 0);
        if (!header.isNull()) {
            const int equals = header.indexOf('=');
            const auto found = x.response.headers.find(header.left(equals).toStdString());
            QVERIFY(found != x.response.headers.end());
            QCOMPARE(bytes(found->second), header.mid(equals + 1));
        }
        // Neither the status line nor an earlier reply's header is among the headers.
        for (const auto& entry : x.response.headers)
            QVERIFY(entry.first.compare(0, 4, "HTTP") != 0 && entry.first != "Stale");
        if (outcome & Open)
            QVERIFY(x.server.clientClosed);
    }
};

QTEST_APPLESS_MAIN(TestHttpResponse)
#include "tst_httpresponse.moc"
