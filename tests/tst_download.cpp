// The download queue against the simulated device: order, counters, the bar,
// the files on disk, files over 2 GiB, and the operator's control of long
// transfers: cancel, resume, retry, free space (faults, refused names and a
// full disk are in tst_faults). Private network only.
#include "mainwindow.h"
#include "simdevice.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStorageInfo>
#include <QTableWidget>
#include <QTimer>

#include <sys/mount.h>

#include <climits>
#include <memory>

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd  hh:mm:ss");
const QString kPartial = QStringLiteral("DCIM/partial downloads/");

// Distinct, non-repeating bytes per file, so a shifted or mixed-up body shows.
QByteArray bodyFor(const QString& name, int size)
{
    QByteArray body;
    body.reserve(size);
    quint32 x = qHash(name) | 1;
    while (body.size() < size) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        body.append(static_cast<char>(x));
    }
    return body;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void queueFetchesHighestRowsFirst();
    void stoppedTransferGoesOnNextTime_data();
    void stoppedTransferGoesOnNextTime();
    void retryMendsABrokenBodyOnly();
    void queueThatDoesNotFitIsRefused();
    void recordingOver2GiBArrivesWhole();
    void partialDownloadsNeverTakeACardName();
    void anOlderRecordingOfTheNameIsKept();
    void cardOperationsWaitForTheTransfer();

private:
    template<typename T> T* child(const char* name) { return window->findChild<T*>(name); }
    void openWindow();
    QByteArray putOnCard(const QString& name, int size);
    // Rows of card files, with their details (the time of the row's own) or
    // without, as before the listing's details pass reached them.
    void fillTable(const QStringList& names, bool details = true);
    void select(const QList<int>& rows);
    QString status() { return window->statusBar()->currentMessage(); }
    // File body bytes the camera has sent so far.
    qint64 sentByCamera()
    {
        const int from = sim.output.size();
        [&] { QVERIFY(sim.command("stats")); }();
        const QByteArray stats = sim.output.mid(from);
        return stats.mid(stats.indexOf("filebytes=") + 10).split(' ').value(0).toLongLong();
    }
    // Selects the rows, clicks "Download File" and waits until the queue is
    // over; returns the counter texts, each with the bar as it was then.
    QStringList download(const QList<int>& rows, int timeoutMs = 60000);
    QDateTime dateOfRow(int row) const { return QDateTime(QDate(2025, 3, 14), QTime(9, 30, row)); }

    SimDevice sim;
    QByteArray big; // BIG.MP4 on the card
    std::unique_ptr<QTemporaryDir> work;
    std::unique_ptr<MainWindow> window;
};

void TestDownload::initTestCase()
{
    if (SimDevice::program().isEmpty())
        QSKIP("The simulated device is not built");
    for (int i = 0; i < 8; ++i)
        putOnCard(QStringLiteral("F%1.MP4").arg(i), 1000 + i * 37003);
    big = putOnCard(QStringLiteral("BIG.MP4"), 1000000);
    QVERIFY(sim.start());
}

void TestDownload::init()
{
    work = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir::setCurrent(work->path()));
    openWindow();
}

void TestDownload::openWindow()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QTest::mouseClick(child<QPushButton>("pushButtonLinkMERRO"), Qt::LeftButton);
    QVERIFY(window->isLinked());
}

void TestDownload::cleanup()
{
    window.reset();
    QDir::setCurrent(QDir::tempPath());
    work.reset();
    for (const char* command : {"camera rate 0", "camera range on", "camera fault none"})
        QVERIFY(sim.command(command));
}

QByteArray TestDownload::putOnCard(const QString& name, int size)
{
    const QByteArray body = bodyFor(name, size);
    QFile file(sim.cardPath() + '/' + name);
    if (!file.open(QIODevice::WriteOnly) || file.write(body) != size)
        qWarning("cannot put %s on the card", qPrintable(name));
    return body;
}

void TestDownload::fillTable(const QStringList& names, bool details)
{
    auto* table = child<QTableWidget>("tableWidgetFileInfo");
    table->setRowCount(names.size());
    for (int row = 0; row < names.size(); ++row) {
        table->setItem(row, 0, new QTableWidgetItem(names[row]));
        auto* date = new QTableWidgetItem(dateOfRow(row).toString(kDateFormat));
        auto* bytes = new QTableWidgetItem;
        if (details) {
            date->setData(Qt::UserRole, dateOfRow(row));
            bytes->setData(Qt::UserRole, QFileInfo(sim.cardPath() + '/' + names[row]).size());
        }
        table->setItem(row, 1, date);
        table->setItem(row, 2, bytes);
    }
}

void TestDownload::select(const QList<int>& rows)
{
    auto* table = child<QTableWidget>("tableWidgetFileInfo");
    table->clearSelection();
    for (int row : rows)
        table->setRangeSelected(QTableWidgetSelectionRange(row, 0, row, 3), true);
}

QStringList TestDownload::download(const QList<int>& rows, int timeoutMs)
{
    auto* counter = child<QLineEdit>("lineEditDownloadProgress");
    auto* bar = child<QProgressBar>("progressBarDownLoad");
    select(rows);
    QStringList seen;
    connect(counter, &QLineEdit::textChanged, this, [&](const QString& text) {
        seen << QStringLiteral("%1 %2 %3").arg(text).arg(bar->maximum()).arg(bar->value());
    });
    QTest::mouseClick(child<QPushButton>("pushButtonDownloadFile"), Qt::LeftButton);
    const bool ended = QTest::qWaitFor([&] { return counter->text().isEmpty(); }, timeoutMs);
    counter->disconnect(this);
    if (!ended)
        seen << QStringLiteral("<still running>");
    return seen;
}

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

    QCOMPARE(QDir("DCIM").entryList(QDir::Files), (QStringList{"F2.MP4", "F5.MP4", "F7.MP4"}));
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
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(status(), QString("Cancelled: 0 of 2 files downloaded."));
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
    QCOMPARE(QDir("DCIM").entryList(QDir::Files), QStringList());
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
    QCOMPARE(QDir("DCIM").entryList(QDir::Files), QStringList{"BIG.MP4"});
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
    QVERIFY2(status().startsWith("Not enough free space in DCIM/: 1.91 MiB needed, "),
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

void TestDownload::partialDownloadsNeverTakeACardName()
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

void TestDownload::anOlderRecordingOfTheNameIsKept()
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

void TestDownload::cardOperationsWaitForTheTransfer()
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

QTEST_MAIN(TestDownload)
#include "tst_download.moc"
