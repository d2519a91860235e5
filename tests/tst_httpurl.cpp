// URL splitting, host dispatch and the bytes of request heads and multipart
// bodies. No connection is made; the only name looked up is "localhost".

#include "httpclient.h"
#include "platformsocket.h"

#include <QtTest>

using namespace std::string_literals;

namespace {

QByteArray bytes(const std::string& data)
{
    return QByteArray::fromStdString(data);
}

} // namespace

Q_DECLARE_METATYPE(HeaderMap)

class TestHttpUrl : public QObject
{
    Q_OBJECT

private slots:
    void parseUrl_data()
    {
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QByteArray>("path");
        const auto row = [](const char* name, const char* url, bool accepted, const char* host,
                            int port, const char* path) {
            QTest::newRow(name) << QByteArray(url) << accepted << QByteArray(host) << port
                                << QByteArray(path);
        };
        // The record already holds host "old", port 81 and path /old from an
        // earlier URL, so that kept fields show.
        row("is the query part of the path?",
            "http://192.168.72.20/cgi-bin/hi3510/sdcommand.cgi?-format&-partition=1", true,
            "192.168.72.20", 81, "/cgi-bin/hi3510/sdcommand.cgi?-format&-partition=1");
        row("are port and path both taken?", "http://cam:8080/x", true, "cam", 8080, "/x");
        row("does a port alone keep the path?", "http://cam:8081", true, "cam", 8081, "/old");
        row("does a bare host keep port and path?", "http://cam", true, "cam", 81, "/old");
        row("is a one-byte host enough?", "http://x", true, "x", 81, "/old");
        row("is a colon after the first slash refused?", "http://cam/x:y", false, "old", 81,
            "/old");
        row("is https refused?", "https://cam/", false, "old", 81, "/old");
        row("is an upper-case scheme refused?", "HTTP://cam/", false, "old", 81, "/old");
        row("is the bare prefix refused?", "http://", false, "old", 81, "/old");
        row("does a port without digits give 0?", "http://cam:abc/", true, "cam", 0, "/");
        row("is a port above 65535 cut to 16 bits?", "http://cam:70000/", true, "cam", 4464, "/");
        row("is a negative port cut to 16 bits?", "http://cam:-1/", true, "cam", 65535, "/");
        row("are blanks before the port skipped and text after it ignored?", "http://cam: 82x/",
            true, "cam", 82, "/");
        row("does a second colon end the port digits?", "http://a:8:9/p", true, "a", 8, "/p");
        row("is an empty host accepted?", "http://:80/", true, "", 80, "/");
    }

