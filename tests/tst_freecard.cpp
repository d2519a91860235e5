// merro-download --sync --free-card as a process: a recording leaves the card
// only after its card file, looked at then, matched a regular file in the
// download folder byte for byte, and the camera confirmed its delete. Names
// are the card's bytes in every request. Against the simulated device,
// private network.
#include "synccard.h"

#include <QtTest>

#include <utility>

using namespace synccard;

class TestFreeCard : public SyncTest
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }
    void keepsWhatIsNotProven_data();
    void keepsWhatIsNotProven();
    void aClipThatGrowsDuringTheRunStays();
    void asksForEveryFileByItsBytes();
    void readsTheCamerasTimeInItsZone();
};

void TestFreeCard::keepsWhatIsNotProven_data()
{
    // After a first sync brought all three: what is changed, the exit code,
    // what the run says, and what stays on the card.
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QString>("change"); // in DCIM/
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("told");
    QTest::addColumn<QStringList>("staying");
    QTest::newRow("is everything proven freed, and seen gone?")
        << QByteArrayList{} << "" << 0 << QByteArray("Card freed of 3 recordings")
        << QStringList();
    // Their bytes compared from where the camera says they start.
    QTest::newRow("does a camera that ignores ranges have its files proven and freed?")
        << QByteArrayList{"camera range ignore"} << "" << 0
        << QByteArray("Card freed of 3 recordings") << QStringList();
    QTest::newRow("does a camera that serves other ranges have its files proven and freed?")
        << QByteArrayList{"camera range wrong"} << "" << 0
        << QByteArray("Card freed of 3 recordings") << QStringList();
    QTest::newRow("does a delete answered 404 keep the file, and say so?")
        << QByteArrayList{"camera fault 404 delete"} << "" << 1
        << QByteArray("C_OLD.MP4: the camera answered 404")
        << QStringList{"A_NEW.MP4", "B_MID.MP4", "C_OLD.MP4"};
    QTest::newRow("does a delete answered Failed keep the file?")
        << QByteArrayList{"camera fault refuse delete"} << "" << 1
        << QByteArray("B_MID.MP4: the camera said: Failed")
        << QStringList{"A_NEW.MP4", "B_MID.MP4", "C_OLD.MP4"};
    QTest::newRow("does a recording whose time cannot be read stay?")
        << QByteArrayList{"camera time A_NEW.MP4 2025-13-99"} << "" << 1
        << QByteArray("A_NEW.MP4: its time cannot be read") << QStringList{"A_NEW.MP4"};
    QTest::newRow("is a link at a copy's name left alone, the recording fetched beside?")
        << QByteArrayList{} << "link" << 0 << QByteArray("Card freed of 3 recordings")
        << QStringList();
    QTest::newRow("is a copy of other bytes an hour off another recording, fetched and freed?")
        << QByteArrayList{} << "other bytes" << 0 << QByteArray("Card freed of 3 recordings")
        << QStringList();
}

void TestFreeCard::keepsWhatIsNotProven()
{
    QFETCH(QByteArrayList, commands);
    QFETCH(QString, change);
    const QByteArray cardOld = card("C_OLD.MP4");
    QCOMPARE(sync(), 0);
    const QString elsewhere = work->filePath("elsewhere.MP4");
    const QByteArray older(400000, 'x');
    if (change == "link") {
        QVERIFY(QFile::rename("DCIM/B_MID.MP4", elsewhere)
                && QFile::link(elsewhere, "DCIM/B_MID.MP4"));
    } else if (change == "other bytes") {
        // Its size, and its time as a daylight-saving change would move it.
        QFile copy("DCIM/C_OLD.MP4");
        QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write(older) == older.size()
                && copy.setFileTime(QDateTime::fromString(kCard[2].utc + QString("Z"),
                                                          Qt::ISODate).addSecs(3600),
                                    QFileDevice::FileModificationTime));
    }
    for (const QByteArray& command : commands)
        QVERIFY(sim->command(command));
    const int from = sim->output.size();
    QByteArray said;
    QTEST(sync({"--free-card"}, &said), "exitCode");
    QFETCH(QByteArray, told);
    QVERIFY2(said.contains(told), said.constData());
    QTEST(onCard(), "staying");
    // Every delete came right after a look at that very file, and the last
    // one is seen through by a listing.
    const QList<QByteArray> gets = sim->lines("camera: GET ", from);
    int deletes = 0;
    for (int i = 0; i < gets.size(); ++i) {
        const QByteArray line = gets[i];
        if (!line.contains("deletefile.cgi"))
            continue;
        ++deletes;
        const QByteArray name = line.mid(line.indexOf("100TQCAM/") + 9).split(' ').value(0);
        QVERIFY2(i > 0 && gets[i - 1] == "camera: GET /sd/DCIM/100TQCAM/" + name + " HTTP/1.1",
                 line.constData());
    }
    QCOMPARE(deletes, 3 - int(change.isEmpty() && told.contains("time")));
    if (onCard().size() < 3)
        QVERIFY(gets.last().contains("getfilelist.cgi"));
    if (change == "link") {
        // Named once, left alone, and the recording came beside it.
        QCOMPARE(said.count("DCIM/B_MID.MP4 is a link: it was left alone."), 1);
        QVERIFY(QFileInfo("DCIM/B_MID.MP4").isSymLink() && QFileInfo(elsewhere).size() > 0);
        QVERIFY(local("B_MID_20250201-100000.MP4") == bytesOf(elsewhere));
    }
    if (change == "other bytes") {
        // The recording came beside the other one, which keeps its bytes.
        QVERIFY(local("C_OLD.MP4") == older);
        QVERIFY(local("C_OLD_20250101-100000.MP4") == cardOld);
    }
}

