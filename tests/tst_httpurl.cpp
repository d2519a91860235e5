// URL splitting, host dispatch and the bytes of request heads and multipart
// bodies. No connection is made; the only name looked up is "localhost".

#include "httpclient.h"
#include "platformsocket.h"

#include <QtTest>

namespace {

std::string bytes(const QByteArray& data)
{
    return data.toStdString();
}

QByteArray bytes(const std::string& data)
{
    return QByteArray::fromStdString(data);
}

HeaderMap headerMap(const QList<QByteArray>& pairs)
{
    HeaderMap map;
    for (int i = 0; i + 1 < pairs.size(); i += 2)
        map[bytes(pairs.at(i))] = bytes(pairs.at(i + 1));
    return map;
}

} // namespace

class TestHttpUrl : public QObject
{
    Q_OBJECT

private slots:
    void parseUrl_data();
    void parseUrl();
    void parseUrlKeepsEarlierPortAndPath();
    void needsNameLookup_data();
    void needsNameLookup();
    void resolveDottedHost_data();
    void resolveDottedHost();
    void resolveLocalhost();
    void requestHead_data();
    void requestHead();
    void requestHeadIsAppended();
    void multipartBody_data();
    void multipartBody();
};

void TestHttpUrl::parseUrl_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QByteArray>("path");

    // A fresh record holds host "old", port 81 and path /old, so that kept
    // fields show.
    QTest::newRow("is the query part of the path?")
        << QByteArray("http://cam/a/b?x=1") << true << QByteArray("cam") << 81
        << QByteArray("/a/b?x=1");
    QTest::newRow("are port and path both taken?")
        << QByteArray("http://cam:8080/x") << true << QByteArray("cam") << 8080
        << QByteArray("/x");
    QTest::newRow("does a port alone keep the path?")
        << QByteArray("http://cam:8081") << true << QByteArray("cam") << 8081
        << QByteArray("/old");
    QTest::newRow("does a bare host keep port and path?")
        << QByteArray("http://cam") << true << QByteArray("cam") << 81 << QByteArray("/old");
    QTest::newRow("is a colon after the first slash refused?")
        << QByteArray("http://cam/x:y") << false << QByteArray("old") << 81 << QByteArray("/old");
    QTest::newRow("is https refused?")
        << QByteArray("https://cam/") << false << QByteArray("old") << 81 << QByteArray("/old");
    QTest::newRow("is an upper-case scheme refused?")
        << QByteArray("HTTP://cam/") << false << QByteArray("old") << 81 << QByteArray("/old");
    QTest::newRow("is the bare prefix refused?")
        << QByteArray("http://") << false << QByteArray("old") << 81 << QByteArray("/old");
    QTest::newRow("is a one-byte host enough?")
        << QByteArray("http://x") << true << QByteArray("x") << 81 << QByteArray("/old");
    QTest::newRow("does a port without digits give 0?")
        << QByteArray("http://cam:abc/") << true << QByteArray("cam") << 0 << QByteArray("/");
    QTest::newRow("is a port above 65535 cut to 16 bits?")
        << QByteArray("http://cam:70000/") << true << QByteArray("cam") << 4464 << QByteArray("/");
    QTest::newRow("is a negative port cut to 16 bits?")
        << QByteArray("http://cam:-1/") << true << QByteArray("cam") << 65535 << QByteArray("/");
    QTest::newRow("are blanks before the port skipped and text after it ignored?")
        << QByteArray("http://cam: 82x/") << true << QByteArray("cam") << 82 << QByteArray("/");
    QTest::newRow("does a second colon end the port digits?")
        << QByteArray("http://a:8:9/p") << true << QByteArray("a") << 8 << QByteArray("/p");
    QTest::newRow("is an empty host accepted?")
        << QByteArray("http://:80/") << true << QByteArray("") << 80 << QByteArray("/");
    QTest::newRow("does the camera's format URL pass unchanged?")
        << QByteArray("http://192.168.72.20/cgi-bin/hi3510/sdcommand.cgi?-format&-partition=1")
        << true << QByteArray("192.168.72.20") << 81
        << QByteArray("/cgi-bin/hi3510/sdcommand.cgi?-format&-partition=1");
}

void TestHttpUrl::parseUrl()
{
    QFETCH(QByteArray, url);
    QFETCH(bool, accepted);
    QFETCH(QByteArray, host);
    QFETCH(int, port);
    QFETCH(QByteArray, path);

    HttpRequest request;
    request.host = "old";
    request.port = 81;
    request.path = "/old";
    request.url = bytes(url);
    QCOMPARE(HttpClient::ParseUrl(request), accepted);
    QCOMPARE(bytes(request.host), host);
    QCOMPARE(int(request.port), port);
    QCOMPARE(bytes(request.path), path);
}

