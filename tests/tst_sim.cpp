// What the simulated device promises that no test of the tool can see: one
// frame per receive, wrong replies counted, nothing served outside the card, byte
// ranges, overlapping camera requests counted, each fault mode's reply as --help
// tells it, card files grown, dated and named in raw bytes as commanded. Runs
// inside the private network namespace.

#include "simdevice.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTemporaryFile>

#include <algorithm>

namespace {

// One row per fault mode of sim/camerafaults.cpp: a count (16-byte body) or a
// file (R.MP4, 1000 bytes) requested under it, the reply's head and body, and
// the least time the whole reply takes. A mode without a row fails the test.
struct FaultCase
{
    const char* mode;
    const char* fault; // the rest of "camera fault ... once"
    bool file;
    const char* head;  // matched from the status line on
    int body;          // bytes after the head; -1: no end of head
    int leastMs;
};

const FaultCase kFaultCases[] = {
    {"none", "none", false, "200 OK\r\n.*Content-Length: 16\r\n", 16, 0},
    {"close-early", "close-early file", true, "200 OK\r\n.*Content-Length: 1000\r\n", 500, 0},
    {"stall", "stall count", false, "", -1, 0},
    {"hangup", "hangup count", false, "", -1, 0},
    {"404", "404 count", false, "404 Not Found\r\n.*Content-Length: 91\r\n", 91, 0},
    {"refuse", "refuse count", false, "200 OK\r\n.*: 8\r\n.*\n\r\nFailed\r\n$", 8, 0},
    {"no-length", "no-length count", false, "200 OK\r\n(?!.*Content-Length).*close\r\n", 16, 0},
    {"chunked", "chunked count", false,
     "200 OK\r\n.*chunked\r\n.*\n1\r\nv\r\n7\r\nar coun\r\n8\r\nt=\"1\";\r\n\r\n0\r\n\r\n$",
     36, 0},
    {"drip", "drip=400 file", true, "200 OK\r\n.*: 1000\r\n", 1000, 40},
    {"big-header", "big-header=9000 count", false,
     "200 OK\r\n.*\nX-Filler-1: x{8000}\r\nX-Filler-2: x{1000}\r\n", 16, 0},
    {"trickle", "trickle=1 count", false, "200 OK\r\n.*: 16\r\n", 16, 100},
    {"endless-header", "endless-header=40 count", false,
     "200 OK\r\nServer: devicesim\r\nX-Endless-1: e{25}\r\nX-Endless-2: e{25}\r\n", -1, 0},
    {"extra-bytes", "extra-bytes=5 count", false, "200 OK\r\n.*: 16\r\n.*XXXXX$", 21, 0},
    {"close-delimited", "close-delimited=4 count", false,
     "200 OK\r\n(?!.*Content-Length).*close\r\n", 16, 9},
    {"cut", "cut=7 file", true, "200 OK\r\n.*: 1000\r\n", 7, 0},
    {"short-close", "short-close file", true,
     "200 OK\r\n(?!.*Content-Length)(?!.*Transfer-Encoding).*close\r\n\r\nabc", 500, 0},
};

const QDateTime kRecorded(QDate(2025, 3, 30), QTime(2, 30), Qt::UTC);

QByteArray details(const QByteArray& created, int size)
{
    return "var create=\"" + created + "\";\r\nvar size=\"" + QByteArray::number(size)
           + "\";\r\nvar time=\"0\";\r\n";
}

} // namespace

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFile file(QDir(sim.cardPath()).filePath("R.MP4"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == 1000);
        QVERIFY(sim.start({"--exit-on-eof", "--interval", "300", "--gap", "300"}));
    }

    void framesComeOneByOne()
    {
        // On connect a version report and a heartbeat are due at once; the wide gap keeps
        // them apart even for a slow reader.
        QTcpSocket unit;
        unit.connectToHost(qEnvironmentVariable("MERRO_CONTROL_HOST"), 5000);
        QVERIFY(unit.waitForConnected(3000));
        QList<int> sizes;
        while (sizes.size() < 2 && unit.waitForReadyRead(3000)) {
            QThread::msleep(30); // lets anything sent right behind pile up
            sizes << unit.readAll().size();
        }
        QCOMPARE(sizes, (QList<int>{14, 6}));

        unit.write(QByteArray::fromHex("aaaf0401015e"));
        QVERIFY(sim.waitFor("aaaf0401015e good=0 bad=1"));
    }

    void cameraServesNothingOutsideTheCard()
    {
        QTemporaryFile outside(QDir(sim.cardPath()).filePath("../outside-XXXXXX"));
        QVERIFY(outside.open());
        const QByteArray name = QFileInfo(outside).fileName().toUtf8();
        const QByteArray remove = "/cgi-bin/hi3510/deletefile.cgi?&-name=sd/DCIM/100TQCAM/..";
        for (const QByteArray& target :
             {"/sd/DCIM/100TQCAM/../" + name, remove + '/' + name, remove + '\\' + name}) {
            const QByteArray reply = fetch("GET " + target + " HTTP/1.0\r\n\r\n");
            QVERIFY2(reply.startsWith("HTTP/1.1 403"), target.constData());
        }
        QVERIFY(outside.exists());
    }

    void cameraServesRangesOneRequestAtATime()
    {
        const struct { const char* command; const char* range; const char* head; int from, size; }
            cases[] = {
                {"range on", "range:bytes=100-", "206 .*: 900\r\n.* 100-999/1000\r", 100, 900},
                {"range on", "Range: bytes=10-19", "206 .*: 10\r\n.* 10-19/1000\r", 10, 10},
                {"range on", "Range: bytes=1000-", "416 .*: bytes \\*/1000\r", -1, 0},
                {"fault cut=30 file once", "Range: bytes=100-", "206 .*: 900\r\n.* 100-", 100, 30},
                {"range ignore", "Range: bytes=100-", "200 .*: 1000\r\n", 0, 1000},
                {"range wrong", "Range: bytes=100-", "206 .*: 899\r\n.* 101-999/1000\r", 101, 899},
            };
        int total = 0;
        for (const auto& c : cases) {
            QVERIFY(sim.command(QByteArray("camera ") + c.command));
            const QByteArray reply = fetch(QByteArray("GET /sd/DCIM/100TQCAM/R.MP4 HTTP/1.0\r\n")
                                           + c.range + "\r\n\r\n");
            const QRegularExpression head(QString("(?s)^HTTP/1.1 ") + c.head);
            QVERIFY2(head.match(reply).hasMatch(), c.range);
            const QByteArray body = reply.mid(reply.indexOf("\r\n\r\n") + 4);
            QVERIFY2(c.from < 0 || body == content.mid(c.from, c.size), c.range);
            total += c.size;
        }

        // The first request still waits for its reply when the second one arrives.
        const QByteArray count = "GET /cgi-bin/hi3510/getfilecount.cgi? HTTP/1.0\r\n\r\n";
        QVERIFY(sim.command("camera latency 300"));
        const int from = sim.output.size();
        QTcpSocket first;
        first.connectToHost(qEnvironmentVariable("MERRO_CAMERA_HOST"), 80);
        QVERIFY(first.write(count) > 0 && sim.waitFor("camera: GET", from));
        QVERIFY(fetch(count).endsWith("var count=\"1\";\r\n") && sim.command("stats"));
        QVERIFY(sim.waitFor(" filebytes=" + QByteArray::number(total) + " overlaps=1\n", from));
    }

    void faultModeRepliesAsHelpTells_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(kFaultCases)); ++i)
            QTest::newRow(kFaultCases[i].mode) << i;
    }

    void faultModeRepliesAsHelpTells()
    {
        QFETCH(int, index);
        const FaultCase& c = kFaultCases[index];
        QVERIFY(sim.command("camera latency 0"));
        QVERIFY(sim.command(QByteArray("camera fault ") + c.fault + " once"));
        QElapsedTimer clock;
        clock.start();
        const QByteArray target = c.file ? "/sd/DCIM/100TQCAM/R.MP4"
                                         : "/cgi-bin/hi3510/getfilecount.cgi?";
        bool closed = false;
        const QByteArray reply = fetch("GET " + target + " HTTP/1.0\r\n\r\n", &closed,
                                       c.body < 0 ? 500 : 3000, 65536);
        QVERIFY2(clock.elapsed() >= c.leastMs, QByteArray::number(clock.elapsed()));
        if (!*c.head) {
            // Nothing at all: a stall keeps the connection, a hangup closes it.
            QCOMPARE(reply, QByteArray());
            QCOMPARE(closed, c.mode == QByteArray("hangup"));
            return;
        }
        const QRegularExpression head(QString("(?s)^HTTP/1.1 ") + c.head);
        QVERIFY2(head.match(reply).hasMatch(), reply.left(300).constData());
        const int end = reply.indexOf("\r\n\r\n");
        QCOMPARE(end < 0 ? -1 : reply.size() - end - 4, c.body);
        QCOMPARE(closed, c.body >= 0);
    }

    // Each mode --help names has a row above, and the next request is served as usual.
    void everyFaultModeHasARow()
    {
        QProcess help;
        help.start(SimDevice::program(), {"--help"});
        QVERIFY(help.waitForFinished(5000));
        const QByteArray text = help.readAllStandardOutput();
        QStringList modes;
        for (const QByteArray& line : text.mid(text.indexOf("\nFault modes:\n")).split('\n'))
            if (line.startsWith("  ") && line[2] != ' ')
                modes << line.mid(2).split(' ').first().split('=').first().split('[').first();
        QStringList rows;
        for (const FaultCase& c : kFaultCases)
            rows << c.mode;
        QCOMPARE(modes, rows);
        bool closed = false;
        QVERIFY(fetch("GET /cgi-bin/hi3510/getfilecount.cgi? HTTP/1.0\r\n\r\n", &closed)
                    .endsWith("\r\n\r\nvar count=\"1\";\r\n"));
    }

    // Every change is seen by the bytes a file is listed under, and by a range.
    void cardFilesChangeAsCommanded()
    {
        QByteArray grown = content;
        for (int at = 1000; at < 1500; ++at)
            grown += char(at % 251);
        QVERIFY(sim.command("camera range on") && sim.command("camera latency 0"));
        QVERIFY(put("G.MP4", content) && put("K.MP4", content.left(200))
                && put("U.MP4", content.left(300)));
        const QByteArray utf8 = "B\xc3\xa9.MP4";
        const QByteArray gbk = "\xc2\xbc\xcf\xf1.MP4";
        const QByteArray file = "/sd/DCIM/100TQCAM/";
        const QByteArray info = "/cgi-bin/hi3510/getfileinfo.cgi?&-name=sd/DCIM/100TQCAM/";
        const QByteArray remove = "/cgi-bin/hi3510/deletefile.cgi?&-name=sd/DCIM/100TQCAM/";
        const QByteArray all = "G.MP4 K.MP4 R.MP4 U.MP4";
        const QByteArray dated = "20250330023000";
        const struct
        {
            QByteArray command; // after "camera "
            QByteArray target;
            QByteArray range; // a header line
            const char* head;
            QByteArray body; // null: not checked
            QByteArray disk; // the card folder afterwards
            QByteArray log;  // a line, '*' standing for the connection number
        } steps[] = {
            {"grow G.MP4 500", file + "G.MP4", "", "200 .*: 1500\r\n", grown, all,
             "camera: grew G.MP4 to 1500 bytes"},
            {"", file + "G.MP4", "Range: bytes=1200-\r\n", "206 .*: 300\r\n.* 1200-1499/1500\r\n",
             grown.mid(1200), all, "camera: served file #* G.MP4 bytes 1200-1499/1500"},
            {"", info + "G.MP4", "", "200 ", details(dated, 1500), all, ""},
            {"time G.MP4 2025-13-99\\x20x", info + "G.MP4", "", "200 ",
             details("2025-13-99 x", 1500), all, ""},
            {"", info + "G.MP4", "", "200 ", details("2025-13-99 x", 1500), all, ""},
            {"time G.MP4 off", info + "G.MP4", "", "200 ", details(dated, 1500), all, ""},
            {"name U.MP4 B\\xc3\\xa9.MP4", file + utf8, "", "200 .*: 300\r\n",
             content.left(300), all, "camera: served file #* " + utf8 + " 300 bytes"},
            {"name K.MP4 \\xc2\\xbc\\xcf\\xf1.MP4", "/cgi-bin/hi3510/getfilelist.cgi?", "",
             "200 ", "sd/DCIM/100TQCAM/" + utf8 + ";sd/DCIM/100TQCAM/G.MP4;"
             "sd/DCIM/100TQCAM/R.MP4;sd/DCIM/100TQCAM/" + gbk + ";\r\n", all, ""},
            {"", file + gbk, "Range: bytes=50-\r\n", "206 .*: 150\r\n.* 50-199/200\r\n",
             content.mid(50, 150), all, "camera: served file #* " + gbk + " bytes 50-199/200"},
            {"", info + gbk, "", "200 ", details(dated, 200), all,
             "camera: served info #* " + gbk},
            {"", file + "K.MP4", "", "404 ", {}, all, "camera: no such file #* K.MP4"},
            {"fault refuse delete once", remove + utf8, "", "200 .*: 8\r\n", "Failed\r\n", all,
             "camera: fault refuse #*"},
            {"", remove + utf8, "", "200 ", "Success\r\n", "G.MP4 K.MP4 R.MP4",
             "camera: deleted #* " + utf8},
            {"name K.MP4 off", file + "K.MP4", "", "200 .*: 200\r\n", content.left(200),
             "G.MP4 K.MP4 R.MP4", ""},
            {"name G.MP4 X.MP4", "/cgi-bin/hi3510/deleteallfiles.cgi?", "", "200 ",
             "Success\r\n", "", "camera: deleted all #* 3 files"},
        };
        for (const auto& step : steps) {
            const int from = sim.output.size();
            QVERIFY(step.command.isEmpty() || sim.command("camera " + step.command));
            const QByteArray reply =
                fetch("GET " + step.target + " HTTP/1.0\r\n" + step.range + "\r\n");
            const QRegularExpression head(QString("(?s)^HTTP/1.1 ") + step.head);
            QVERIFY2(head.match(reply).hasMatch(), step.target.constData());
            const QByteArray body = reply.mid(reply.indexOf("\r\n\r\n") + 4);
            QVERIFY2(step.body.isNull() || body == step.body, step.target.constData());
            QCOMPARE(QDir(sim.cardPath()).entryList(QDir::Files).join(' ').toUtf8(), step.disk);
            const QList<QByteArray> parts = step.log.split('*');
            const auto logged = [&] {
                for (const QByteArray& line : sim.lines(parts[0], from))
                    if (line.endsWith(parts.value(1)))
                        return true;
                return false;
            };
            QVERIFY2(step.log.isEmpty() || QTest::qWaitFor(logged), step.log.constData());
        }
        // Delete all took the given name with it.
        QVERIFY(put("G.MP4", content));
        QVERIFY(fetch("GET /cgi-bin/hi3510/getfilelist.cgi? HTTP/1.0\r\n\r\n")
                    .endsWith("\r\n\r\nsd/DCIM/100TQCAM/G.MP4;\r\n"));
    }

private:
    // A card file recorded at kRecorded.
    bool put(const QString& name, const QByteArray& bytes)
    {
        QFile file(QDir(sim.cardPath()).filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()
               && file.flush() && file.setFileTime(kRecorded, QFileDevice::FileModificationTime);
    }

    // One request on a connection of its own; the reply, up to the close, a
    // quiet spell or maxBytes.
    static QByteArray fetch(const QByteArray& request, bool* closed = nullptr,
                            int quietMs = 3000, int maxBytes = -1)
    {
        QTcpSocket camera;
        camera.connectToHost(qEnvironmentVariable("MERRO_CAMERA_HOST"), 80);
        camera.write(request);
        QByteArray reply;
        // The first bytes may take a while on a loaded machine; a quiet spell
        // counts only after them.
        while ((maxBytes < 0 || reply.size() < maxBytes)
               && camera.waitForReadyRead(reply.isEmpty() ? std::max(quietMs, 3000) : quietMs))
            reply += camera.readAll();
        reply += camera.readAll();
        if (closed)
            *closed = camera.state() != QAbstractSocket::ConnectedState;
        return reply;
    }

    SimDevice sim;
    const QByteArray content = QByteArray("abcdefghijklmnopqrstuvw").repeated(44).left(1000);
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
