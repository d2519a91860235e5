// The download queue against the simulated device: order, counters, the bar,
// the files on disk, files over 2 GiB, and the operator's control of long
// transfers: cancel, resume, retry, free space (faults, refused names and a
// full disk are in tst_faults). Private network only.
#include "downloadwindow.h"

class TestDownload : public DownloadWindowTest
{
    Q_OBJECT

private slots:
    void initTestCase() { startDevice(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }
    void queueFetchesHighestRowsFirst();
    void stoppedTransferGoesOnNextTime_data();
    void stoppedTransferGoesOnNextTime();
    void retryMendsABrokenBodyOnly();
    void queueThatDoesNotFitIsRefused();
    void recordingOver2GiBArrivesWhole();
    void aSilentCameraCostsOneWait();
};

void TestDownload::queueFetchesHighestRowsFirst()
{
    QStringList names;
    for (int i = 0; i < 8; ++i)
        names << QStringLiteral("F%1.MP4").arg(i);
    fillTable(names);
    const int from = sim.output.size();
    QTest::ignoreMessage(QtDebugMsg, "DCIM is not exist!");
    const QStringList seen = download({2, 7, 5});

    // Each counter change shows the bar as the previous file left it: full.
    const auto full = [](int row) { return QStringLiteral("%1 %1").arg(1000 + row * 37003); };
    QCOMPARE(seen.size(), 4);
    QVERIFY(seen[0].startsWith(QStringLiteral("1/3 ")));
    QCOMPARE(seen.mid(1), (QStringList{"2/3 " + full(7), "3/3 " + full(5), " " + full(2)}));
    auto served = sim.lines("camera: served file", from);
    for (QByteArray& line : served)
        line = line.mid(line.indexOf(" F")).trimmed();
    QCOMPARE(served, (QList<QByteArray>{"F7.MP4 260021 bytes", "F5.MP4 186015 bytes",
                                        "F2.MP4 75006 bytes"}));
    const QByteArray head = sim.lines("camera: head", from).value(0);
    QCOMPARE(head.mid(head.indexOf(" GET ")),
             " GET http://" + qgetenv("MERRO_CAMERA_HOST")
                 + "/sd/DCIM/100TQCAM/F7.MP4 HTTP/1.1\\r\\n"
                   "Accept:text/html,application/xhtml+xml,application/xml;q=0.9,"
                   "image/webp,*/*;q=0.8\\r\\nUser-Agent:Mozilla/5.0 (X11; Linux x86_64) "
                   "AppleWebKit/537(KHTML, like Gecko) Chrome/47.0.2526Safari/537.36\\r\\n"
                   "Host:" + qgetenv("MERRO_CAMERA_HOST") + "\\r\\nConnection:close\\r\\n\\r\\n");

    QCOMPARE(archived(), (QStringList{"F2.MP4", "F5.MP4", "F7.MP4"}));
    for (int row : {2, 5, 7}) {
        const QString path = QStringLiteral("DCIM/F%1.MP4").arg(row);
        QVERIFY2(readAll(path) == bodyFor(names[row], 1000 + row * 37003), qPrintable(path));
        QCOMPARE(QFileInfo(path).lastModified(), dateOfRow(row));
    }
    QVERIFY(child<QPushButton>("pushButtonDownloadFile")->isEnabled());
    QVERIFY(child<QProgressBar>("progressBarDownLoad")->isHidden());
    QVERIFY(child<QLineEdit>("lineEditDownloadLabel")->text().isEmpty());
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("3 of 3 files downloaded"));
}

void TestDownload::stoppedTransferGoesOnNextTime_data()
{
    QTest::addColumn<QString>("stop");     // how the first transfer is stopped
    QTest::addColumn<QByteArray>("range"); // how the camera then answers a range
    QTest::addColumn<int>("requests");     // for the file, the second time
    QTest::addColumn<bool>("restOnly");
    QTest::newRow("does Cancel keep what came, and the next download ask for the rest?")
        << "button" << QByteArray("on") << 1 << true;
    QTest::newRow("does a camera that ignores the range give the whole file again?")
        << "Esc" << QByteArray("ignore") << 1 << false;
    QTest::newRow("does a range that starts elsewhere start the file again?")
        << "Esc" << QByteArray("wrong") << 2 << false;
    QTest::newRow("does closing the window keep what came for the next download?")
        << "close" << QByteArray("on") << 1 << true;
}

