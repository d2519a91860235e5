// The window's link button, indicator and version fields against stand-in
// units on the device addresses. Runs only inside the private network.
#include "controlclientthread.h"
#include "deviceconfig.h"
#include "fakeunit.h"
#include "groundclientthread.h"
#include "mainwindow.h"
#include "screenshot.h"

#include <QLineEdit>
#include <QNetworkInterface>
#include <QPushButton>
#include <QtTest>

#include <cstdio>
#include <memory>

namespace {

QtMessageHandler previousHandler = nullptr;

// The channel threads log while tests come and go; writing their lines
// straight to stderr keeps them out of the test logger's bookkeeping.
void printMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
    else
        previousHandler(type, context, message);
}

// The indicator's text, style sheet and font, and the window's link flag.
const QString kLinked = QStringLiteral(
    "Link Success!|border:1px;background:transparent;color:green|Timers 14 75 upright|linked");
const QString kUnlinked = QStringLiteral(
    "Link Fail!|border:1px;background:transparent;color:red|Timers 14 75 upright|not linked");

} // namespace

class TestLinkWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }
    void init();
    void cleanup();

    void linksWhenBothUnitsAnswer();
    void failsWhenAUnitIsDown();
    void followsTheControlUnit();

private:
    bool startUnits()
    {
        return control->listen(QHostAddress(merro::kControlHost), merro::kUnitPort)
               && ground->listen(QHostAddress(merro::kGroundHost), merro::kUnitPort);
    }
    void clickLink()
    {
        QTest::mouseClick(window->findChild<QPushButton*>("pushButtonLinkMERRO"), Qt::LeftButton);
    }
    QString linkState() const;
    QStringList versionTexts() const;
    QList<int> channels() const;

    std::unique_ptr<FakeUnit> control;
    std::unique_ptr<FakeUnit> ground;
    std::unique_ptr<MainWindow> window;
};

void TestLinkWindow::initTestCase()
{
    // The link button connects to the device addresses; they must be this
    // private network's own loopback addresses, with no way out.
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if ((flags & QNetworkInterface::IsUp) && !(flags & QNetworkInterface::IsLoopBack))
            QFAIL(qPrintable("Not inside the private network: " + interface.name()));
    }
    const auto addresses = QNetworkInterface::allAddresses();
    QVERIFY(addresses.contains(QHostAddress(merro::kControlHost)));
    QVERIFY(addresses.contains(QHostAddress(merro::kGroundHost)));
    previousHandler = qInstallMessageHandler(printMessage);
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
    // Each test leaves the link in a state of its own: closing the window
    // must stop the channel threads promptly in every one.
    QElapsedTimer clock;
    clock.start();
    window->close();
    window.reset();
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
}

QString TestLinkWindow::linkState() const
{
    const auto* indicator = window->findChild<QLineEdit*>("lineEditLinkMERRO");
    const QFont font = indicator->font();
    return QStringLiteral("%1|%2|%3 %4 %5 %6|%7")
        .arg(indicator->text(), indicator->styleSheet(), font.family(),
             QString::number(font.pointSize()), QString::number(font.weight()),
             font.italic() ? QStringLiteral("italic") : QStringLiteral("upright"),
             window->isLinked() ? QStringLiteral("linked") : QStringLiteral("not linked"));
}

QStringList TestLinkWindow::versionTexts() const
{
    QStringList texts;
    for (const char* name : {"lineEditHardType", "lineEditHardVer", "lineEditSoftVer",
                             "lineEditProtocolVer", "lineEditBootVer"})
        texts << window->findChild<QLineEdit*>(name)->text();
    return texts;
}

// The window's control and ground channel threads, and how many of them run.
QList<int> TestLinkWindow::channels() const
{
    int running = 0;
    for (const QThread* thread : window->findChildren<QThread*>())
        running += thread->isRunning() ? 1 : 0;
    return {window->findChildren<ControlClientThread*>().size(),
            window->findChildren<GroundClientThread*>().size(), running};
}

