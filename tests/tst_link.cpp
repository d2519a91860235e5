// The device link as the user sees it: the window's link button, indicator
// and version fields against the simulated device (the frames themselves are
// the link_frames fuzz target's). Runs inside the private network only.

#include "mainwindow.h"
#include "screenshot.h"
#include "simdevice.h"

#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>

#include <memory>

namespace {
// The indicator's text, style sheet and font, and the window's link flag.
const QString kLinked = "Link Success!|border:1px;background:transparent;color:green|"
                        "Timers,14,-1,5,75,0,0,0,0,0|1";
const QString kUnlinked = "Link Fail!|border:1px;background:transparent;color:red|"
                          "Timers,14,-1,5,75,0,0,0,0,0|0";

int openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size();
}

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The channels' connection log would only bury the test's own lines.
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
        QVERIFY(sim.start({"--exit-on-eof", "--interval", "500", "--do", "control reports off"}));
    }
    void init()
    {
        window = std::make_unique<MainWindow>();
        window->show();
    }
    void cleanup()
    {
        // Whatever each test left the link doing, closing stops the channels promptly.
        QElapsedTimer clock;
        clock.start();
        window.reset();
        QVERIFY2(clock.elapsed() < 1000 * MERRO_TIME_SCALE, QByteArray::number(clock.elapsed()));
    }

    void probes_data()
    {
        QTest::addColumn<QByteArray>("ground"); // how each unit listens
        QTest::addColumn<QByteArray>("control");
        QTest::newRow("does a ground unit that refuses fail the link, control unasked?")
            << QByteArray("off") << QByteArray("on");
        QTest::newRow("does a ground unit that never answers fail it within the probe's second?")
            << QByteArray("deaf") << QByteArray("on");
        QTest::newRow("does a control unit that refuses fail it?")
            << QByteArray("on") << QByteArray("off");
    }

    void probes()
    {
        QFETCH(QByteArray, ground);
        QFETCH(QByteArray, control);
        QVERIFY(sim.command("ground listen " + ground) && sim.command("control listen " + control));
        const int from = sim.output.size();
        const qint64 ms = clickLink();
        QCOMPARE(state(), kUnlinked);
        QCOMPARE(running(), 0);
        if (ground == "deaf")
            QVERIFY2(ms >= 900 && ms < 3000, QByteArray::number(ms));
        QVERIFY(sim.command("ground listen on") && sim.command("control listen on"));
        QCOMPARE(sim.lines("ground: accepted", from).size(), ground == "on" ? 1 : 0);
        QCOMPARE(sim.lines("control: accepted", from).size(), 0);
    }

    void versionTexts_data()
    {
        QTest::addColumn<QByteArray>("report"); // how the simulated control unit sends it
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("is 65535 shown as v655.35, 1 as v0.01?")
            << QByteArray("version 0,65535,1,10,123")
            << QStringList{"v0", "v655.35", "v0.01", "v0.1", "v1.23"};
        QTest::newRow("is a negative type shown with its sign?")
            << QByteArray("version -1,200,0,0,0") << QStringList{"v-1", "v2", "v0", "v0", "v0"};
        QTest::newRow("do the bytes a short report lacks read as zero?")
            << QByteArray("send aa00000002 01") << QStringList{"v2", "v2.56", "v0", "v0", "v0"};
    }

    void versionTexts()
    {
        QFETCH(QByteArray, report);
        QFETCH(QStringList, texts);
        QVERIFY(link());
        QVERIFY(sim.command("control " + report));
        QTRY_COMPARE(versions(), texts);
    }

    void linkFollowsTheControlUnit()
    {
        int from = sim.output.size();
        QVERIFY(link());
        QCOMPARE(running(), 2);
        // Every heartbeat of both units is answered with the right six bytes, for four seconds.
        QVERIFY(QTest::qWaitFor([&] {
            return sim.lines("control: reply good", from).size() >= 8
                   && sim.lines("ground: reply good", from).size() >= 8;
        }, 10000));
        QVERIFY(!sim.output.contains(": reply bad") && !sim.output.contains(": reply short"));
        // Once linked, a click probes nothing.
        from = sim.output.size();
        clickLink();
        QVERIFY(sim.waitFor("ground: reply good", from));
        QCOMPARE(sim.lines("ground: accepted", from).size(), 0);

        // Only the first frame of a receive counts: a report behind a heartbeat is not shown.
        QSignalSpy typeTexts(window->findChild<QLineEdit*>("lineEditHardType"),
                             &QLineEdit::textChanged);
        QVERIFY(sim.command("control send aa000400 aa000000 05 0100 0100 0100 0100"));
        // Shown as the examples read: 100 as v1, 101 as v1.01, 250 as v2.5.
        QVERIFY(sim.command("control version 6,100,101,250,0"));
        const QStringList shown{"v6", "v1", "v1.01", "v2.5", "v0"};
        QTRY_COMPARE(versions(), shown);
        QCOMPARE(typeTexts.size(), 1);
        saveScreenshot(window.get(), QStringLiteral("link_linked"));

        // Without heartbeats a connection is lost after five to six ticks, whether
        // reports still come (control) or nothing does (ground); the versions stay.
        QVERIFY(sim.command("control report-interval 300") && sim.command("control reports on"));
        QVERIFY(sim.command("control heartbeat off") && sim.command("ground heartbeat off"));
        from = sim.output.size();
        QElapsedTimer clock;
        clock.start();
        QTRY_COMPARE_WITH_TIMEOUT(state(), kUnlinked, 10000);
        // Not before: heartbeats until now must have kept it, the last up to 500 ms ago.
        QVERIFY2(clock.elapsed() > 4000, QByteArray::number(clock.elapsed()));
        QCOMPARE(versions(), shown);
        QVERIFY(accepted("control", from) && accepted("ground", from));
        // A report while unlinked is not shown; heartbeats bring the link back by themselves.
        QVERIFY(sim.command("control reports off") && sim.command("ground heartbeat on"));
        QVERIFY(sim.command("control version 9,900,900,900,900"));
        QVERIFY(sim.command("control heartbeat on"));
        QTRY_COMPARE(state(), kLinked);
        QCOMPARE(versions(), shown);

        // The unit drops the connection: red at once. A click while the new one is
        // silent links again with the channels that run.
        QVERIFY(sim.command("control heartbeat off"));
        from = sim.output.size();
        QVERIFY(sim.command("control drop"));
        QTRY_COMPARE(state(), kUnlinked);
        QVERIFY(accepted("control", from));
        clickLink();
        QCOMPARE(state(), kLinked);
        QCOMPARE(running(), 2);

        // New connections are paced, and the socket of every one that ended or
        // failed is closed.
        const int descriptors = openDescriptors();
        clock.restart();
        for (int i = 0; i < 3; ++i) {
            from = sim.output.size();
            QVERIFY(sim.command("control drop") && accepted("control", from));
        }
        QVERIFY2(clock.elapsed() > 1500, QByteArray::number(clock.elapsed()));
        QVERIFY(sim.command("control listen off") && sim.command("control drop"));
        from = sim.output.size();
        // Three seconds of refused attempts, counted in ground heartbeats.
        QVERIFY(QTest::qWaitFor([&] { return sim.lines("ground: reply good", from).size() >= 6; }));
        QVERIFY(sim.command("control listen on") && accepted("control", from));
        QVERIFY2(openDescriptors() <= descriptors,
                 qPrintable(QStringLiteral("%1 -> %2").arg(descriptors).arg(openDescriptors())));

        // Left on a silent connection just after a byte came, for the timed close.
        QVERIFY(sim.command("control send 07") && sim.waitFor("control: sent raw", from));
    }

