// The two channel threads against stand-in units on 127.0.0.1.
#include "controlclientthread.h"
#include "fakeunit.h"
#include "groundclientthread.h"
#include "platformsocket.h"

#include <QtTest>

#include <ctime>
#include <memory>
#include <mutex>

namespace {

using Versions = QList<QList<int>>;

// The channels log from their own threads: keep every thread's debug lines
// apart for the tests and pass everything else on.
std::mutex logMutex;
QHash<QThread*, QStringList> debugLines;
QtMessageHandler previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtDebugMsg)
        return previousHandler(type, context, message);
    std::lock_guard<std::mutex> lock(logMutex);
    debugLines[QThread::currentThread()] << message;
}

QStringList linesOf(QThread* thread)
{
    std::lock_guard<std::mutex> lock(logMutex);
    return debugLines.value(thread);
}

// A running channel thread to 127.0.0.1:port, or to a stand-in unit of its
// own when port is 0. A control channel's reports arrive on the test's thread.
struct Channel : QObject
{
    explicit Channel(bool control, quint16 port = 0) : unit(control ? 0xAA : 0xBB)
    {
        if (port == 0 && unit.listen())
            port = unit.port();
        if (control) {
            auto* thread = new ControlClientThread("127.0.0.1", port, nullptr);
            connect(thread, &ControlClientThread::updateLinkedFlag, this,
                    [this](bool flag) { flags << flag; });
            connect(thread, &ControlClientThread::VersionInfo, this,
                    [this](char type, int hard, int soft, int protocol, int boot) {
                        versions << QList<int>{static_cast<signed char>(type), hard, soft,
                                               protocol, boot};
                    });
            this->thread.reset(thread);
        } else {
            thread.reset(new GroundClientThread("127.0.0.1", port, nullptr));
        }
        thread->start();
    }
    QStringList lines() const { return linesOf(thread.get()); }

    FakeUnit unit;
    QList<bool> flags;
    Versions versions;
    std::unique_ptr<QThread> thread;
};

// How long a channel takes to stop, asked to or destroyed.
qint64 stopTime(Channel& channel, bool byDestructor)
{
    QElapsedTimer clock;
    clock.start();
    if (byDestructor) {
        channel.thread.reset();
    } else {
        channel.thread->requestInterruption();
        channel.thread->wait(2000);
    }
    return clock.elapsed();
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
struct DeafListener
{
    DeafListener()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        merro::net::SockLen length = sizeof(address);
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(listener, 0);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        filler.connectToHost(QHostAddress::LocalHost, port);
        filler.waitForConnected(1000);
    }
    ~DeafListener() { merro::net::closeSocket(listener); }
    merro::net::SocketHandle listener = ::socket(AF_INET, SOCK_STREAM, 0);
    QTcpSocket filler;
    quint16 port = 0;
};

} // namespace

class TestLinkChannels : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { previousHandler = qInstallMessageHandler(recordMessage); }
    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }
    void init()
    {
        std::lock_guard<std::mutex> lock(logMutex);
        debugLines.clear();
    }

    void frames_data();
    void frames();
    void connectionsEndReconnectAndStop();
    void connectAttemptsArePacedAndStop();
};

void TestLinkChannels::frames_data()
{
    QTest::addColumn<bool>("control");
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<int>("replies");
    QTest::addColumn<Versions>("versions");

    // Frames in hex: start, any byte, command, any byte; a report then has the
    // type byte and the hardware, software, protocol and boot versions.
    const auto row = [](const char* name, bool control, std::initializer_list<const char*> hex,
                        int replies, const Versions& versions = {}) {
        QByteArrayList chunks;
        for (const char* chunk : hex)
            chunks << QByteArray::fromHex(chunk);
        QTest::newRow(name) << control << chunks << replies << versions;
    };
    row("control heartbeat, whatever bytes 1 and 3 hold", true, {"aa 55 04 77 12 34"}, 1);
    row("signed type byte, unsigned versions; a short report reads zeros", true,
        {"aa000000 ff ffff ffff ffff ffff", "aa000000 02 01"}, 0,
        {{-1, 65535, 65535, 65535, 65535}, {2, 256, 0, 0, 0}});
    row("ground heartbeat on the control channel is ignored", true, {"bb000400"}, 0);
    row("unknown command is ignored", true, {"aa000500"}, 0);
    row("heartbeat then report: only the heartbeat counts", true,
        {"aa000400 aa000000 03 0064 0065 00fa 0001"}, 1);
    row("report then heartbeat: only the report counts", true,
        {"aa000000 03 0064 0065 00fa 0001 aa000400"}, 0, {{3, 100, 101, 250, 1}});
    row("ground heartbeat, whatever bytes 1 and 3 hold", false, {"bb ff 04 ff 01"}, 1);
    row("control heartbeat on the ground channel is ignored", false, {"aa000400"}, 0);
    row("ground report is ignored", false, {"bb000000 03 0064 0065 00fa 0001"}, 0);
    row("two ground heartbeats in one chunk are answered once", false, {"bb000400 bb000400"}, 1);
}

