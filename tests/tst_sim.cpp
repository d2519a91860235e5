// What the simulated device promises that no test of the tool can see: one
// frame per receive, wrong replies counted, nothing served outside the card.
// Runs inside the private network namespace.

#include "simdevice.h"

#include <QTcpSocket>
#include <QTemporaryFile>

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
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
            QTcpSocket camera;
            camera.connectToHost(qEnvironmentVariable("MERRO_CAMERA_HOST"), 80);
            QVERIFY(camera.waitForConnected(3000));
            camera.write("GET " + target + " HTTP/1.1\r\nConnection: close\r\n\r\n");
            while (camera.waitForReadyRead(3000)) {
            }
            QVERIFY2(camera.readAll().startsWith("HTTP/1.1 403"), target.constData());
        }
        QVERIFY(outside.exists());
    }

private:
    SimDevice sim;
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
