// Where downloads go and what they share the camera with: partial downloads
// never under a card name, an older recording of the name kept, and card
// operations clicked during a transfer. Private network only.
#include "downloadwindow.h"

class TestDownloadNames : public DownloadWindowTest
{
    Q_OBJECT

private slots:
    void initTestCase() { startDevice(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }
    void partialDownloadsNeverTakeACardName();
    void anOlderRecordingOfTheNameIsKept();
    void cardOperationsWaitForTheTransfer();
};

void TestDownloadNames::partialDownloadsNeverTakeACardName()
{
    // Two recordings whose names a partial download's files once had; the
    // rows have no details yet, as before the details pass reaches them.
    const QByteArray a = putOnCard("A.MP4", 2000000);
    const QByteArray aPart = putOnCard("A.MP4.part", 100000);
    fillTable({"A.MP4", "A.MP4.part"}, false);
    QVERIFY(sim.command("camera rate 400000"));
    auto* bar = child<QProgressBar>("progressBarDownLoad");
    const int from = sim.output.size();
    select({0});
    QTest::mouseClick(child<QPushButton>("pushButtonDownloadFile"), Qt::LeftButton);
    QTRY_VERIFY(bar->value() > bar->maximum() / 4);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    QTRY_VERIFY(bar->isHidden());
    QVERIFY(sim.command("camera rate 0"));
    download({1});
    QCOMPARE(status(), QString("1 of 1 files downloaded"));
    download({0});
    QCOMPARE(status(), QString("1 of 1 files downloaded"));
    // Each local file holds exactly its recording; the first, whose details
    // were asked for before its transfer, went on from what it kept.
    QVERIFY(readAll("DCIM/A.MP4") == a);
    QVERIFY(readAll("DCIM/A.MP4.part") == aPart);
    const QList<QByteArray> heads = sim.lines("camera: head", from);
    QVERIFY(heads.value(0).contains("getfileinfo.cgi?&-name=sd/DCIM/100TQCAM/A.MP4 "));
    QVERIFY(heads.last().contains("/A.MP4 ") && heads.last().contains("Range: bytes="));
    auto* table = child<QTableWidget>("tableWidgetFileInfo");
    for (int row : {0, 1})
        QCOMPARE(table->item(row, 0)->toolTip().section('\n', 1), QString("Already in DCIM/"));
    QFile::remove(sim.cardPath() + "/A.MP4");
    QFile::remove(sim.cardPath() + "/A.MP4.part");
}

void TestDownloadNames::anOlderRecordingOfTheNameIsKept()
{
    // Last week's F1.MP4, from a card that has been formatted since.
    QVERIFY(QDir().mkdir("DCIM"));
    QFile old("DCIM/F1.MP4");
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("last week") == 9 && old.flush()
            && old.setFileTime(dateOfRow(0).addDays(-7), QFileDevice::FileModificationTime));
    old.close();
    fillTable({"F1.MP4"});
    download({0});
    QCOMPARE(readAll("DCIM/F1.MP4"), QByteArray("last week"));
    const QString beside = "F1_" + dateOfRow(0).toString("yyyyMMdd-HHmmss") + ".MP4";
    QVERIFY(readAll("DCIM/" + beside) == bodyFor("F1.MP4", 38003));
    const QTableWidgetItem* row = child<QTableWidget>("tableWidgetFileInfo")->item(0, 0);
    QVERIFY(!row->icon().isNull());
    QCOMPARE(row->toolTip(), "F1.MP4\nAlready in DCIM/ as " + beside);
}

void TestDownloadNames::cardOperationsWaitForTheTransfer()
{
    // Every question answered Yes.
    QTimer answer;
    QStringList asked;
    answer.callOnTimeout(this, [&asked] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        asked << box->text();
        (box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes)
                                       : box->button(QMessageBox::Ok))->click();
    });
    answer.start(20);
    auto* bar = child<QProgressBar>("progressBarDownLoad");
    auto* table = child<QTableWidget>("tableWidgetFileInfo");
    const auto clickDuringTransfer = [&](const char* button) {
        QTRY_VERIFY(bar->isVisible() && bar->value() > bar->maximum() / 5);
        QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
    };
    QStringList shown;
    connect(window->statusBar(), &QStatusBar::messageChanged, this,
            [&](const QString& text) { shown << text; });
    const int from = sim.output.size();
    QVERIFY(sim.command("camera rate 500000"));
    fillTable({"F3.MP4", "BIG.MP4"});
    select({0, 1});
    QTest::mouseClick(child<QPushButton>("pushButtonDownloadFile"), Qt::LeftButton);
    // A listing, then a delete of the file that waits in the queue.
    clickDuringTransfer("pushButtonEnterTFcard");
    QCOMPARE(table->rowCount(), QDir(sim.cardPath()).entryList(QDir::Files).size());
    table->selectRow(table->findItems("F3.MP4", Qt::MatchExactly).value(0)->row());
    clickDuringTransfer("pushButtonDeleteFile");
    QTRY_VERIFY_WITH_TIMEOUT(shown.contains("1 of 1 files downloaded"), 20000);
    QVERIFY(readAll("DCIM/BIG.MP4") == big);
    QVERIFY(!QFile::exists("DCIM/F3.MP4"));

    // A format ends the queue and says so; nothing is left under the name.
    QVERIFY(QFile::remove("DCIM/BIG.MP4"));
    table->selectRow(table->findItems("BIG.MP4", Qt::MatchExactly).value(0)->row());
    QTest::mouseClick(child<QPushButton>("pushButtonDownloadFile"), Qt::LeftButton);
    clickDuringTransfer("pushButtonFormatCard");
    QTRY_COMPARE(status(), QString("Download stopped to format the card: 0 of 1 files"
                                   " downloaded."));
    QVERIFY(!QFile::exists("DCIM/BIG.MP4") && bar->isHidden());
    QVERIFY(asked.value(1).endsWith("\n\nA download is running: it will be stopped first."));
    QVERIFY(sim.command("stats"));
    QVERIFY(sim.lines("sim: ok stats", from).value(0).endsWith(" overlaps=0"));
    for (int i = 0; i < 8; ++i)
        putOnCard(QStringLiteral("F%1.MP4").arg(i), 1000 + i * 37003);
    putOnCard(QStringLiteral("BIG.MP4"), 1000000);
}

QTEST_MAIN(TestDownloadNames)
#include "tst_downloadnames.moc"