void TestLinkChannels::frames()
{
    QFETCH(bool, control);
    QFETCH(QByteArrayList, chunks);
    QFETCH(int, replies);
    QFETCH(Versions, versions);

    Channel channel(control);
    QTRY_COMPARE(channel.unit.openCount(), 1);
    for (const QByteArray& chunk : chunks) {
        channel.unit.send(chunk);
        // Let each chunk be taken on its own; a heartbeat marks the end.
        QTest::qWait(200);
    }
    channel.unit.sendHeartbeat();
    QTRY_COMPARE(channel.unit.received.size(), (replies + 1) * 6);
    QTest::qWait(100);
    QCOMPARE(channel.unit.received, FakeUnit::heartbeatReply().repeated(replies + 1));

    QTRY_COMPARE(channel.flags.count(true), control ? replies + 1 : 0);
    QCOMPARE(channel.flags.count(false), 0);
    QCOMPARE(channel.versions, versions);
}

void TestLinkChannels::connectionsEndReconnectAndStop()
{
    // Side by side, so that one wait for a heartbeat loss serves them all.
    DeafListener deaf;
    Channel silent(true), reportsOnly(true), beating(true), groundSilent(false);
    Channel closing(true), groundClosing(false);
    Channel stuck(true, deaf.port), groundStuck(false, deaf.port);
    for (Channel* c : {&silent, &reportsOnly, &beating, &groundSilent, &closing, &groundClosing})
        QTRY_COMPARE(c->unit.openCount(), 1);

    QElapsedTimer clock;
    clock.start();
    beating.unit.setHeartbeatInterval(1000);
    QTimer reportTimer;
    connect(&reportTimer, &QTimer::timeout, &reportsOnly,
            [&] { reportsOnly.unit.send(FakeUnit::versionReport({1, 2, 3, 4, 5})); });
    reportTimer.start(400);

    // A unit that closes the connection is connected to again, every time,
    // and the new connection is served like the first.
    for (int connection = 1; connection <= 3; ++connection) {
        for (Channel* c : {&closing, &groundClosing}) {
            QTRY_COMPARE_WITH_TIMEOUT(c->unit.accepted, connection, 3000);
            QTRY_COMPARE(c->unit.openCount(), 1);
            c->unit.sendHeartbeat();
            QTRY_COMPARE(c->unit.received.size(), connection * 6);
            if (connection < 3)
                c->unit.closeConnections();
        }
    }
    QCOMPARE(closing.flags, (QList<bool>{true, false, true, false, true}));
    const QStringList control{"ControlClientThread run begin", "control new socket begin",
                              "control new socket bind ok", "control new socket success",
                              "Control host IP: 127.0.0.1 length: 9", "control nRead = 0",
                              "ControlClientThread run exit"};
    const QStringList ground{"GroundClientThread run begin", "ground new socket begin",
                             "ground new socket bind ok", "ground new socket success",
                             "Ground host IP: 127.0.0.1 length: 9", "GroundClientThread run exit"};
    QCOMPARE(closing.lines().mid(0, 19), control + control + control.mid(0, 5));
    QCOMPARE(groundClosing.lines().mid(0, 17), ground + ground + ground.mid(0, 5));

    // Connections without heartbeats end, silent or not, and are made anew.
    QTRY_COMPARE_WITH_TIMEOUT(silent.flags, QList<bool>{false}, 8000);
    QVERIFY2(clock.elapsed() > 4500 && clock.elapsed() < 7000,
             qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE_WITH_TIMEOUT(reportsOnly.flags.count(false), 1, 2000);
    QVERIFY(reportsOnly.versions.size() >= 10);
    for (Channel* c : {&silent, &reportsOnly, &groundSilent}) {
        QTRY_COMPARE_WITH_TIMEOUT(c->unit.accepted, 2, 2000);
        QTRY_COMPARE(c->unit.openCount(), 1);
    }
    QCOMPARE(silent.flags, QList<bool>{false});
    QCOMPARE(reportsOnly.flags.count(false), 1);
    // Only the control channel says why.
    const QRegularExpression lossLine(QStringLiteral("^heartBeat is (\\d+),break$"));
    for (Channel* c : {&silent, &reportsOnly}) {
        const QStringList lines = c->lines().filter(lossLine);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lossLine.match(lines[0]).captured(1).toInt() >= 6, qPrintable(lines[0]));
    }
    QCOMPARE(groundSilent.lines().filter(lossLine), QStringList());

    // Heartbeats every second keep a connection, each answered exactly once.
    QCOMPARE(beating.unit.accepted, 1);
    QCOMPARE(beating.flags.count(false), 0);
    QVERIFY(beating.flags.count(true) >= 5);
    QTRY_COMPARE(beating.unit.received,
                 FakeUnit::heartbeatReply().repeated(beating.unit.heartbeatsSent));

    // Each stops within a second, whatever it is doing.
    QVERIFY2(stopTime(silent, false) < 1000, "connected to a silent unit");
    QVERIFY2(stopTime(beating, false) < 1000, "connected to a beating unit");
    QVERIFY2(stopTime(closing, true) < 1000, "destroyed while connected");
    QVERIFY2(stopTime(groundSilent, false) < 1000, "ground, connected");
    QVERIFY2(stopTime(groundClosing, true) < 1000, "ground, destroyed while connected");
    QVERIFY2(stopTime(stuck, false) < 1000, "connect that gets no answer");
    QVERIFY2(stopTime(groundStuck, true) < 1000, "ground, connect that gets no answer");
    // Built and destroyed on this thread, which logged both.
    const QStringList ownLines = linesOf(QThread::currentThread());
    for (const char* line : {"ControlClientThread build", "GroundClientThread build",
                             "ControlClientThread ~", "GroundClientThread ~"})
        QVERIFY2(ownLines.contains(line), line);
}

