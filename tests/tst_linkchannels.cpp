// The two channel threads against stand-in units on 127.0.0.1.
#include "controlclientthread.h"
#include "fakeunit.h"
#include "groundclientthread.h"
#include "platformsocket.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QtTest>

#include <ctime>
#include <memory>
#include <mutex>

namespace {

constexpr unsigned char kControl = 0xAA;
constexpr unsigned char kGround = 0xBB;
const char kLocalHost[] = "127.0.0.1";

std::mutex logMutex;
QStringList debugLines;
QtMessageHandler previousHandler = nullptr;

// The channels log from their own threads; keep their debug lines for the
// tests and pass everything else on.
void recordMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg) {
        std::lock_guard<std::mutex> lock(logMutex);
        debugLines << message;
        return;
    }
    previousHandler(type, context, message);
}

QStringList takeDebugLines()
{
    std::lock_guard<std::mutex> lock(logMutex);
    QStringList lines;
    lines.swap(debugLines);
    return lines;
}

// What a control channel reported, received on the test's thread.
struct ControlReports : QObject
{
    QList<bool> flags;
    QList<QList<int>> versions;

    void attach(ControlClientThread* thread)
    {
        connect(thread, &ControlClientThread::updateLinkedFlag, this,
                [this](bool flag) { flags << flag; });
        connect(thread, &ControlClientThread::VersionInfo, this,
                [this](char type, int hard, int soft, int protocol, int boot) {
                    versions << QList<int>{static_cast<signed char>(type), hard, soft,
                                           protocol, boot};
                });
    }
    int count(bool flag) const { return static_cast<int>(flags.count(flag)); }
};

std::unique_ptr<QThread> makeChannel(bool control, quint16 port, ControlReports* reports)
{
    if (!control)
        return std::make_unique<GroundClientThread>(kLocalHost, port, nullptr);
    auto thread = std::make_unique<ControlClientThread>(kLocalHost, port, nullptr);
    if (reports)
        reports->attach(thread.get());
    return thread;
}

// Descriptors open in this process, where the system lists them; else 0.
int openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size();
}

quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

// A listener whose accept queue is full: further connects get no answer.
class DeafListener
{
public:
    DeafListener()
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        merro::net::SockLen length = sizeof(address);
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(listener, 0);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        filler = ::socket(AF_INET, SOCK_STREAM, 0);
        merro::net::connectWithTimeout(filler, address, 1000);
    }
    ~DeafListener()
    {
        merro::net::closeSocket(filler);
        merro::net::closeSocket(listener);
    }
    quint16 port = 0;

private:
    merro::net::SocketHandle listener;
    merro::net::SocketHandle filler;
};

} // namespace

class TestLinkChannels : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void chunks_data();
    void chunks();
    void shortReportReadsZerosNotOldBytes();
    void reconnectsWhenUnitCloses_data();
    void reconnectsWhenUnitCloses();
    void connectionsWithoutHeartbeatEnd();
    void connectAttemptsArePaced();
    void stopsPromptly_data();
    void stopsPromptly();
    void debugLines_data();
    void debugLines();
};

void TestLinkChannels::initTestCase()
{
    previousHandler = qInstallMessageHandler(recordMessage);
}

void TestLinkChannels::cleanupTestCase()
{
    qInstallMessageHandler(previousHandler);
}

void TestLinkChannels::init()
{
    takeDebugLines();
}

