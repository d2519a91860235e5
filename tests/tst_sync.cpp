// The sync without a window: merro-download --sync as a process (what it
// fetches and in which order, its exit codes, Ctrl+C, freeing the card, a dry
// run, two runs at once). Against the simulated device, private network.
#include "synccard.h"

#include <QtTest>

#include <sys/mount.h>

#include <csignal>
#include <memory>

using namespace synccard;

class TestSync : public SyncTest
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }
    void syncWithoutAWindow_data();
    void syncWithoutAWindow();
    void interruptedSyncGoesOnNextTime();
    void freeCardDeletesOnlyWhatIsVerified();
    void linkLostMidSyncEndsIt();
    void aFolderThatCannotBeWrittenIsToldAtOnce_data();
    void aFolderThatCannotBeWrittenIsToldAtOnce();
};

void TestSync::syncWithoutAWindow_data()
{
    QTest::addColumn<QByteArrayList>("commands"); // to the device first
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("told");
    QTest::newRow("does a device that does not answer end it with 3?")
        << QByteArrayList{"control listen off"} << 3 << QByteArray("The device does not answer");
    QTest::newRow("does a failed listing end it with 3?")
        << QByteArrayList{"camera fault 404 list"} << 3
        << QByteArray("Could not read the card's file list.");
    QTest::newRow("is a short listing no empty card?")
        << QByteArrayList{"camera list cut=1"} << 3
        << QByteArray("The camera counts 3 files but listed 1.");
    QTest::newRow("is a count reply without a count no empty card?")
        << QByteArrayList{"camera body count nothing"} << 3
        << QByteArray("Could not read the card's file list.");
    QTest::newRow("does a recording that fails end it with 1, named?")
        << QByteArrayList{"camera fault 404 file once"} << 1
        << QByteArray("Not downloaded: C_OLD.MP4 (the camera answered 404).");
    QTest::newRow("does a sync that fetches everything end with 0?")
        << QByteArrayList{} << 0 << QByteArray("3 new recordings downloaded, 0 already in");
}

void TestSync::syncWithoutAWindow()
{
    QFETCH(QByteArrayList, commands);
    for (const QByteArray& command : commands)
        QVERIFY(sim->command(command));
    const int from = sim->output.size();
    QByteArray said;
    QTEST(sync({}, &said), "exitCode");
    QFETCH(QByteArray, told);
    QVERIFY2(said.contains(told), said.constData());
    if (!commands.isEmpty())
        return;

    // Oldest first, and each file exactly its recording with its time,
    // numbered as it ends.
    QCOMPARE(served(from), (QList<QByteArray>{"C_OLD.MP4", "B_MID.MP4", "A_NEW.MP4"}));
    const int first = said.indexOf("[1/3] ");
    QVERIFY2(first >= 0 && first < said.indexOf("[2/3] ")
                 && said.indexOf("[2/3] ") < said.indexOf("[3/3] ") && said.count("[3/3]") == 1
                 && said.count(": downloaded, ") == 3,
             said.constData());
    for (const Recording& recording : kCard) {
        QVERIFY(local(recording.name) == card(recording.name));
        QCOMPARE(QFileInfo(QString("DCIM/") + recording.name).lastModified().toUTC(),
                 QDateTime::fromString(recording.utc + QString("Z"), Qt::ISODate));
    }
    // Nothing new: no file is fetched, and none in DCIM/ is touched.
    const auto state = [] {
        QStringList files;
        for (const QFileInfo& file : QDir("DCIM").entryInfoList(QDir::Files))
            files << file.fileName() + ' ' + QString::number(file.size()) + ' '
                         + QString::number(file.lastModified().toMSecsSinceEpoch()) + ' '
                         + QString::number(file.metadataChangeTime().toMSecsSinceEpoch());
        return files;
    };
    const QStringList before = state();
    const int again = sim->output.size();
    QCOMPARE(sync({"--quiet"}, &said), 0);
    QCOMPARE(said, QByteArray());
    QCOMPARE(served(again), QList<QByteArray>());
    QCOMPARE(state(), before);
}

void TestSync::interruptedSyncGoesOnNextTime()
{
    // Slow enough to be stopped inside the large one, the second to come.
    QVERIFY(sim->command("camera rate 400000"));
    QProcess first;
    startSync(first);
    const QString part = work->filePath("DCIM/partial downloads/B_MID.MP4");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(part).size() > 400000, 10000);

    // A second run meanwhile finds the folder taken.
    QByteArray said;
    QCOMPARE(sync({}, &said), 4);
    QVERIFY2(said.contains("Not syncing: merro-download (process "), said.constData());
    // The folder's own lock, not only the camera's.
    QVERIFY2(said.contains(" holds " + QDir::toNativeSeparators("DCIM").toUtf8()),
             said.constData());

    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(first.processId()), SIGINT);
    QVERIFY(first.waitForFinished(5000));
    QVERIFY2(clock.elapsed() < 1000 * MERRO_TIME_SCALE,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(first.exitCode(), 1);
    const qint64 kept = QFileInfo(part).size();
    QVERIFY(kept > 0 && card("B_MID.MP4").startsWith(bytesOf(part)));

    QVERIFY(sim->command("camera rate 0"));
    const int from = sim->output.size();
    QCOMPARE(sync(), 0);
    // Only the rest of the large one was asked for.
    QVERIFY(sim->output.mid(from).contains("B_MID.MP4 bytes " + QByteArray::number(kept) + '-'));
    for (const Recording& recording : kCard)
        QVERIFY(local(recording.name) == card(recording.name));
}

