// The window's link button, indicator and version fields against stand-in
// units on the device addresses. Runs only inside the private network.
#include "controlclientthread.h"
#include "deviceconfig.h"
#include "fakeunit.h"
#include "groundclientthread.h"
#include "mainwindow.h"
#include "screenshot.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QNetworkInterface>
#include <QPushButton>
#include <QtTest>

#include <cstdio>
#include <memory>

namespace {

QtMessageHandler previousHandler = nullptr;

// The channel threads log while test rows come and go; writing their lines
// straight to stderr keeps them out of the test logger's bookkeeping.
void printMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        return;
    }
    previousHandler(type, context, message);
}

const QString kLinkedLook = QStringLiteral("border:1px;background:transparent;color:green");
const QString kUnlinkedLook = QStringLiteral("border:1px;background:transparent;color:red");
const QStringList kVersionFields = {"lineEditHardType", "lineEditHardVer", "lineEditSoftVer",
                                    "lineEditProtocolVer", "lineEditBootVer"};

bool listenAt(FakeUnit& unit, const char* host)
{
    return unit.listen(QHostAddress(QString::fromLatin1(host)), merro::kUnitPort);
}

} // namespace

class TestLinkWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void linksWhenBothUnitsAnswer();
    void failsWhenAUnitIsDown_data();
    void failsWhenAUnitIsDown();
    void showsVersions_data();
    void showsVersions();
    void linkLossIgnoresReportsAndRelinkReusesChannels();
    void heartbeatsStopAndResume();
    void groundLossLeavesWindowAlone();
    void closesPromptly_data();
    void closesPromptly();

private:
    QLineEdit* field(const QString& name) const;
    QStringList versionTexts() const;
    void clickLink();
    int channelThreads() const;
    bool startUnits();

    std::unique_ptr<FakeUnit> control;
    std::unique_ptr<FakeUnit> ground;
    std::unique_ptr<MainWindow> window;
};

void TestLinkWindow::initTestCase()
{
    // The link button connects to the device addresses; they must be this
    // private network's own loopback addresses, with no way out.
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        const auto flags = interface.flags();
        if ((flags & QNetworkInterface::IsUp) && !(flags & QNetworkInterface::IsLoopBack))
            QFAIL(qPrintable("Not inside the private network: " + interface.name()));
    }
    const auto addresses = QNetworkInterface::allAddresses();
    QVERIFY(addresses.contains(QHostAddress(QString::fromLatin1(merro::kControlHost))));
    QVERIFY(addresses.contains(QHostAddress(QString::fromLatin1(merro::kGroundHost))));
    previousHandler = qInstallMessageHandler(printMessage);
}

void TestLinkWindow::cleanupTestCase()
{
    qInstallMessageHandler(previousHandler);
}