    void parseUrl()
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
        request.url = url.toStdString();
        QCOMPARE(HttpClient::ParseUrl(request), accepted);
        QCOMPARE(bytes(request.host), host);
        QCOMPARE(int(request.port), port);
        QCOMPARE(bytes(request.path), path);
    }

    void resolveHost_data()
    {
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<bool>("lookup");
        // Network byte order turned round; 0: not resolved here, so that no
        // name query leaves the machine.
        QTest::addColumn<quint32>("address");
        const auto row = [](const char* name, const char* host, bool lookup, quint32 address) {
            QTest::newRow(name) << QByteArray(host) << lookup << address;
        };
        row("is a dotted address converted?", "192.168.72.20", false, 0xC0A84814u);
        row("is a three-part address read the classic way?", "1.2.3", false, 0x01020003u);
        row("does an octet above 255 give no address?", "300.1.1.1", false, 0xFFFFFFFFu);
        row("does an empty host give no address?", "", false, 0xFFFFFFFFu);
        row("is 'A' (0x41) the lowest look-up byte?", "1.A", true, 0);
        row("is '@' (0x40) below it?", "1.@", false, 0xFFFFFFFFu);
        row("is 'z' (0x7A) the highest look-up byte?", "1.z", true, 0);
        row("is '{' (0x7B) above it?", "1.{", false, 0xFFFFFFFFu);
        row("do '[' and '`' ask for a look-up?", "[`", true, 0);
        row("are bytes from 0x80 read directly?", "1.2.3.\xc3\xa9", false, 0xFFFFFFFFu);
        row("is a port-like suffix read directly?", "1.2.3.4:80", false, 0xFFFFFFFFu);
        row("is localhost looked up?", "localhost", true, 0x7F000001u);
    }

    void resolveHost()
    {
        QFETCH(QByteArray, host);
        QFETCH(bool, lookup);
        QFETCH(quint32, address);
        QCOMPARE(HttpClient::NeedsNameLookup(host.toStdString()), lookup);
        if (address != 0)
            QCOMPARE(quint32(ntohl(HttpClient::ResolveHost(host.toStdString()))), address);
    }

    void requestHead_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<int>("port");
        QTest::addColumn<HeaderMap>("headers");
        QTest::addColumn<QByteArray>("head");
        const auto row = [](const char* name, int method, const char* path, int port,
                            const HeaderMap& headers, const QByteArray& head) {
            QTest::newRow(name) << method << QByteArray(path) << port << headers << head;
        };
        row("is the camera's count request sent as six lines?", HttpMethodGet,
            "/cgi-bin/hi3510/getfilecount.cgi?", 80,
            {{"Accept", "*/*"}, {"Accept-Language", "zh-CN"}, {"User-Agent", "SDK C++ http client"},
             {"Connection", "Keep-Alive"}},
            "GET /cgi-bin/hi3510/getfilecount.cgi? HTTP/1.1\r\nHost: cam\r\nAccept: */*\r\n"
            "Accept-Language: zh-CN\r\nConnection: Keep-Alive\r\nUser-Agent: SDK C++ http client"
            "\r\n\r\n");
        row("does another port show in the Host line?", HttpMethodGet, "/x", 8080, {},
            "GET /x HTTP/1.1\r\nHost: cam:8080\r\n\r\n");
        row("is port 0 written too?", HttpMethodPost, "/", 0, {},
            "POST / HTTP/1.1\r\nHost: cam:0\r\n\r\n");
        row("is PUT spelt out?", HttpMethodPut, "/a", 80, {},
            "PUT /a HTTP/1.1\r\nHost: cam\r\n\r\n");
        row("is DELETE spelt out?", HttpMethodDelete, "/a", 80, {},
            "DELETE /a HTTP/1.1\r\nHost: cam\r\n\r\n");
        row("does an unknown method give an empty method text?", 9, "/a", 80, {},
            " /a HTTP/1.1\r\nHost: cam\r\n\r\n");
        row("are names sorted byte-wise: upper case first, a prefix before the longer?",
            HttpMethodGet, "/", 80,
            {{"accept", "5"}, {"Ab", "2"}, {"A", "1"}, {"\xc3\xa9", "6"}, {"X", "3"}},
            "GET / HTTP/1.1\r\nHost: cam\r\nA: 1\r\nAb: 2\r\nX: 3\r\naccept: 5\r\n\xc3\xa9: 6\r\n"
            "\r\n");
        row("is the path sent without escaping?", HttpMethodGet, "/a b?&-name=\xc3\xa9", 80, {},
            "GET /a b?&-name=\xc3\xa9 HTTP/1.1\r\nHost: cam\r\n\r\n");
    }

    void requestHead()
    {
        QFETCH(int, method);
        QFETCH(QByteArray, path);
        QFETCH(int, port);
        QFETCH(HeaderMap, headers);
        QFETCH(QByteArray, head);

        HttpRequest request;
        request.host = "cam";
        request.port = static_cast<std::uint16_t>(port);
        request.path = path.toStdString();
        request.headers = headers;
        std::string out = "before";
        HttpClient::BuildRequestHead(static_cast<HttpMethod>(method), request, out);
        QCOMPARE(bytes(out), "before" + head);

        // The version is the record's.
        request.version = "HTTP/1.0";
        out.clear();
        HttpClient::BuildRequestHead(static_cast<HttpMethod>(method), request, out);
        QCOMPARE(bytes(out), QByteArray(head).replace(" HTTP/1.1\r\n", " HTTP/1.0\r\n"));
    }

    void multipartBody()
    {
        MultipartForm form;
        form.boundary = "B";
        std::string out = "head";
        HttpClient::BuildMultipartBody(form, out);
        QCOMPARE(out, "head\r\n--B--\r\n"s);

        // Parts in key order with their headers sorted; an empty part keeps its
        // empty line; a body with a NUL byte stays whole.
        form.boundary = "xyz";
        form.parts[7].headers["Content-Type"] = "image/jpeg";
        form.parts[7].headers["Content-Disposition"] = "form-data; name=\"f\"; filename=\"a.jpg\"";
        form.parts[7].body = "\xff\xd8\r\n";
        form.parts[5].headers["Content-Type"] = "text/plain";
        form.parts[2].headers["Content-Disposition"] = "form-data; name=\"n\"";
        form.parts[2].body = "4\0002"s;
        out.clear();
        HttpClient::BuildMultipartBody(form, out);
        QCOMPARE(out, "--xyz\r\nContent-Disposition: form-data; name=\"n\"\r\n\r\n4\0002"
                      "\r\n--xyz\r\nContent-Type: text/plain\r\n\r\n"
                      "\r\n--xyz\r\nContent-Disposition: form-data; name=\"f\"; filename=\"a.jpg\""
                      "\r\nContent-Type: image/jpeg\r\n\r\n\xff\xd8\r\n\r\n--xyz--\r\n"s);
    }
};

QTEST_APPLESS_MAIN(TestHttpUrl)
#include "tst_httpurl.moc"