void TestSync::freeCardDeletesOnlyWhatIsVerified()
{
    // A dry run lists and tells, and fetches and deletes nothing. DCIM/ holds
    // an older recording under the oldest's name, of its size: it is no copy.
    QVERIFY(QDir().mkdir("DCIM"));
    QFile older("DCIM/C_OLD.MP4");
    QVERIFY(older.open(QIODevice::WriteOnly) && older.resize(400000)
            && older.setFileTime(QDateTime::currentDateTime().addYears(-2),
                                 QFileDevice::FileModificationTime));
    older.close();
    int from = sim->output.size();
    QByteArray said;
    QCOMPARE(sync({"--dry-run", "--free-card"}, &said), 0);
    QVERIFY2(said.contains("would download C_OLD.MP4"), said.constData());
    QVERIFY2(!said.contains("would delete C_OLD.MP4"), said.constData());
    QVERIFY(QFile::remove("DCIM/C_OLD.MP4"));
    QCOMPARE(sim->lines("camera: GET /cgi-bin/hi3510/delete", from), QList<QByteArray>());
    QCOMPARE(sim->lines("camera: GET http", from), QList<QByteArray>());

    // The oldest fails: it stays on the card, the two that arrived go.
    QVERIFY(sim->command("camera fault 404 file once"));
    QCOMPARE(sync({"--free-card"}), 1);
    QCOMPARE(QDir(sim->cardPath()).entryList(QDir::Files), QStringList{"C_OLD.MP4"});
    // After a listing that is not whole (names that cannot be asked for),
    // nothing at all.
    QVERIFY(sim->command("camera list hostile"));
    from = sim->output.size();
    QCOMPARE(sync({"--free-card"}, &said), 1);
    QVERIFY2(said.contains("The card is not freed: its listing was not whole."), said.constData());
    QCOMPARE(QDir(sim->cardPath()).entryList(QDir::Files), QStringList{"C_OLD.MP4"});
    QCOMPARE(sim->lines("camera: deleted", from), QList<QByteArray>());
}

void TestSync::linkLostMidSyncEndsIt()
{
    // Slow enough for the link to be lost within the large one.
    QVERIFY(sim->command("camera rate 200000"));
    QProcess tool;
    startSync(tool, {"--free-card"});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo("DCIM/partial downloads/B_MID.MP4").size() > 0, 10000);
    const int from = sim->output.size();
    QVERIFY(sim->command("control heartbeat off"));
    QVERIFY(tool.waitForFinished(20000));
    const QByteArray said = tool.readAllStandardOutput() + tool.readAllStandardError();
    QCOMPARE(tool.exitCode(), 3);
    QVERIFY2(said.contains("The link to the device was lost."), said.constData());
    // Nothing is freed on a lost link, not even what arrived before.
    QCOMPARE(sim->lines("camera: GET /cgi-bin/hi3510/deletefile", from), QList<QByteArray>());
    QCOMPARE(onCard().size(), 3);
}

void TestSync::aFolderThatCannotBeWrittenIsToldAtOnce_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("reason");
    QTest::newRow("is a folder under a file told, with the system's reason?")
        << "file/DCIM" << "Not a directory";
    QTest::newRow("is a read-only volume told?") << "readonly/DCIM" << "Read-only file system";
}

void TestSync::aFolderThatCannotBeWrittenIsToldAtOnce()
{
    QFETCH(QString, folder);
    QVERIFY(QFile("file").open(QIODevice::WriteOnly) && QDir().mkdir("readonly"));
    const QByteArray readonly = QFile::encodeName(work->filePath("readonly"));
    if (::mount("tmpfs", readonly.constData(), "tmpfs", MS_RDONLY, nullptr) != 0)
        QSKIP("No read-only volume can be mounted here");
    const int from = sim->output.size();
    QByteArray said;
    QElapsedTimer clock;
    clock.start();
    const int code = sync({"--dcim", folder}, &said);
    ::umount2(readonly.constData(), MNT_DETACH);
    QCOMPARE(code, 2);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QFETCH(QString, reason);
    const QString expected = QString("Cannot write to the download folder %1: %2. Choose another"
                                     " with --dcim DIR or the setting download/dcim.")
                                 .arg(work->filePath(folder), reason);
    QVERIFY2(said.contains(expected.toUtf8()), said.constData());
    // Nothing was asked of the device.
    QCOMPARE(sim->lines("camera: GET ", from), QList<QByteArray>());

    // A dry run writes nothing, not even the folder or a lock.
    const QStringList before = QDir(QDir::tempPath()).entryList(QDir::AllEntries | QDir::Hidden);
    QCOMPARE(sync({"--dry-run", "--dcim", "not/there"}), 0);
    QVERIFY(!QFileInfo::exists("not"));
    QCOMPARE(QDir(QDir::tempPath()).entryList(QDir::AllEntries | QDir::Hidden), before);
}

QTEST_GUILESS_MAIN(TestSync)
#include "tst_sync.moc"