void TestHttpUrl::parseUrlKeepsEarlierPortAndPath()
{
    HttpRequest request;
    request.url = "http://cam/first";
    QVERIFY(HttpClient::ParseUrl(request));
    QCOMPARE(int(request.port), 80);

    request.url = "http://cam:8080/x";
    QVERIFY(HttpClient::ParseUrl(request));
    request.url = "http://cam/y";
    QVERIFY(HttpClient::ParseUrl(request));
    QCOMPARE(int(request.port), 8080);
    QCOMPARE(request.path, std::string("/y"));

    request.url = "http://other";
    QVERIFY(HttpClient::ParseUrl(request));
    QCOMPARE(request.host, std::string("other"));
    QCOMPARE(int(request.port), 8080);
    QCOMPARE(request.path, std::string("/y"));
}

void TestHttpUrl::needsNameLookup_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<bool>("lookup");

    QTest::newRow("is a dotted address read directly?") << QByteArray("192.168.72.20") << false;
    QTest::newRow("is an empty host read directly?") << QByteArray("") << false;
    QTest::newRow("does an underscore ask for a look-up?") << QByteArray("cam_1") << true;
    QTest::newRow("does an upper-case letter ask for a look-up?") << QByteArray("Cam") << true;
    QTest::newRow("is 'A' (0x41) the lowest look-up byte?") << QByteArray("1.A") << true;
    QTest::newRow("is '@' (0x40) below it?") << QByteArray("1.@") << false;
    QTest::newRow("is 'z' (0x7A) the highest look-up byte?") << QByteArray("1.z") << true;
    QTest::newRow("is '{' (0x7B) above it?") << QByteArray("1.{") << false;
    QTest::newRow("do '[' and '`' ask for a look-up?") << QByteArray("[`") << true;
    QTest::newRow("are bytes from 0x80 read directly?") << QByteArray("1.2.3.\xc3\xa9") << false;
    QTest::newRow("is a port-like suffix read directly?") << QByteArray("1.2.3.4:80") << false;
}

void TestHttpUrl::needsNameLookup()
{
    QFETCH(QByteArray, host);
    QFETCH(bool, lookup);
    QCOMPARE(HttpClient::NeedsNameLookup(bytes(host)), lookup);
}

void TestHttpUrl::resolveDottedHost_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<quint32>("address");

    QTest::newRow("is a dotted address converted?") << QByteArray("192.168.72.20") << 0xC0A84814u;
    QTest::newRow("is a three-part address read the classic way?")
        << QByteArray("1.2.3") << 0x01020003u;
    QTest::newRow("does an octet above 255 give no address?")
        << QByteArray("300.1.1.1") << 0xFFFFFFFFu;
    QTest::newRow("does an empty host give no address?") << QByteArray("") << 0xFFFFFFFFu;
    QTest::newRow("do trailing high bytes give no address?")
        << QByteArray("1.2.3.4\xc3\xa9") << 0xFFFFFFFFu;
}

void TestHttpUrl::resolveDottedHost()
{
    QFETCH(QByteArray, host);
    QFETCH(quint32, address);
    QCOMPARE(quint32(ntohl(HttpClient::ResolveHost(bytes(host)))), address);
}

void TestHttpUrl::resolveLocalhost()
{
    QCOMPARE(quint32(ntohl(HttpClient::ResolveHost("localhost"))), 0x7F000001u);
}

void TestHttpUrl::requestHead_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("port");
    QTest::addColumn<QList<QByteArray>>("headers");
    QTest::addColumn<QByteArray>("head");

    const QList<QByteArray> cameraHeaders{"Accept", "*/*", "Accept-Language", "zh-CN",
                                          "User-Agent", "SDK C++ http client",
                                          "Connection", "Keep-Alive"};
    QTest::newRow("is the camera's count request sent as six lines?")
        << int(HttpMethodGet) << QByteArray("/cgi-bin/hi3510/getfilecount.cgi?") << 80
        << cameraHeaders
        << QByteArray("GET /cgi-bin/hi3510/getfilecount.cgi? HTTP/1.1\r\n"
                      "Host: cam\r\n"
                      "Accept: */*\r\n"
                      "Accept-Language: zh-CN\r\n"
                      "Connection: Keep-Alive\r\n"
                      "User-Agent: SDK C++ http client\r\n"
                      "\r\n");
    QTest::newRow("does another port show in the Host line?")
        << int(HttpMethodGet) << QByteArray("/x") << 8080 << QList<QByteArray>()
        << QByteArray("GET /x HTTP/1.1\r\nHost: cam:8080\r\n\r\n");
    QTest::newRow("is port 0 written too?")
        << int(HttpMethodPost) << QByteArray("/") << 0 << QList<QByteArray>()
        << QByteArray("POST / HTTP/1.1\r\nHost: cam:0\r\n\r\n");
    QTest::newRow("is PUT spelt out?")
        << int(HttpMethodPut) << QByteArray("/a") << 80 << QList<QByteArray>()
        << QByteArray("PUT /a HTTP/1.1\r\nHost: cam\r\n\r\n");
    QTest::newRow("is DELETE spelt out?")
        << int(HttpMethodDelete) << QByteArray("/a") << 80 << QList<QByteArray>()
        << QByteArray("DELETE /a HTTP/1.1\r\nHost: cam\r\n\r\n");
    QTest::newRow("does an unknown method give an empty method text?")
        << 9 << QByteArray("/a") << 80 << QList<QByteArray>()
        << QByteArray(" /a HTTP/1.1\r\nHost: cam\r\n\r\n");
    QTest::newRow("do names that differ in case make two lines, upper case first?")
        << int(HttpMethodGet) << QByteArray("/") << 80
        << QList<QByteArray>{"accept", "2", "Accept", "1", "X", "3"}
        << QByteArray("GET / HTTP/1.1\r\nHost: cam\r\nAccept: 1\r\nX: 3\r\naccept: 2\r\n\r\n");
    QTest::newRow("does a shorter name sort before a longer one it prefixes?")
        << int(HttpMethodGet) << QByteArray("/") << 80
        << QList<QByteArray>{"Ab", "2", "A", "1", "\xc3\xa9", "4", "b", "3"}
        << QByteArray("GET / HTTP/1.1\r\nHost: cam\r\nA: 1\r\nAb: 2\r\nb: 3\r\n\xc3\xa9: 4\r\n"
                      "\r\n");
    QTest::newRow("does a header set twice keep its last value?")
        << int(HttpMethodGet) << QByteArray("/") << 80 << QList<QByteArray>{"A", "1", "A", "2"}
        << QByteArray("GET / HTTP/1.1\r\nHost: cam\r\nA: 2\r\n\r\n");
    QTest::newRow("is the path sent without escaping?")
        << int(HttpMethodGet) << QByteArray("/a b?&-name=\xc3\xa9") << 80 << QList<QByteArray>()
        << QByteArray("GET /a b?&-name=\xc3\xa9 HTTP/1.1\r\nHost: cam\r\n\r\n");
}

