// The download queue against the simulated device: order, counters, the bar,
// the files on disk and every way a transfer can go wrong. Private network only.
#include "mainwindow.h"
#include "screenshot.h"
#include "simdevice.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStorageInfo>
#include <QTableWidget>

#include <sys/resource.h>

#include <climits>
#include <csignal>
#include <memory>

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd  hh:mm:ss");
const QByteArray kGoodCopy = "an earlier, good copy";

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
    void queueFetchesLowestRowsFirst();
    void oneFileEndsAsTheUserExpects_data();
    void oneFileEndsAsTheUserExpects();
    void recordingOver2GiBArrivesWhole();
    void closingTheWindowStopsTheDownload();

private:
    template<typename T> T* child(const char* name) { return window->findChild<T*>(name); }
    QByteArray putOnCard(const QString& name, int size);
    void fillTable(const QStringList& names);
    // Selects the rows, clicks "Download File" and waits until the queue is
    // over; returns the counter texts, each with the bar as it was then.
    QStringList download(const QList<int>& rows, int timeoutMs = 60000);
    QDateTime dateOfRow(int row) const { return QDateTime(QDate(2025, 3, 14), QTime(9, 30, row)); }

    SimDevice sim;
    std::unique_ptr<QTemporaryDir> work;
    std::unique_ptr<MainWindow> window;
};

void TestDownload::initTestCase()
{
    if (SimDevice::program().isEmpty())
        QSKIP("The simulated device is not built");
    // A full disk is played by a file size limit: writes fail, nothing is killed.
    std::signal(SIGXFSZ, SIG_IGN);
    for (int i = 0; i < 8; ++i)
        putOnCard(QStringLiteral("F%1.MP4").arg(i), 1000 + i * 37003);
    putOnCard(QStringLiteral("OK.MP4"), 300000);
    QVERIFY(sim.start());
}

void TestDownload::init()
{
    work = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir::setCurrent(work->path()));
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
}

QByteArray TestDownload::putOnCard(const QString& name, int size)
{
    const QByteArray body = bodyFor(name, size);
    QFile file(sim.cardPath() + '/' + name);
    if (!file.open(QIODevice::WriteOnly) || file.write(body) != size)
        qWarning("cannot put %s on the card", qPrintable(name));
    return body;
}

void TestDownload::fillTable(const QStringList& names)
{
    auto* table = child<QTableWidget>("tableWidgetFileInfo");
    table->setRowCount(names.size());
    for (int row = 0; row < names.size(); ++row) {
        table->setItem(row, 0, new QTableWidgetItem(names[row]));
        table->setItem(row, 1, new QTableWidgetItem(dateOfRow(row).toString(kDateFormat)));
    }
}

