// The window's link against the simulated device, end to end. Runs inside
// the private network only.
#include "mainwindow.h"

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

class TestLinkSim : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void linksAndAnswersEveryHeartbeat();
    void stoppedUnitTurnsIndicatorRed();

private:
    bool command(const QByteArray& line);
    // Good and bad heartbeat replies the simulated unit has counted.
    bool replyCounts(const QByteArray& unit, int* good, int* bad);
    QString indicatorText() const;
    QStringList versionTexts() const;

    QProcess sim;
    QByteArray output;
    std::unique_ptr<MainWindow> window;
};

void TestLinkSim::init()
{
    const QString program = qEnvironmentVariable("MERRO_SIM");
    if (program.isEmpty())
        QSKIP("The simulated device is not built");
    output.clear();
    connect(&sim, &QProcess::readyReadStandardOutput, this,
            [this] { output += sim.readAllStandardOutput(); });
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(program, {"--camera", "off", "--interval", "500", "--version-interval", "500",
                        "--version", "-1,101,250,0,65535"});
    QVERIFY(sim.waitForStarted());
    QTRY_VERIFY(output.contains("sim: ready"));

    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestLinkSim::cleanup()
{
    window.reset();
    if (sim.state() != QProcess::NotRunning) {
        sim.write("quit\n");
        if (!sim.waitForFinished(3000))
            sim.kill();
    }
    sim.disconnect(this);
}

bool TestLinkSim::command(const QByteArray& line)
{
    const int from = output.size();
    sim.write(line + '\n');
    const QByteArray answer = "sim: ok " + line;
    QElapsedTimer clock;
    clock.start();
    while (output.indexOf(answer, from) < 0) {
        if (clock.elapsed() > 3000)
            return false;
        QTest::qWait(20);
    }
    return true;
}

bool TestLinkSim::replyCounts(const QByteArray& unit, int* good, int* bad)
{
    const int from = output.size();
    if (!command("stats"))
        return false;
    const QRegularExpression counts(QString::fromLatin1(unit)
                                    + QStringLiteral(" good=(\\d+) bad=(\\d+)"));
    const auto match = counts.match(QString::fromLatin1(output.mid(from)));
    if (!match.hasMatch())
        return false;
    *good = match.captured(1).toInt();
    *bad = match.captured(2).toInt();
    return true;
}

QString TestLinkSim::indicatorText() const
{
    return window->findChild<QLineEdit*>("lineEditLinkMERRO")->text();
}

QStringList TestLinkSim::versionTexts() const
{
    QStringList texts;
    for (const char* name : {"lineEditHardType", "lineEditHardVer", "lineEditSoftVer",
                             "lineEditProtocolVer", "lineEditBootVer"})
        texts << window->findChild<QLineEdit*>(name)->text();
    return texts;
}

void TestLinkSim::linksAndAnswersEveryHeartbeat()
{
    QTest::mouseClick(window->findChild<QPushButton*>("pushButtonLinkMERRO"), Qt::LeftButton);
    QCOMPARE(indicatorText(), QStringLiteral("Link Success!"));
    QTRY_COMPARE(versionTexts(), (QStringList{"v-1", "v1.01", "v2.5", "v0", "v655.35"}));

    // Frames the channels must pass over: unknown commands, the other unit's
    // start byte, noise, and a heartbeat with a report behind it.
    QVERIFY(command("control frames junk"));
    QVERIFY(command("ground frames junk"));
    QTest::qWait(1500);
    QVERIFY(command("control frames double"));
    QTest::qWait(1500);
    QCOMPARE(indicatorText(), QStringLiteral("Link Success!"));

    int good = 0;
    int bad = 0;
    QVERIFY(replyCounts("control", &good, &bad));
    QVERIFY2(good >= 5 && bad == 0, qPrintable(QStringLiteral("%1 %2").arg(good).arg(bad)));
    QVERIFY(replyCounts("ground", &good, &bad));
    QVERIFY2(good >= 5 && bad == 0, qPrintable(QStringLiteral("%1 %2").arg(good).arg(bad)));
}

void TestLinkSim::stoppedUnitTurnsIndicatorRed()
{
    QTest::mouseClick(window->findChild<QPushButton*>("pushButtonLinkMERRO"), Qt::LeftButton);
    QTRY_COMPARE(versionTexts(), (QStringList{"v-1", "v1.01", "v2.5", "v0", "v655.35"}));

    QVERIFY(command("control listen off"));
    QVERIFY(command("control drop"));
    QTRY_COMPARE(indicatorText(), QStringLiteral("Link Fail!"));
    QVERIFY(!window->isLinked());
    QTest::qWait(1500);
    QCOMPARE(indicatorText(), QStringLiteral("Link Fail!"));

    QVERIFY(command("control listen on"));
    QTRY_COMPARE_WITH_TIMEOUT(indicatorText(), QStringLiteral("Link Success!"), 4000);
    QVERIFY(window->isLinked());
}

QTEST_MAIN(TestLinkSim)
#include "tst_linksim.moc"