void TestLinkWindow::linksWhenBothUnitsAnswer()
{
    QVERIFY(startUnits());
    clickLink();
    QCOMPARE(linkState(), kLinked);
    QCOMPARE(channels(), (QList<int>{1, 1, 2}));
    // One probe and one channel connection each.
    QTRY_COMPARE(control->accepted, 2);
    QTRY_COMPARE(ground->accepted, 2);

    // Once linked, a click probes nothing and starts nothing.
    clickLink();
    QTest::qWait(300);
    QCOMPARE(control->accepted, 2);
    QCOMPARE(ground->accepted, 2);
    QCOMPARE(channels(), (QList<int>{1, 1, 2}));
}

void TestLinkWindow::failsWhenAUnitIsDown()
{
    // Ground down: the control unit is not even probed.
    QVERIFY(control->listen(QHostAddress(merro::kControlHost), merro::kUnitPort));
    clickLink();
    QCOMPARE(linkState(), kUnlinked);
    QTest::qWait(200);
    QCOMPARE(control->accepted, 0);

    control->stopListening();
    QVERIFY(ground->listen(QHostAddress(merro::kGroundHost), merro::kUnitPort));
    clickLink();
    QCOMPARE(linkState(), kUnlinked);
    QTRY_COMPARE(ground->accepted, 1);
    QCOMPARE(channels(), (QList<int>{0, 0, 0}));
}

void TestLinkWindow::followsTheControlUnit()
{
    QVERIFY(startUnits());
    control->setHeartbeatInterval(1000);
    ground->setHeartbeatInterval(1000);
    clickLink();
    QTRY_VERIFY(control->received.size() >= 6);
    control->send(FakeUnit::versionReport({3, 101, 250, 0, 65535}));
    const QStringList shown{"v3", "v1.01", "v2.5", "v0", "v655.35"};
    QTRY_COMPARE(versionTexts(), shown);
    saveScreenshot(window.get(), QStringLiteral("link_linked"));

    // Heartbeats stop: red five to six ticks after the last one, which came
    // up to a second before; the versions stay. Green again when they resume.
    QElapsedTimer clock;
    clock.start();
    control->setHeartbeatInterval(0);
    QTRY_COMPARE_WITH_TIMEOUT(linkState(), kUnlinked, 8000);
    QVERIFY2(clock.elapsed() > 3500 && clock.elapsed() < 7500,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(versionTexts(), shown);
    saveScreenshot(window.get(), QStringLiteral("link_lost"));
    control->setHeartbeatInterval(1000);
    QTRY_COMPARE_WITH_TIMEOUT(linkState(), kLinked, 4000);

    // The unit drops the connection and stays silent on the next: reports
    // are not shown while unlinked, and a link command reuses the channels.
    control->setHeartbeatInterval(0);
    control->closeConnections();
    QTRY_COMPARE(linkState(), kUnlinked);
    QTRY_COMPARE_WITH_TIMEOUT(control->accepted, 4, 3000);
    QTRY_COMPARE(control->openCount(), 1);
    control->send(FakeUnit::versionReport({9, 900, 900, 900, 900}));
    QTest::qWait(500);
    QCOMPARE(versionTexts(), shown);
    clickLink();
    QCOMPARE(linkState(), kLinked);
    QCOMPARE(channels(), (QList<int>{1, 1, 2}));
    control->send(FakeUnit::versionReport({0xFF, 100, 123, 1, 10}));
    QTRY_COMPARE(versionTexts(), (QStringList{"v-1", "v1", "v1.23", "v0.01", "v0.1"}));

    // Every heartbeat was answered with the same six bytes, by both channels,
    // and the ground channel kept its one connection beside the two probes.
    QTRY_VERIFY(ground->received.size() >= (ground->heartbeatsSent - 1) * 6);
    for (FakeUnit* unit : {control.get(), ground.get()})
        QCOMPARE(unit->received, FakeUnit::heartbeatReply().repeated(unit->received.size() / 6));
    QVERIFY(control->received.size() >= 2 * 6);
    QVERIFY(ground->heartbeatsSent >= 5);
    QCOMPARE(ground->accepted, 3);

    // The ground unit going away leaves the window alone.
    ground->closeConnections();
    ground->stopListening();
    QTest::qWait(1500);
    QCOMPARE(linkState(), kLinked);

    // Left lost, for the close.
    control->closeConnections();
    QTRY_COMPARE(linkState(), kUnlinked);
}

QTEST_MAIN(TestLinkWindow)
#include "tst_linkwindow.moc"