void TestDownload::stoppedTransferGoesOnNextTime()
{
    QFETCH(QString, stop);
    QFETCH(QByteArray, range);
    QFETCH(bool, restOnly);
    // Slow enough to stop it a quarter in; the queue would go on with F1.
    QVERIFY(sim.command("camera rate 250000"));
    fillTable({"F1.MP4", "BIG.MP4"});
    select({0, 1});
    auto* bar = child<QProgressBar>("progressBarDownLoad");
    QTest::mouseClick(child<QPushButton>("pushButtonDownloadFile"), Qt::LeftButton);
    auto* cancel = child<QPushButton>("pushButtonCancelDownload");
    QVERIFY(cancel && cancel->isVisible());
    QTRY_VERIFY(bar->value() > bar->maximum() / 4);
    // What the window says cancelled is settled: its bytes described, up to
    // the last of them, for a download started the moment after.
    QByteArray settled;
    connect(window->statusBar(), &QStatusBar::messageChanged, this, [&](const QString& text) {
        if (text.startsWith("Cancelled"))
            settled = "synced=" + QByteArray::number(QFileInfo(kPartial + "BIG.MP4").size())
                      + '|' + readAll(kPartial + "BIG.MP4 description");
    });
    QElapsedTimer clock;
    clock.start();
    if (stop == "button")
        QTest::mouseClick(cancel, Qt::LeftButton);
    else if (stop == "Esc")
        QTest::keyClick(window.get(), Qt::Key_Escape);
    else
        window.reset();
    if (window) {
        QTRY_VERIFY(bar->isHidden());
        QVERIFY2(clock.elapsed() < 1000 * MERRO_TIME_SCALE,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(status(), QString("Cancelled: 0 of 2 files downloaded."));
        const QList<QByteArray> sizeAndDescription = settled.split('|');
        QVERIFY2(sizeAndDescription.value(1).contains(sizeAndDescription.value(0) + '\n'),
                 settled.constData());
        QVERIFY(child<QLineEdit>("lineEditDownloadProgress")->text().isEmpty()
                && child<QLineEdit>("lineEditDownloadLabel")->text().isEmpty()
                && child<QPushButton>("pushButtonDownloadFile")->isEnabled() && cancel->isHidden());
    } else {
        openWindow();
        fillTable({"F1.MP4", "BIG.MP4"});
    }
    // Kept where no card name reaches, and nothing under the recording's name.
    const QByteArray part = readAll(kPartial + "BIG.MP4");
    QVERIFY(part.size() > 0 && big.startsWith(part));
    QCOMPARE(archived(), QStringList());
    QCOMPARE(QDir(kPartial).entryList(QDir::Files),
             (QStringList{"BIG.MP4", "BIG.MP4 description"}));
    // A tail written after the last sync (a power cut) is not trusted.
    QFile tail(kPartial + "BIG.MP4");
    QVERIFY(tail.open(QIODevice::Append) && tail.write("garbage") == 7);
    tail.close();

    QVERIFY(sim.command("camera rate 0") && sim.command("camera range " + range));
    const int from = sim.output.size();
    const qint64 sentBefore = sentByCamera();
    download({1});
    QVERIFY(sim.command("camera range on"));
    QCOMPARE(status(), QString("1 of 1 files downloaded"));
    QVERIFY(readAll("DCIM/BIG.MP4") == big);
    QCOMPARE(archived(), QStringList{"BIG.MP4"});
    QCOMPARE(QDir(kPartial).entryList(QDir::Files), QStringList());
    // The rest asked for; after a range that does not fit, the whole file.
    QFETCH(int, requests);
    const QList<QByteArray> heads = sim.lines("camera: head", from);
    QVERIFY(heads.size() >= requests);
    QVERIFY(heads[0].contains("Connection:close\\r\\nRange: bytes="
                              + QByteArray::number(part.size()) + "-\\r\\n\\r\\n"));
    QVERIFY(requests == 1 || !heads[1].contains("Range:"));
    const qint64 sent = sentByCamera() - sentBefore;
    QVERIFY2(restOnly ? sent == big.size() - part.size() : sent >= big.size(),
             qPrintable(QString::number(sent)));
}

void TestDownload::retryMendsABrokenBodyOnly()
{
    fillTable({"BIG.MP4"});
    QStringList shown;
    connect(window->statusBar(), &QStatusBar::messageChanged, this,
            [&](const QString& text) { shown << text; });
    QVERIFY(sim.command("camera fault cut=300000 file once"));
    const qint64 sentBefore = sentByCamera();
    download({0});
    QCOMPARE(status(), QString("1 of 1 files downloaded"));
    QVERIFY(shown.contains("Connection lost; retrying (1 of 3)"));
    QVERIFY(readAll("DCIM/BIG.MP4") == big);
    QCOMPARE(sentByCamera() - sentBefore, qint64(big.size()));
    // An answer that another try cannot mend is taken at once.
    QVERIFY(sim.command("camera fault 404 file"));
    const int from = sim.output.size();
    download({0});
    QVERIFY(sim.command("camera fault none"));
    QCOMPARE(status(), QString("0 of 1 files downloaded; not downloaded: BIG.MP4 (the camera "
                               "answered 404)"));
    QCOMPARE(sim.lines("camera: head", from).size(), 1);
}

void TestDownload::queueThatDoesNotFitIsRefused()
{
    // A volume of 1 MiB, and two files of a million bytes each for it.
    QVERIFY(QDir().mkdir("small"));
    if (::mount("tmpfs", "small", "tmpfs", 0, "size=1m") != 0)
        QSKIP("No small volume can be mounted here");
    QVERIFY(QDir::setCurrent("small"));
    fillTable({"BIG.MP4", "BIG.MP4"});
    const int from = sim.output.size();
    const QStringList seen = download({0, 1}, 1000);
    QDir::setCurrent(work->path());
    ::umount2("small", MNT_DETACH);
    QVERIFY2(status().startsWith("Not enough free space in DCIM/: 1.91 MiB needed, ")
                 && status().endsWith(" BIG.MP4 alone needs 976.56 KiB."),
             qPrintable(status()));
    QCOMPARE(seen, QStringList());
    QVERIFY(!QDir("small/DCIM").exists());
    QCOMPARE(sim.lines("camera: head", from), QList<QByteArray>());
}

void TestDownload::recordingOver2GiBArrivesWhole()
{
    const qint64 size = (qint64(1) << 31) + 4096 + 5;
    if (QStorageInfo(work->path()).bytesAvailable() < size + (qint64(512) << 20))
        QSKIP("Not enough free disk space for a file over 2 GiB");
    // Sparse on the card; markers at both ends and across the 2 GiB mark.
    QFile card(sim.cardPath() + "/HUGE.MP4");
    QVERIFY(card.open(QIODevice::WriteOnly) && card.resize(size));
    const QList<QPair<qint64, QByteArray>> markers = {
        {0, "HEAD"}, {(qint64(1) << 31) - 3, "MIDDLE"}, {size - 4, "TAIL"}};
    for (const auto& marker : markers)
        QVERIFY(card.seek(marker.first) && card.write(marker.second) > 0);
    card.close();
    fillTable({"HUGE.MP4"});

    const QStringList seen = download({0}, 600000);
    QFile::remove(card.fileName());
    QCOMPARE(seen.size(), 2);
    // The bar scaled into its int range and ended full.
    const QStringList bar = seen[1].split(' ', Qt::SkipEmptyParts);
    QCOMPARE(bar.size(), 2);
    QVERIFY(bar[0].toLongLong() > INT_MAX / 2 && bar[0].toLongLong() <= INT_MAX);
    QCOMPARE(bar[1], bar[0]);
    QFile local("DCIM/HUGE.MP4");
    QCOMPARE(local.size(), size);
    QVERIFY(local.open(QIODevice::ReadOnly));
    for (const auto& marker : markers) {
        QVERIFY(local.seek(marker.first));
        QCOMPARE(local.read(marker.second.size()), marker.second);
    }
}

void TestDownload::aSilentCameraCostsOneWait()
{
    // Rows whose details have not come: each would be asked for first.
    window->setCardDeadlines(1000, 10000);
    fillTable({"F1.MP4", "F2.MP4", "F3.MP4"}, false);
    QVERIFY(sim.command("camera fault stall info"));
    const int from = sim.output.size();
    QElapsedTimer clock;
    clock.start();
    download({0, 1, 2});
    QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(status(), QString("0 of 3 files downloaded; not downloaded: F3.MP4 (the camera did"
                               " not answer), F2.MP4 (the camera did not answer), F1.MP4 (the"
                               " camera did not answer)"));
    QCOMPARE(sim.lines("camera: head", from).size(), 1);
    QVERIFY(!QDir("DCIM").exists("F3.MP4"));
}

QTEST_MAIN(TestDownload)
#include "tst_download.moc"