void TestLinkWindow::init()
{
    control = std::make_unique<FakeUnit>(0xAA);
    ground = std::make_unique<FakeUnit>(0xBB);
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestLinkWindow::cleanup()
{
    window.reset();
    control.reset();
    ground.reset();
}

QLineEdit* TestLinkWindow::field(const QString& name) const
{
    return window->findChild<QLineEdit*>(name);
}

QStringList TestLinkWindow::versionTexts() const
{
    QStringList texts;
    for (const QString& name : kVersionFields)
        texts << field(name)->text();
    return texts;
}

void TestLinkWindow::clickLink()
{
    QTest::mouseClick(window->findChild<QPushButton*>("pushButtonLinkMERRO"), Qt::LeftButton);
}

int TestLinkWindow::channelThreads() const
{
    return window->findChildren<ControlClientThread*>().size()
           + window->findChildren<GroundClientThread*>().size();
}

bool TestLinkWindow::startUnits()
{
    return listenAt(*control, merro::kControlHost) && listenAt(*ground, merro::kGroundHost);
}

void TestLinkWindow::linksWhenBothUnitsAnswer()
{
    QVERIFY(startUnits());
    clickLink();

    QLineEdit* indicator = field("lineEditLinkMERRO");
    QCOMPARE(indicator->text(), QStringLiteral("Link Success!"));
    QCOMPARE(indicator->styleSheet(), kLinkedLook);
    QCOMPARE(indicator->font().family(), QStringLiteral("Timers"));
    QCOMPARE(indicator->font().pointSize(), 14);
    QCOMPARE(indicator->font().weight(), 75);
    QVERIFY(!indicator->font().italic());
    QVERIFY(window->isLinked());

    const auto controls = window->findChildren<ControlClientThread*>();
    const auto grounds = window->findChildren<GroundClientThread*>();
    QCOMPARE(controls.size(), 1);
    QCOMPARE(grounds.size(), 1);
    QVERIFY(controls.first()->isRunning());
    QVERIFY(grounds.first()->isRunning());
    // One probe and one channel connection each.
    QTRY_COMPARE(control->acceptedCount(), 2);
    QTRY_COMPARE(ground->acceptedCount(), 2);

    clickLink();
    QTest::qWait(300);
    QCOMPARE(control->acceptedCount(), 2);
    QCOMPARE(ground->acceptedCount(), 2);
    QCOMPARE(channelThreads(), 2);
}

void TestLinkWindow::failsWhenAUnitIsDown_data()
{
    QTest::addColumn<bool>("groundUp");
    QTest::addColumn<bool>("controlUp");
    QTest::addColumn<int>("controlProbes");

    QTest::newRow("ground down: control is never probed") << false << true << 0;
    QTest::newRow("control down") << true << false << 0;
    QTest::newRow("both down") << false << false << 0;
}

void TestLinkWindow::failsWhenAUnitIsDown()
{
    QFETCH(bool, groundUp);
    QFETCH(bool, controlUp);
    QFETCH(int, controlProbes);

    if (groundUp)
        QVERIFY(listenAt(*ground, merro::kGroundHost));
    if (controlUp)
        QVERIFY(listenAt(*control, merro::kControlHost));
    clickLink();

    QLineEdit* indicator = field("lineEditLinkMERRO");
    QCOMPARE(indicator->text(), QStringLiteral("Link Fail!"));
    QCOMPARE(indicator->styleSheet(), kUnlinkedLook);
    QCOMPARE(indicator->font().family(), QStringLiteral("Timers"));
    QCOMPARE(indicator->font().pointSize(), 14);
    QCOMPARE(indicator->font().weight(), 75);
    QVERIFY(!window->isLinked());
    QCOMPARE(channelThreads(), 0);
    QTest::qWait(200);
    QCOMPARE(control->acceptedCount(), controlProbes);
    if (groundUp)
        QCOMPARE(ground->acceptedCount(), 1);
}

void TestLinkWindow::showsVersions_data()
{
    QTest::addColumn<int>("typeByte");
    QTest::addColumn<QList<int>>("versions");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("hundredths, trailing zeros dropped")
        << 3 << QList<int>{101, 250, 0, 65535}
        << QStringList{"v3", "v1.01", "v2.5", "v0", "v655.35"};
    QTest::newRow("type byte 0xFF is -1, whole versions")
        << 0xFF << QList<int>{100, 123, 1, 10}
        << QStringList{"v-1", "v1", "v1.23", "v0.01", "v0.1"};
    QTest::newRow("high bytes above 127 stay unsigned")
        << 0x80 << QList<int>{0x8000, 0xC8, 0x190, 9999}
        << QStringList{"v-128", "v327.68", "v2", "v4", "v99.99"};
}

void TestLinkWindow::showsVersions()
{
    QFETCH(int, typeByte);
    QFETCH(QList<int>, versions);
    QFETCH(QStringList, texts);

    QVERIFY(startUnits());
    clickLink();
    QVERIFY(window->isLinked());
    QTRY_COMPARE(control->acceptedCount(), 2);
    control->send(FakeUnit::versionReport(static_cast<unsigned char>(typeByte),
                                          static_cast<quint16>(versions.at(0)),
                                          static_cast<quint16>(versions.at(1)),
                                          static_cast<quint16>(versions.at(2)),
                                          static_cast<quint16>(versions.at(3))));
    QTRY_COMPARE(versionTexts(), texts);
}

void TestLinkWindow::linkLossIgnoresReportsAndRelinkReusesChannels()
{
    QVERIFY(startUnits());
    control->setHeartbeatInterval(300);
    ground->setHeartbeatInterval(300);
    clickLink();
    QTRY_VERIFY(control->received().size() >= 6);
    control->send(FakeUnit::versionReport(1, 100, 200, 300, 400));
    const QStringList shown{"v1", "v1", "v2", "v3", "v4"};
    QTRY_COMPARE(versionTexts(), shown);

    // The control unit drops the connection and stays silent on the next.
    control->setHeartbeatInterval(0);
    control->closeConnections();
    QLineEdit* indicator = field("lineEditLinkMERRO");
    QTRY_COMPARE(indicator->text(), QStringLiteral("Link Fail!"));
    QCOMPARE(indicator->styleSheet(), kUnlinkedLook);
    QVERIFY(!window->isLinked());
    QTRY_COMPARE_WITH_TIMEOUT(control->acceptedCount(), 3, 3000);
    QTRY_COMPARE(control->openCount(), 1);

    control->send(FakeUnit::versionReport(9, 900, 900, 900, 900));
    QTest::qWait(500);
    QCOMPARE(versionTexts(), shown);

    clickLink();
    QCOMPARE(indicator->text(), QStringLiteral("Link Success!"));
    QCOMPARE(indicator->styleSheet(), kLinkedLook);
    QVERIFY(window->isLinked());
    QCOMPARE(channelThreads(), 2);
    control->send(FakeUnit::versionReport(2, 200, 200, 200, 200));
    QTRY_COMPARE(versionTexts(), (QStringList{"v2", "v2", "v2", "v2", "v2"}));
}

void TestLinkWindow::heartbeatsStopAndResume()
{
    QVERIFY(startUnits());
    control->setHeartbeatInterval(1000);
    ground->setHeartbeatInterval(1000);
    clickLink();
    QTRY_VERIFY(control->received().size() >= 6);
    control->send(FakeUnit::versionReport(3, 101, 250, 100, 65535));
    const QStringList shown{"v3", "v1.01", "v2.5", "v1", "v655.35"};
    QTRY_COMPARE(versionTexts(), shown);
    saveScreenshot(window.get(), QStringLiteral("link_linked"));

    QElapsedTimer clock;
    clock.start();
    control->setHeartbeatInterval(0);
    QLineEdit* indicator = field("lineEditLinkMERRO");
    QTRY_COMPARE_WITH_TIMEOUT(indicator->text(), QStringLiteral("Link Fail!"), 8000);
    // Five to six ticks after the last heartbeat, which came up to a second
    // before they stopped.
    QVERIFY2(clock.elapsed() > 3500 && clock.elapsed() < 7500,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(indicator->styleSheet(), kUnlinkedLook);
    QVERIFY(!window->isLinked());
    QCOMPARE(versionTexts(), shown);
    saveScreenshot(window.get(), QStringLiteral("link_lost"));

    control->setHeartbeatInterval(1000);
    QTRY_COMPARE_WITH_TIMEOUT(indicator->text(), QStringLiteral("Link Success!"), 4000);
    QCOMPARE(indicator->styleSheet(), kLinkedLook);
    QVERIFY(window->isLinked());

    // Every heartbeat was answered with the same six bytes, by both channels,
    // and the ground channel kept its one connection throughout.
    QTRY_VERIFY(control->received().size() >= 2 * 6);
    QTRY_VERIFY(ground->received().size() >= (ground->heartbeatsSent() - 1) * 6);
    for (FakeUnit* unit : {control.get(), ground.get()}) {
        const QByteArray received = unit->received();
        QCOMPARE(received, FakeUnit::heartbeatReply().repeated(received.size() / 6));
    }
    QVERIFY(ground->heartbeatsSent() >= 5);
    QCOMPARE(ground->acceptedCount(), 2);
}

void TestLinkWindow::groundLossLeavesWindowAlone()
{
    QVERIFY(startUnits());
    control->setHeartbeatInterval(500);
    clickLink();
    QTRY_VERIFY(control->received().size() >= 6);
    control->send(FakeUnit::versionReport(4, 400, 400, 400, 400));
    const QStringList shown{"v4", "v4", "v4", "v4", "v4"};
    QTRY_COMPARE(versionTexts(), shown);

    ground->closeConnections();
    ground->stopListening();
    QTest::qWait(1500);
    QLineEdit* indicator = field("lineEditLinkMERRO");
    QCOMPARE(indicator->text(), QStringLiteral("Link Success!"));
    QCOMPARE(indicator->styleSheet(), kLinkedLook);
    QVERIFY(window->isLinked());
    QCOMPARE(versionTexts(), shown);
}

void TestLinkWindow::closesPromptly_data()
{
    QTest::addColumn<QString>("state");
    QTest::newRow("never linked") << "never";
    QTest::newRow("linked") << "linked";
    QTest::newRow("units gone after linking") << "gone";
    QTest::newRow("link lost, control connected but silent") << "lost";
}

void TestLinkWindow::closesPromptly()
{
    QFETCH(QString, state);

    if (state != QLatin1String("never")) {
        QVERIFY(startUnits());
        control->setHeartbeatInterval(300);
        ground->setHeartbeatInterval(300);
        clickLink();
        QTRY_VERIFY(control->received().size() >= 6);
        QTRY_VERIFY(ground->received().size() >= 6);
    }
    if (state == QLatin1String("gone")) {
        for (FakeUnit* unit : {control.get(), ground.get()}) {
            unit->stopListening();
            unit->closeConnections();
        }
        QTRY_VERIFY(!window->isLinked());
    } else if (state == QLatin1String("lost")) {
        control->setHeartbeatInterval(0);
        control->closeConnections();
        QTRY_VERIFY(!window->isLinked());
        QTRY_COMPARE(control->openCount(), 1);
    }
    QTest::qWait(300);

    QElapsedTimer clock;
    clock.start();
    window->close();
    window.reset();
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
}

QTEST_MAIN(TestLinkWindow)
#include "tst_linkwindow.moc"
