// The simulated units, seen by a raw client: frame layout and pacing, the
// counting of heartbeat replies, and the faults that the link tests rely on.
// Runs inside the private network namespace.

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpSocket>
#include <QtTest>

namespace {

const QByteArray kGoodReply("\xaa\xaf\x04\x01\x01\x5f", 6);
const QByteArray kBadReply("\xaa\xaf\x04\x01\x01\x5e", 6);
constexpr int kInterval = 400;
// Wide, so that a test slowed down by a busy machine still reads one frame
// per receive.
constexpr int kGap = 150;
constexpr int kPileUpMs = 30;

quint8 byteAt(const QByteArray& bytes, int i)
{
    return i < bytes.size() ? static_cast<quint8>(bytes[i]) : 0;
}

bool isHeartbeat(const QByteArray& frame, quint8 start)
{
    return frame.size() == 6 && byteAt(frame, 0) == start && byteAt(frame, 2) == 0x04;
}

} // namespace

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void unitFrames_data();
    void unitFrames();
    void unitFaults();

private:
    bool waitForLine(const QByteArray& part, int timeoutMs = 3000);
    void command(const QByteArray& line);
    // Reads one chunk; a short pause first lets anything written back to
    // back pile up, so that coalesced frames would show.
    bool readChunk(QTcpSocket& socket, QByteArray* chunk, int timeoutMs = 2000);

    QProcess sim;
    QByteArray output;
};

void TestSim::initTestCase()
{
    const QString program = qEnvironmentVariable("MERRO_SIM");
    QVERIFY2(!program.isEmpty(), "MERRO_SIM is not set");
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(program, {QStringLiteral("--camera"), QStringLiteral("off"),
                        QStringLiteral("--interval"), QString::number(kInterval),
                        QStringLiteral("--version-interval"), QStringLiteral("1000"),
                        QStringLiteral("--gap"), QString::number(kGap),
                        QStringLiteral("--version"), QStringLiteral("-1,400,65535,0,258")});
    QVERIFY(sim.waitForStarted());
    QVERIFY(waitForLine("sim: ready"));
}

void TestSim::cleanupTestCase()
{
    sim.write("quit\n");
    if (!sim.waitForFinished(3000))
        sim.kill();
}

bool TestSim::waitForLine(const QByteArray& part, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        // Take the first matching line only, so that a later wait for the same
        // text needs a new line while other lines stay available.
        int start = 0;
        int end;
        while ((end = output.indexOf('\n', start)) >= 0) {
            if (output.mid(start, end - start).contains(part)) {
                output.remove(start, end + 1 - start);
                return true;
            }
            start = end + 1;
        }
        const int left = timeoutMs - static_cast<int>(waited.elapsed());
        if (left <= 0)
            return false;
        sim.waitForReadyRead(left);
        output += sim.readAllStandardOutput();
    }
}

void TestSim::command(const QByteArray& line)
{
    sim.write(line + '\n');
    QVERIFY2(waitForLine("sim: ok " + line), line.constData());
}

bool TestSim::readChunk(QTcpSocket& socket, QByteArray* chunk, int timeoutMs)
{
    if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(timeoutMs))
        return false;
    QThread::msleep(kPileUpMs);
    *chunk = socket.readAll();
    return true;
}

void TestSim::unitFrames_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("versionFirst");
    QTest::addColumn<QByteArray>("unit");
    QTest::newRow("does the control unit report its version, then beat?")
        << qEnvironmentVariable("MERRO_CONTROL_HOST") << 0xaa << true << QByteArray("control");
    QTest::newRow("does the ground unit beat with its own start byte?")
        << qEnvironmentVariable("MERRO_GROUND_HOST") << 0xbb << false << QByteArray("ground");
}