QStringList TestDownload::download(const QList<int>& rows, int timeoutMs)
{
    auto* table = child<QTableWidget>("tableWidgetFileInfo");
    auto* counter = child<QLineEdit>("lineEditDownloadProgress");
    auto* bar = child<QProgressBar>("progressBarDownLoad");
    table->clearSelection();
    for (int row : rows)
        table->setRangeSelected(QTableWidgetSelectionRange(row, 0, row, 3), true);
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

void TestDownload::queueFetchesLowestRowsFirst()
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

void TestDownload::oneFileEndsAsTheUserExpects_data()
{
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("fileSizeLimit");
    QTest::addColumn<QString>("reason"); // empty: the file arrives whole

    const auto row = [](const char* question, const char* fault, const QString& name,
                        const char* reason, int fileSizeLimit = 0) {
        QTest::newRow(question) << QByteArray(fault) << name << fileSizeLimit
                                << QString::fromLatin1(reason);
    };
    const QString ok = QStringLiteral("OK.MP4");
    row("does one file arrive whole, replacing an older copy?", "", ok, "");
    row("is a reply without a length read to the close?", "no-length", ok, "");
    row("are bytes beyond the length left out?", "extra-bytes", ok, "");
    row("is a file gone from the card (404) reported, no page saved?", "", "GONE.MP4",
        "the camera answered 404");
    row("is a chunked reply refused?", "chunked", ok, "unsupported reply");
    row("is an early close a failure?", "close-early", ok, "transfer cut short");
    row("is a camera that hangs up a failure?", "hangup", ok, "no reply from the camera");
    row("does a stalled camera end the file?", "stall", ok, "the camera stopped sending");
    row("is a full disk a failure, not a short file?", "", ok,
        "cannot write to disk (disk full?)", 100000);
    const char* refused = "not a plain card file name";
    for (const char* name : {"../OK.MP4", "..", "", "a b.MP4", "C:OK.MP4", "x?y", "x&y", "x#y",
                             "%2e%2e", "back\\slash"})
        QTest::addRow("is the name \"%s\" refused?", name) << QByteArray() << name << 0 << refused;
    row("is a name with a control byte refused?", "", "bell\aname", refused);
    row("is a name too long for the request refused?", "", QString(2000, 'A'), refused);
}

void TestDownload::oneFileEndsAsTheUserExpects()
{
    QFETCH(QByteArray, fault);
    QFETCH(QString, name);
    QFETCH(int, fileSizeLimit);
    QFETCH(QString, reason);

    QVERIFY(QDir().mkdir("DCIM"));
    QFile good("DCIM/OK.MP4");
    QVERIFY(good.open(QIODevice::WriteOnly) && good.write(kGoodCopy) > 0);
    good.close();
    if (!fault.isEmpty())
        QVERIFY(sim.command("camera fault " + fault + " file once"));
    fillTable({name});
    const int from = sim.output.size();
    rlimit unlimited{};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    if (fileSizeLimit > 0) {
        const rlimit limited{rlim_t(fileSizeLimit), unlimited.rlim_max};
        QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
    }
    const QStringList seen = download({0});
    setrlimit(RLIMIT_FSIZE, &unlimited);

    QCOMPARE(seen.size(), 2);
    QVERIFY(seen[0].startsWith(QStringLiteral("1/1 ")));
    QVERIFY(child<QPushButton>("pushButtonDownloadFile")->isEnabled());
    QVERIFY(child<QProgressBar>("progressBarDownLoad")->isHidden());
    // Nothing but the one card file's name, nowhere but in DCIM/.
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{"DCIM"});
    QCOMPARE(QDir("DCIM").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{"OK.MP4"});
    const QString message = window->statusBar()->currentMessage();
    if (reason.isEmpty()) {
        QCOMPARE(message, QStringLiteral("1 of 1 files downloaded"));
        QVERIFY(readAll("DCIM/OK.MP4") == bodyFor(QStringLiteral("OK.MP4"), 300000));
        return;
    }
    QCOMPARE(message, QStringLiteral("0 of 1 files downloaded; not downloaded: %1 (%2)")
                          .arg(name, reason));
    QCOMPARE(readAll("DCIM/OK.MP4"), kGoodCopy);
    if (reason == QLatin1String("not a plain card file name"))
        QCOMPARE(sim.lines("camera: accepted", from).size(), 0);
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

void TestDownload::closingTheWindowStopsTheDownload()
{
    putOnCard(QStringLiteral("SLOW.MP4"), 400000);
    QVERIFY(sim.command("camera fault drip=2048 file once"));
    fillTable({"SLOW.MP4"});
    child<QTableWidget>("tableWidgetFileInfo")->selectRow(0);
    QTest::mouseClick(child<QPushButton>("pushButtonDownloadFile"), Qt::LeftButton);
    auto* bar = child<QProgressBar>("progressBarDownLoad");
    QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 400000 / 4, 20000);
    // While it runs, the body is in a temporary file, never under the name.
    QVERIFY(!QFile::exists("DCIM/SLOW.MP4"));
    saveScreenshot(window.get(), QStringLiteral("download-in-progress"));

    window.reset();
    QCOMPARE(QDir("DCIM").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
}

QTEST_MAIN(TestDownload)
#include "tst_download.moc"