void TestHttpUrl::requestHead()
{
    QFETCH(int, method);
    QFETCH(QByteArray, path);
    QFETCH(int, port);
    QFETCH(QList<QByteArray>, headers);
    QFETCH(QByteArray, head);

    HttpRequest request;
    request.host = "cam";
    request.port = static_cast<std::uint16_t>(port);
    request.path = bytes(path);
    request.headers = headerMap(headers);
    std::string out;
    HttpClient::BuildRequestHead(static_cast<HttpMethod>(method), request, out);
    QCOMPARE(bytes(out), head);
}

void TestHttpUrl::requestHeadIsAppended()
{
    HttpRequest request;
    request.host = "cam";
    request.version = "HTTP/1.0";
    std::string out = "before";
    HttpClient::BuildRequestHead(HttpMethodGet, request, out);
    QCOMPARE(out, std::string("beforeGET / HTTP/1.0\r\nHost: cam\r\n\r\n"));
}

void TestHttpUrl::multipartBody_data()
{
    QTest::addColumn<QByteArray>("boundary");
    // Part key, then its header pairs (name, value, ...), then its body.
    QTest::addColumn<QList<QList<QByteArray>>>("parts");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("does a form without parts give only the closing line?")
        << QByteArray("B") << QList<QList<QByteArray>>() << QByteArray("\r\n--B--\r\n");
    QTest::newRow("does an empty part body end with its empty line?")
        << QByteArray("B") << QList<QList<QByteArray>>{{"1", "Content-Type", "text/plain", ""}}
        << QByteArray("--B\r\nContent-Type: text/plain\r\n\r\n\r\n--B--\r\n");
    QTest::newRow("are parts written in key order with their headers sorted?")
        << QByteArray("xyz")
        << QList<QList<QByteArray>>{
               {"7", "Content-Type", "image/jpeg", "Content-Disposition",
                "form-data; name=\"f\"; filename=\"a.jpg\"", "\xff\xd8\r\n"},
               {"2", "Content-Disposition", "form-data; name=\"n\"", "42"}}
        << QByteArray("--xyz\r\nContent-Disposition: form-data; name=\"n\"\r\n\r\n42"
                      "\r\n--xyz\r\nContent-Disposition: form-data; name=\"f\"; "
                      "filename=\"a.jpg\"\r\nContent-Type: image/jpeg\r\n\r\n\xff\xd8\r\n"
                      "\r\n--xyz--\r\n");
    QTest::newRow("is a body with NUL bytes kept whole?")
        << QByteArray("B") << QList<QList<QByteArray>>{{"1", QByteArray("a\0b", 3)}}
        << QByteArray("--B\r\n\r\na\0b\r\n--B--\r\n", 19);
}

void TestHttpUrl::multipartBody()
{
    QFETCH(QByteArray, boundary);
    QFETCH(QList<QList<QByteArray>>, parts);
    QFETCH(QByteArray, body);

    MultipartForm form;
    form.boundary = bytes(boundary);
    for (const QList<QByteArray>& entry : parts) {
        MultipartPart part;
        part.headers = headerMap(entry.mid(1, entry.size() - 2));
        part.body = bytes(entry.last());
        form.parts[entry.first().toUInt()] = part;
    }
    std::string out = "head";
    HttpClient::BuildMultipartBody(form, out);
    QCOMPARE(bytes(out), QByteArray("head") + body);
}

QTEST_APPLESS_MAIN(TestHttpUrl)
#include "tst_httpurl.moc"