void TestLinkChannels::chunks_data()
{
    QTest::addColumn<bool>("control");
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<int>("replies");
    QTest::addColumn<QList<int>>("version");

    const QByteArray report = FakeUnit::versionReport(3, 100, 101, 250, 1);
    const QList<int> reported{3, 100, 101, 250, 1};
    const QList<int> none;

    QTest::newRow("control heartbeat is answered")
        << true << QByteArray::fromHex("aa000400") << 1 << none;
    QTest::newRow("control heartbeat with any bytes 1 and 3")
        << true << QByteArray::fromHex("aa5504771234") << 1 << none;
    QTest::newRow("version report is reported, not answered") << true << report << 0 << reported;
    QTest::newRow("ground frame on the control channel is ignored")
        << true << QByteArray::fromHex("bb000400") << 0 << none;
    QTest::newRow("unknown command is ignored")
        << true << QByteArray::fromHex("aa000500") << 0 << none;
    QTest::newRow("heartbeat then report in one chunk: only the heartbeat counts")
        << true << FakeUnit::heartbeat(kControl) + report << 1 << none;
    QTest::newRow("report then heartbeat in one chunk: only the report counts")
        << true << report + FakeUnit::heartbeat(kControl) << 0 << reported;
    QTest::newRow("ground heartbeat is answered with the control start byte")
        << false << QByteArray::fromHex("bb000400") << 1 << none;
    QTest::newRow("ground heartbeat with any bytes 1 and 3")
        << false << QByteArray::fromHex("bbff04ff01") << 1 << none;
    QTest::newRow("control heartbeat on the ground channel is ignored")
        << false << QByteArray::fromHex("aa000400") << 0 << none;
    QTest::newRow("ground report is ignored")
        << false << QByteArray::fromHex("bb00000003006400650001") << 0 << none;
    QTest::newRow("two ground heartbeats in one chunk are answered once")
        << false << QByteArray::fromHex("bb000400bb000400") << 1 << none;
}

void TestLinkChannels::chunks()
{
    QFETCH(bool, control);
    QFETCH(QByteArray, chunk);
    QFETCH(int, replies);
    QFETCH(QList<int>, version);

    FakeUnit unit(control ? kControl : kGround);
    QVERIFY(unit.listen(QHostAddress::LocalHost));
    ControlReports reports;
    auto thread = makeChannel(control, unit.port(), &reports);
    thread->start();
    QTRY_COMPARE(unit.openCount(), 1);

    unit.send(chunk);
    // Let the chunk be taken on its own before a heartbeat marks its end.
    QTest::qWait(200);
    unit.sendHeartbeat();
    QTRY_COMPARE(unit.received().size(), (replies + 1) * 6);
    QTest::qWait(100);
    QCOMPARE(unit.received(), FakeUnit::heartbeatReply().repeated(replies + 1));

    if (control) {
        QTRY_COMPARE(reports.count(true), replies + 1);
        QCOMPARE(reports.count(false), 0);
        QCOMPARE(reports.versions.size(), version.isEmpty() ? 0 : 1);
        if (!version.isEmpty())
            QCOMPARE(reports.versions.first(), version);
    }
}

void TestLinkChannels::shortReportReadsZerosNotOldBytes()
{
    FakeUnit unit(kControl);
    QVERIFY(unit.listen(QHostAddress::LocalHost));
    ControlReports reports;
    auto thread = makeChannel(true, unit.port(), &reports);
    thread->start();
    QTRY_COMPARE(unit.openCount(), 1);

    unit.send(FakeUnit::versionReport(0xFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF));
    QTRY_COMPARE(reports.versions.size(), 1);
    unit.send(QByteArray::fromHex("aa0000000201"));
    QTRY_COMPARE(reports.versions.size(), 2);
    QCOMPARE(reports.versions.at(0), (QList<int>{-1, 65535, 65535, 65535, 65535}));
    QCOMPARE(reports.versions.at(1), (QList<int>{2, 256, 0, 0, 0}));
}

void TestLinkChannels::reconnectsWhenUnitCloses_data()
{
    QTest::addColumn<bool>("control");
    QTest::newRow("control") << true;
    QTest::newRow("ground") << false;
}

void TestLinkChannels::reconnectsWhenUnitCloses()
{
    QFETCH(bool, control);

    FakeUnit unit(control ? kControl : kGround);
    QVERIFY(unit.listen(QHostAddress::LocalHost));
    ControlReports reports;
    auto thread = makeChannel(control, unit.port(), &reports);
    thread->start();
    QTRY_COMPARE(unit.openCount(), 1);
    unit.sendHeartbeat();
    QTRY_COMPARE(unit.received().size(), 6);

    for (int connection = 2; connection <= 3; ++connection) {
        unit.closeConnections();
        QTRY_COMPARE_WITH_TIMEOUT(unit.acceptedCount(), connection, 3000);
        QTRY_COMPARE(unit.openCount(), 1);
    }
    // The new connection is served like the first.
    unit.sendHeartbeat();
    QTRY_COMPARE(unit.received().size(), 12);

    if (control) {
        // One true per heartbeat, one false per ended connection.
        QCOMPARE(reports.flags, (QList<bool>{true, false, false, true}));
    }
}