private:
    qint64 clickLink()
    {
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(window->findChild<QPushButton*>("pushButtonLinkMERRO"), Qt::LeftButton);
        return clock.elapsed();
    }
    // Waits until the unit has accepted `count` connections since output byte `from`.
    bool accepted(const char* unit, int from, int count = 1)
    {
        const QByteArray line = QByteArray(unit) + ": accepted";
        return QTest::qWaitFor([&] { return sim.lines(line, from).size() >= count; }, 5000);
    }
    // Links, and waits for each channel's own connection after the probe's.
    bool link()
    {
        const int from = sim.output.size();
        clickLink();
        return state() == kLinked && accepted("control", from, 2) && accepted("ground", from, 2);
    }
    QString text(const char* name) const { return window->findChild<QLineEdit*>(name)->text(); }

    QString state() const
    {
        const auto* indicator = window->findChild<QLineEdit*>("lineEditLinkMERRO");
        return QStringList{indicator->text(), indicator->styleSheet(), indicator->font().toString(),
                           QString::number(window->isLinked())}
            .join('|');
    }

    QStringList versions() const
    {
        return {text("lineEditHardType"), text("lineEditHardVer"), text("lineEditSoftVer"),
                text("lineEditProtocolVer"), text("lineEditBootVer")};
    }

    // The window's threads that run: its control and ground channels.
    int running() const
    {
        int count = 0;
        for (const QThread* thread : window->findChildren<QThread*>())
            count += thread->isRunning() ? 1 : 0;
        return count;
    }

    SimDevice sim;
    std::unique_ptr<MainWindow> window;
};

QTEST_MAIN(TestLink)
#include "tst_link.moc"