void TestSim::unitFrames()
{
    QFETCH(QString, host);
    QFETCH(int, start);
    QFETCH(bool, versionFirst);
    QFETCH(QByteArray, unit);
    const auto startByte = static_cast<quint8>(start);

    QTcpSocket socket;
    socket.connectToHost(host, 5000);
    QVERIFY(socket.waitForConnected(2000));

    QByteArray chunk;
    QVERIFY(readChunk(socket, &chunk));
    if (versionFirst) {
        const QByteArray& v = chunk;
        QCOMPARE(v.size(), 14);
        QCOMPARE(byteAt(v, 0), quint8(0xaa));
        QCOMPARE(byteAt(v, 2), quint8(0x00));
        QCOMPARE(static_cast<qint8>(byteAt(v, 4)), qint8(-1));
        QCOMPARE(byteAt(v, 5) * 256 + byteAt(v, 6), 400);
        QCOMPARE(byteAt(v, 7) * 256 + byteAt(v, 8), 65535);
        QCOMPARE(byteAt(v, 9) * 256 + byteAt(v, 10), 0);
        QCOMPARE(byteAt(v, 11) * 256 + byteAt(v, 12), 258);
        QVERIFY(readChunk(socket, &chunk));
    }

    // Every chunk is exactly one frame.
    int heartbeats = 0;
    while (heartbeats < 4) {
        const QByteArray& f = chunk;
        QVERIFY2(isHeartbeat(f, startByte) || (f.size() == 14 && byteAt(f, 2) == 0x00),
                 f.toHex().constData());
        QCOMPARE(byteAt(f, 0), startByte);
        if (isHeartbeat(f, startByte))
            ++heartbeats;
        if (heartbeats < 4)
            QVERIFY(readChunk(socket, &chunk));
    }

    // A good reply in two pieces is still one good reply; a wrong one is bad.
    socket.write(kGoodReply.left(2));
    socket.flush();
    QThread::msleep(50);
    socket.write(kGoodReply.mid(2));
    socket.flush();
    QVERIFY(waitForLine(unit + ": reply good #"));
    socket.write(kBadReply);
    socket.flush();
    QVERIFY(waitForLine(unit + ": reply bad #"));
    sim.write("stats\n");
    QVERIFY(waitForLine(unit + " good=1 bad=1 connections=1"));
}

void TestSim::unitFaults()
{
    const QString host = qEnvironmentVariable("MERRO_CONTROL_HOST");
    QTcpSocket socket;
    socket.connectToHost(host, 5000);
    QVERIFY(socket.waitForConnected(2000));
    command("control reports off");
    QByteArray chunk;

    // Split: the next heartbeat comes as two writes.
    command("control frames split");
    do {
        QVERIFY(readChunk(socket, &chunk));
    } while (chunk.size() != 3);
    QCOMPARE(byteAt(chunk, 2), quint8(0x04));
    QVERIFY(readChunk(socket, &chunk));
    QCOMPARE(chunk.size(), 3);

    // Double: a heartbeat and a version report in one write.
    command("control frames double");
    do {
        QVERIFY(readChunk(socket, &chunk));
    } while (chunk.size() == 3);
    QCOMPARE(chunk.size(), 6 + 14);
    QVERIFY(isHeartbeat(chunk.left(6), 0xaa));
    QCOMPARE(byteAt(chunk, 6 + 2), quint8(0x00));

    // Junk: frames the tool must ignore turn up between heartbeats.
    command("control frames junk");
    bool sawJunk = false;
    for (int i = 0; i < 8 && !sawJunk; ++i) {
        QVERIFY(readChunk(socket, &chunk));
        sawJunk = byteAt(chunk, 0) == 0xaa && byteAt(chunk, 2) == 0x07;
    }
    QVERIFY(sawJunk);
    command("control frames normal");

    // Raw bytes arrive as given, in one piece.
    command("control heartbeat off");
    command("control send aa 07 00 0e ff 01 90 00 c8 00 00 ff ff 00");
    const QByteArray raw = QByteArray::fromHex("aa07000eff019000c80000ffff00");
    do {
        QVERIFY(readChunk(socket, &chunk));
    } while (chunk != raw && chunk.size() <= 7);
    QCOMPARE(chunk, raw);

    // Heartbeats stop, and resume.
    QVERIFY(!socket.waitForReadyRead(3 * kInterval));
    command("control heartbeat on");
    QVERIFY(readChunk(socket, &chunk, 2 * kInterval));
    QVERIFY(isHeartbeat(chunk, 0xaa));

    // The unit closes the connection.
    command("control drop");
    QVERIFY(waitForLine(" by unit"));
    QVERIFY(socket.state() == QAbstractSocket::UnconnectedState
            || socket.waitForDisconnected(2000));

    // A unit that is not listening refuses; listening again accepts.
    command("control listen off");
    QTcpSocket refused;
    refused.connectToHost(host, 5000);
    QVERIFY(!refused.waitForConnected(2000));
    QCOMPARE(refused.error(), QAbstractSocket::ConnectionRefusedError);
    command("control listen on");
    QTcpSocket again;
    again.connectToHost(host, 5000);
    QVERIFY(again.waitForConnected(2000));
    QVERIFY(readChunk(again, &chunk));
    QVERIFY(isHeartbeat(chunk, 0xaa));
}

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
