// What the simulated device promises that no test of the tool can see: one
// frame per receive, wrong replies counted, nothing served outside the card, byte
// ranges, overlapping camera requests counted. Runs inside the private network namespace.

#include "simdevice.h"

#include <QTcpSocket>
#include <QTemporaryFile>

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

private:
    // One request on a connection of its own; the reply, up to the close.
    static QByteArray fetch(const QByteArray& request)
    {
        QTcpSocket camera;
        camera.connectToHost(qEnvironmentVariable("MERRO_CAMERA_HOST"), 80);
        camera.write(request);
        while (camera.waitForReadyRead(3000)) {
        }
        return camera.readAll();
    }

    SimDevice sim;
    const QByteArray content = QByteArray("abcdefghijklmnopqrstuvw").repeated(44).left(1000);
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