void TestLinkChannels::connectAttemptsArePacedAndStop()
{
    const quint16 absentPort = closedPort();
    const std::clock_t cpuBefore = std::clock();
    Channel busy(true), absent(true, absentPort), groundAbsent(false, absentPort);
    // In time: the unit takes connections only when this thread's event loop runs.
    busy.unit.rejecting = true;
    QTest::qWait(1000);
    const int descriptors = openDescriptors();
    QTest::qWait(2000);
    const double cpuSeconds = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    // Each failed or finished attempt's socket is closed, so none pile up.
    QVERIFY2(openDescriptors() <= descriptors + 1,
             qPrintable(QStringLiteral("%1 -> %2").arg(descriptors).arg(openDescriptors())));
    QVERIFY2(busy.unit.accepted >= 2 && busy.unit.accepted <= 4,
             qPrintable(QString::number(busy.unit.accepted)));
    QVERIFY2(cpuSeconds < 0.5, qPrintable(QString::number(cpuSeconds)));

    QVERIFY2(stopTime(busy, true) < 1000, "between attempts");
    QVERIFY2(stopTime(absent, false) < 1000, "connecting to an absent unit");
    QVERIFY2(stopTime(groundAbsent, true) < 1000, "ground, connecting to an absent unit");
    // Every connection, however short, ends with exactly one report of it.
    QTRY_COMPARE(busy.flags.count(false), busy.unit.accepted);
    QCOMPARE(busy.flags.count(true), 0);
}

QTEST_GUILESS_MAIN(TestLinkChannels)
#include "tst_linkchannels.moc"