void TestLinkChannels::connectionsWithoutHeartbeatEnd()
{
    // Four channels side by side, so that one wait of six seconds serves all.
    FakeUnit silent(kControl);
    FakeUnit reportsOnly(kControl);
    FakeUnit beating(kControl);
    FakeUnit groundSilent(kGround);
    for (FakeUnit* unit : {&silent, &reportsOnly, &beating, &groundSilent})
        QVERIFY(unit->listen(QHostAddress::LocalHost));

    ControlReports silentReports;
    ControlReports reportsOnlyReports;
    ControlReports beatingReports;
    std::unique_ptr<QThread> threads[] = {
        makeChannel(true, silent.port(), &silentReports),
        makeChannel(true, reportsOnly.port(), &reportsOnlyReports),
        makeChannel(true, beating.port(), &beatingReports),
        makeChannel(false, groundSilent.port(), nullptr),
    };
    for (auto& thread : threads)
        thread->start();
    for (FakeUnit* unit : {&silent, &reportsOnly, &beating, &groundSilent})
        QTRY_COMPARE(unit->openCount(), 1);

    QElapsedTimer clock;
    clock.start();
    beating.setHeartbeatInterval(1000);
    QTimer reportTimer;
    connect(&reportTimer, &QTimer::timeout, &reportsOnly,
            [&] { reportsOnly.send(FakeUnit::versionReport(1, 2, 3, 4, 5)); });
    reportTimer.start(400);

    QTRY_COMPARE_WITH_TIMEOUT(silentReports.flags, QList<bool>{false}, 8000);
    const qint64 endedAfter = clock.elapsed();
    QVERIFY2(endedAfter > 4500 && endedAfter < 7000, qPrintable(QString::number(endedAfter)));
    QTRY_COMPARE_WITH_TIMEOUT(reportsOnlyReports.count(false), 1, 2000);
    QVERIFY(reportsOnlyReports.versions.size() >= 10);
    QTRY_COMPARE_WITH_TIMEOUT(groundSilent.acceptedCount(), 2, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(silent.acceptedCount(), 2, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(reportsOnly.acceptedCount(), 2, 2000);
    // The ended connections were closed, not left behind.
    for (FakeUnit* unit : {&silent, &reportsOnly, &groundSilent})
        QTRY_COMPARE(unit->openCount(), 1);

    // Heartbeats every second keep a connection, each answered exactly once.
    QCOMPARE(beating.acceptedCount(), 1);
    QCOMPARE(beatingReports.count(false), 0);
    QVERIFY(beatingReports.count(true) >= 5);
    QTRY_COMPARE(beating.received().size(), beating.heartbeatsSent() * 6);
    QCOMPARE(beating.received(), FakeUnit::heartbeatReply().repeated(beating.heartbeatsSent()));

    const QRegularExpression lossLine(QStringLiteral("^heartBeat is (\\d+),break$"));
    QStringList lossLines = takeDebugLines().filter(lossLine);
    QCOMPARE(lossLines.size(), 2);
    for (const QString& line : lossLines)
        QVERIFY2(lossLine.match(line).captured(1).toInt() >= 6, qPrintable(line));
}

void TestLinkChannels::connectAttemptsArePaced()
{
    FakeUnit busy(kControl);
    busy.setRejecting(true);
    QVERIFY(busy.listen(QHostAddress::LocalHost));
    const quint16 absentPort = closedPort();

    ControlReports busyReports;
    std::unique_ptr<QThread> threads[] = {
        makeChannel(true, busy.port(), &busyReports),
        makeChannel(true, absentPort, nullptr),
        makeChannel(false, absentPort, nullptr),
    };
    const std::clock_t cpuBefore = std::clock();
    for (auto& thread : threads)
        thread->start();
    QTest::qWait(1000);
    const int descriptors = openDescriptors();
    QTest::qWait(2000);
    const double cpuSeconds = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    // Each failed or finished attempt's socket is closed, so none pile up.
    QVERIFY2(openDescriptors() <= descriptors + 1,
             qPrintable(QStringLiteral("%1 -> %2").arg(descriptors).arg(openDescriptors())));

    QVERIFY2(busy.acceptedCount() >= 2 && busy.acceptedCount() <= 4,
             qPrintable(QString::number(busy.acceptedCount())));
    QVERIFY2(cpuSeconds < 0.5, qPrintable(QString::number(cpuSeconds)));

    threads[0].reset();
    // Every connection, however short, ends with exactly one report of it.
    QTRY_COMPARE(busyReports.count(false), busy.acceptedCount());
    QCOMPARE(busyReports.count(true), 0);
}

void TestLinkChannels::stopsPromptly_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<bool>("control");
    QTest::addColumn<bool>("byDestructor");

    QTest::newRow("connecting to an absent unit") << "absent" << true << false;
    QTest::newRow("connect that gets no answer") << "deaf" << true << false;
    QTest::newRow("ground, connect that gets no answer") << "deaf" << false << false;
    QTest::newRow("connected to a silent unit") << "silent" << true << false;
    QTest::newRow("connected to a beating unit") << "beating" << true << false;
    QTest::newRow("ground, connected") << "beating" << false << false;
    QTest::newRow("between attempts") << "busy" << true << false;
    QTest::newRow("destroyed while connected") << "beating" << true << true;
    QTest::newRow("ground destroyed while connected") << "beating" << false << true;
}

void TestLinkChannels::stopsPromptly()
{
    QFETCH(QString, unit);
    QFETCH(bool, control);
    QFETCH(bool, byDestructor);

    FakeUnit fake(control ? kControl : kGround);
    DeafListener deaf;
    quint16 port = deaf.port;
    if (unit == QLatin1String("absent")) {
        port = closedPort();
    } else if (unit != QLatin1String("deaf")) {
        fake.setRejecting(unit == QLatin1String("busy"));
        QVERIFY(fake.listen(QHostAddress::LocalHost));
        fake.setHeartbeatInterval(unit == QLatin1String("beating") ? 200 : 0);
        port = fake.port();
    }

    auto thread = makeChannel(control, port, nullptr);
    thread->start();
    if (unit == QLatin1String("silent") || unit == QLatin1String("beating"))
        QTRY_COMPARE(fake.openCount(), 1);
    else if (unit == QLatin1String("busy"))
        QTRY_COMPARE(fake.acceptedCount(), 1);
    QTest::qWait(300);
    QVERIFY(thread->isRunning());

    QElapsedTimer clock;
    clock.start();
    if (byDestructor) {
        thread.reset();
    } else {
        thread->requestInterruption();
        QVERIFY(thread->wait(2000));
    }
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
}

void TestLinkChannels::debugLines_data()
{
    QTest::addColumn<bool>("control");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("control") << true
                             << QStringList{"ControlClientThread build",
                                            "ControlClientThread run begin",
                                            "control new socket begin",
                                            "control new socket bind ok",
                                            "control new socket success",
                                            "Control host IP: 127.0.0.1 length: 9",
                                            "control nRead = 0",
                                            "ControlClientThread run exit",
                                            "ControlClientThread run begin",
                                            "control new socket begin"};
    QTest::newRow("ground") << false
                            << QStringList{"GroundClientThread build",
                                           "GroundClientThread run begin",
                                           "ground new socket begin",
                                           "ground new socket bind ok",
                                           "ground new socket success",
                                           "Ground host IP: 127.0.0.1 length: 9",
                                           "GroundClientThread run exit",
                                           "GroundClientThread run begin",
                                           "ground new socket begin"};
}

void TestLinkChannels::debugLines()
{
    QFETCH(bool, control);
    QFETCH(QStringList, lines);

    FakeUnit unit(control ? kControl : kGround);
    QVERIFY(unit.listen(QHostAddress::LocalHost));
    auto thread = makeChannel(control, unit.port(), nullptr);
    thread->start();
    QTRY_COMPARE(unit.openCount(), 1);
    unit.closeConnections();
    QTRY_COMPARE(unit.openCount(), 1);
    thread.reset();

    const QStringList logged = takeDebugLines();
    QCOMPARE(logged.mid(0, lines.size()), lines);
    QVERIFY(logged.contains(control ? "ControlClientThread ~" : "GroundClientThread ~"));
}

QTEST_GUILESS_MAIN(TestLinkChannels)
#include "tst_linkchannels.moc"