void TestFreeCard::aClipThatGrowsDuringTheRunStays()
{
    // The oldest arrives first; while the large one comes, it grows on the
    // card (a camera that is still writing it).
    QVERIFY(sim->command("camera rate 400000"));
    QProcess tool;
    startSync(tool, {"--free-card"});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo("DCIM/partial downloads/B_MID.MP4").size() > 0, 10000);
    QVERIFY(QFileInfo("DCIM/C_OLD.MP4").size() == 400000);
    QVERIFY(sim->command("camera grow C_OLD.MP4 100000") && sim->command("camera rate 0"));
    QVERIFY(tool.waitForFinished(30000));
    const QByteArray said = tool.readAllStandardOutput() + tool.readAllStandardError();
    QCOMPARE(tool.exitCode(), 1);
    QVERIFY2(said.contains("C_OLD.MP4: it grew since it was copied"), said.constData());
    QCOMPARE(onCard(), QStringList{"C_OLD.MP4"});
    QCOMPARE(QFileInfo(sim->cardPath() + "/C_OLD.MP4").size(), 500000);
}

void TestFreeCard::asksForEveryFileByItsBytes()
{
    QVERIFY(sim->command("camera name A_NEW.MP4 B\\xc3\\xa9.MP4")
            && sim->command("camera name B_MID.MP4 \\xc2\\xbc\\xcf\\xf1.MP4"));
    int from = sim->output.size();
    QCOMPARE(sync(), 0);
    // Saved as a person reads the names, byte for byte.
    QVERIFY(local(QString::fromUtf8("Bé.MP4")) == card("A_NEW.MP4"));
    QVERIFY(local(QString::fromUtf8("录像.MP4")) == card("B_MID.MP4"));
    for (const QByteArray& bytes :
         {QByteArray("B\xc3\xa9.MP4"), QByteArray("\xc2\xbc\xcf\xf1.MP4")})
        QVERIFY2(sim->output.mid(from).contains("served file #")
                     && sim->output.mid(from).contains("getfileinfo.cgi?&-name=sd/DCIM/100TQCAM/"
                                                       + bytes + " HTTP/1.1"),
                 sim->output.mid(from).constData());
    // Known by those bytes the next time: nothing is fetched again.
    from = sim->output.size();
    QCOMPARE(sync({"--free-card"}), 0);
    QCOMPARE(sim->lines("camera: GET http", from), QList<QByteArray>());
    QVERIFY(sim->output.mid(from).contains("deletefile.cgi?&-name=sd/DCIM/100TQCAM/B\xc3\xa9.MP4"));
    QCOMPARE(onCard(), QStringList());
}

void TestFreeCard::readsTheCamerasTimeInItsZone()
{
    // A time the spring change skipped, and in DCIM/ an older, other
    // recording of the name and size.
    QVERIFY(sim->command("camera time C_OLD.MP4 20250330023000"));
    QVERIFY(QDir().mkdir("DCIM"));
    const QByteArray older(400000, 'o');
    QFile copy("DCIM/C_OLD.MP4");
    QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write(older) == older.size()
            && copy.setFileTime(QDateTime::currentDateTime().addYears(-1),
                                QFileDevice::FileModificationTime));
    copy.close();
    const QByteArray recording = card("C_OLD.MP4");
    QProcessEnvironment berlin = QProcessEnvironment::systemEnvironment();
    berlin.insert("TZ", "Europe/Berlin");
    QByteArray said;
    QCOMPARE(sync({"--free-card"}, &said, berlin), 0);
    const QString beside = "DCIM/C_OLD_20250330-023000.MP4";
    QVERIFY2(local("C_OLD_20250330-023000.MP4") == recording, said.constData());
    QCOMPARE(QFileInfo(beside).lastModified().toUTC(),
             QDateTime::fromString("2025-03-30T01:00:00Z", Qt::ISODate));
    QVERIFY(local("C_OLD.MP4") == older);
    QCOMPARE(onCard(), QStringList());
}

QTEST_GUILESS_MAIN(TestFreeCard)
#include "tst_freecard.moc"
