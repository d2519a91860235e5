// The window's link against the simulated device, end to end. Runs inside
// the private network only.
#include "mainwindow.h"

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include <utility>

class TestLinkSim : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        if (sim.state() == QProcess::NotRunning)
            return;
        sim.write("quit\n");
        if (!sim.waitForFinished(3000))
            sim.kill();
    }

    void linkFollowsTheSimulatedDevice();

private:
    // Sends one command; false unless the simulator takes it in time.
    bool command(const QByteArray& line)
    {
        const int from = output.size();
        sim.write(line + '\n');
        return QTest::qWaitFor([&] { return output.indexOf("sim: ok " + line, from) >= 0; }, 3000);
    }
    // The good and bad heartbeat replies the simulated unit has counted.
    std::pair<int, int> replyCounts(const char* unit)
    {
        const int from = output.size();
        if (!command("stats"))
            return {-1, -1};
        const QRegularExpression counts(QString::fromLatin1(unit) + " good=(\\d+) bad=(\\d+)");
        const auto match = counts.match(QString::fromLatin1(output.mid(from)));
        return {match.captured(1).toInt(), match.captured(2).toInt()};
    }

    QByteArray output;
    QProcess sim;
};

void TestLinkSim::linkFollowsTheSimulatedDevice()
{
    const QString program = qEnvironmentVariable("MERRO_SIM");
    if (program.isEmpty())
        QSKIP("The simulated device is not built");
    connect(&sim, &QProcess::readyReadStandardOutput, this,
            [this] { output += sim.readAllStandardOutput(); });
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(program, {"--camera", "off", "--interval", "500", "--version-interval", "500",
                        "--version", "-1,101,250,0,65535"});
    QVERIFY(sim.waitForStarted());
    QTRY_VERIFY(output.contains("sim: ready"));

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const auto text = [&](const char* name) { return window.findChild<QLineEdit*>(name)->text(); };
    const auto versionTexts = [&] {
        return QStringList{text("lineEditHardType"), text("lineEditHardVer"),
                           text("lineEditSoftVer"), text("lineEditProtocolVer"),
                           text("lineEditBootVer")};
    };
    QTest::mouseClick(window.findChild<QPushButton*>("pushButtonLinkMERRO"), Qt::LeftButton);
    QCOMPARE(text("lineEditLinkMERRO"), QStringLiteral("Link Success!"));
    QTRY_COMPARE(versionTexts(), (QStringList{"v-1", "v1.01", "v2.5", "v0", "v655.35"}));

    // Frames the channels must pass over: unknown commands, the other unit's
    // start byte, noise, and a heartbeat with a report behind it.
    QVERIFY(command("control frames junk"));
    QVERIFY(command("ground frames junk"));
    QTest::qWait(1500);
    QVERIFY(command("control frames double"));
    QTest::qWait(1500);
    QCOMPARE(text("lineEditLinkMERRO"), QStringLiteral("Link Success!"));
    // Every heartbeat was answered with the right bytes, by both channels.
    for (const char* unit : {"control", "ground"}) {
        const auto [good, bad] = replyCounts(unit);
        const QString counts = QStringLiteral("%1: good=%2 bad=%3").arg(unit).arg(good).arg(bad);
        QVERIFY2(good >= 5 && bad == 0, qPrintable(counts));
    }

    // The control unit goes away: red until it is back.
    QVERIFY(command("control listen off"));
    QVERIFY(command("control drop"));
    QTRY_COMPARE(text("lineEditLinkMERRO"), QStringLiteral("Link Fail!"));
    QVERIFY(!window.isLinked());
    QTest::qWait(1500);
    QCOMPARE(text("lineEditLinkMERRO"), QStringLiteral("Link Fail!"));
    QVERIFY(command("control listen on"));
    QTRY_COMPARE_WITH_TIMEOUT(text("lineEditLinkMERRO"), QStringLiteral("Link Success!"), 4000);
    QVERIFY(window.isLinked());
}

QTEST_MAIN(TestLinkSim)
#include "tst_linksim.moc"
