// Every wait of the tool ends: units that stop reading, that are slow to let
// a connection in or let none in, and cameras that trickle or never end their
// head, all played by the simulated device. Runs inside the private network.
#include "controlclientthread.h"
#include "deviceconfig.h"
#include "httpclient.h"
#include "mainwindow.h"
#include "simdevice.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

Q_DECLARE_METATYPE(HttpFailure)

namespace {

const QString kLinked = QStringLiteral("Link Success!");
const QString kUnlinked = QStringLiteral("Link Fail!");
// The control channel gives a unit this long before it reports it lost.
constexpr int kLossBoundMs = (LinkChannel::kMaxSilentTicks + 1) * LinkChannel::kTickMs;
// Room for a loaded machine running the tests under a sanitizer.
constexpr int kMarginMs = 4000;

// The peak resident size of this process so far, in KiB.
long peakMemoryKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

QString indicator(const MainWindow& window)
{
    return window.findChild<QLineEdit*>(QStringLiteral("lineEditLinkMERRO"))->text();
}

void clickLink(MainWindow& window)
{
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("pushButtonLinkMERRO")),
                      Qt::LeftButton);
}

} // namespace

class TestBounds : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (SimDevice::program().isEmpty())
            QSKIP("The simulated device is not built");
    }

    void windowClosesWhileAUnitNeverReads();
    void indicatorFollowsUnitsThatAcceptLate_data();
    void indicatorFollowsUnitsThatAcceptLate();
    void cameraCallsEndInTime_data();
    void cameraCallsEndInTime();
};

void TestBounds::windowClosesWhileAUnitNeverReads()
{
    SimDevice sim;
    QVERIFY(sim.start({"--camera", "off"}));
    // The ground unit, which the window does not follow: a flooding control
    // unit would bury the window in link reports.
    QVERIFY(sim.command("ground flood on"));

    // Not owned until the checks pass: with a channel stuck in a send,
    // closing the window would never return.
    auto* window = new MainWindow;
    window->show();
    clickLink(*window);
    QCOMPARE(indicator(*window), kLinked);
    // Connection #1 is the probe. Once the flood stops moving, the channel's
    // replies are stuck: it must give up on the unit and come back.
    QVERIFY(sim.waitFor("ground: flood blocked #2 ", 0, 30000));
    QVERIFY(sim.waitFor("ground: closed #2 by peer", 0, 10000));
    QVERIFY(sim.waitFor("ground: flood blocked #3 ", 0, 30000));

    QElapsedTimer closing;
    closing.start();
    delete window;
    const qint64 closeMs = closing.elapsed();
    qInfo("window closed in %lld ms", closeMs);
    QVERIFY2(closeMs < 5000, qPrintable(QStringLiteral("%1 ms").arg(closeMs)));
}

void TestBounds::indicatorFollowsUnitsThatAcceptLate_data()
{
    QTest::addColumn<QByteArray>("accept");
    QTest::addColumn<bool>("staysLinked");
    QTest::newRow("does a unit that lets the channel in only on its SYN retry stay green?")
        << QByteArray("slow") << true;
    QTest::newRow("does a unit that lets nothing in after the probe turn red?")
        << QByteArray("none") << false;
}

void TestBounds::indicatorFollowsUnitsThatAcceptLate()
{
    QFETCH(QByteArray, accept);
    QFETCH(bool, staysLinked);
    SimDevice sim;
    QVERIFY(sim.start({"--camera", "off", "--interval", "500"}));
    QVERIFY(sim.command("control accept " + accept));

    MainWindow window;
    window.show();
    clickLink(window);
    QCOMPARE(indicator(window), kLinked);
    auto* control = window.findChild<ControlClientThread*>();
    QVERIFY(control);
    int losses = 0;
    connect(control, &ControlClientThread::updateLinkedFlag, this, [&](bool up) {
        losses += up ? 0 : 1;
    });

    QElapsedTimer clock;
    clock.start();
    if (staysLinked) {
        // Past the loss bound, every heartbeat answered and never a loss.
        QTRY_VERIFY_WITH_TIMEOUT(sim.stat("control", "good") * 500 > kLossBoundMs,
                                 kLossBoundMs + 2 * kMarginMs);
        QCOMPARE(sim.stat("control", "bad"), 0);
        QCOMPARE(losses, 0);
        QCOMPARE(indicator(window), kLinked);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(indicator(window), kUnlinked, kLossBoundMs + kMarginMs);
        qInfo("red after %lld ms", clock.elapsed());
        QVERIFY(!window.isLinked());
        QCOMPARE(sim.stat("control", "good"), 0);
    }
}

void TestBounds::cameraCallsEndInTime_data()
{
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<int>("deadlineMs");
    QTest::addColumn<HttpFailure>("failure");
    // Far below any per-receive time-out, yet the reply would take minutes.
    QTest::newRow("does a reply of a byte every 700 ms end at the deadline?")
        << QByteArray("trickle=700") << 1500 << HttpFailure::TimedOut;
    // The caps, not the deadline, have to stop these.
    QTest::newRow("does a head of short lines without end stop at a cap?")
        << QByteArray("endless-header=40") << 20000 << HttpFailure::BrokenReply;
    QTest::newRow("does a head of long lines without end stop at a cap?")
        << QByteArray("endless-header=65536") << 20000 << HttpFailure::BrokenReply;
}

void TestBounds::cameraCallsEndInTime()
{
    QFETCH(QByteArray, fault);
    QFETCH(int, deadlineMs);
    QFETCH(HttpFailure, failure);
    SimDevice sim;
    QVERIFY(sim.start({"--control", "off", "--ground", "off"}));

    HttpClient client;
    client.SetTimeouts(1000, deadlineMs);
    HttpRequest request;
    HttpResponse response;
    std::string body;
    const std::string url = std::string("http://") + merro::kCameraHost
                            + "/cgi-bin/hi3510/getfilecount.cgi?";
    // A healthy call first, so that what the client always allocates is in
    // the baseline.
    request.url = url;
    QVERIFY(client.Get(request, response, body));
    const long memoryBefore = peakMemoryKiB();

    QVERIFY(sim.command("camera fault " + fault));
    request = HttpRequest();
    request.url = url;
    response = HttpResponse();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!client.Get(request, response, body));
    const qint64 tookMs = clock.elapsed();
    qInfo("failed after %lld ms", tookMs);
    QCOMPARE(client.LastFailure(), failure);
    QVERIFY2(response.headers.size() <= 512, qPrintable(QString::number(response.headers.size())));
    if (failure == HttpFailure::TimedOut)
        QVERIFY2(tookMs >= deadlineMs - 100, qPrintable(QString::number(tookMs)));
    QVERIFY2(tookMs < deadlineMs + kMarginMs, qPrintable(QString::number(tookMs)));
    const long grownKiB = peakMemoryKiB() - memoryBefore;
    QVERIFY2(memoryBefore > 0 && grownKiB < 4096, qPrintable(QString::number(grownKiB)));
}

QTEST_MAIN(TestBounds)
#include "tst_bounds.moc"
