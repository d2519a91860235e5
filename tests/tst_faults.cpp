// Every fault the simulated device plays, on the camera or a unit, alone or while
// a listing or a download runs, against the window. Each row proves that the wait
// ends in its bound, that the user is told, that the copy in DCIM/ keeps its bytes,
// and that the tool links, lists and downloads once the fault is gone.
#include "cardfiletransfer.h"
#include "controlclientthread.h"
#include "mainwindow.h"
#include "simdevice.h"

#include <QtTest>
#include <QtWidgets>

#include <sys/resource.h>

#include <csignal>
#include <memory>

using Lines = QList<QByteArray>;

namespace {

// Link: the fault comes before the link button; Close: the window is closed
// while a download runs.
enum Activity { Link, Idle, Listing, Download, Close };

constexpr int kLossMs = (LinkChannel::kMaxSilentTicks + 1) * LinkChannel::kTickMs;
constexpr int kRequestMs = 2000;
// What each activity may take at most, and room for a loaded machine.
constexpr int kBoundMs[] = {kLossMs, kLossMs, kRequestMs, download::kSilenceTimeoutMs,
                            LinkChannel::kProbeTimeoutMs};
constexpr int kMarginMs = 5000;
const Lines kClear = {"camera fault none", "camera list normal", "camera rate 0",
                      "camera listen on", "control heartbeat on", "control accept normal",
                      "control flood off", "control listen on", "ground flood off", "<"};

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// "VmRSS:" (resident now) or "VmHWM:" (the peak since the last resetPeakMemory).
long memoryKiB(const QByteArray& field)
{
    const QByteArray text = bytesOf(QStringLiteral("/proc/self/status"));
    return text.mid(text.indexOf(field) + field.size(), 20).trimmed().split(' ').value(0).toLong();
}

bool resetPeakMemory()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

bool put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (SimDevice::program().isEmpty())
            QSKIP("The simulated device is not built");
        std::signal(SIGXFSZ, SIG_IGN);
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
        for (int i = 0; i < 300000; ++i)
            card.append(static_cast<char>((i * 131) ^ (i >> 9)));
    }
    void cleanup() { send("<"), win.reset(), QDir::setCurrent(QDir::tempPath()); }
    // Two halves, so that CTest can run them at once.
    void faultWhileListingOrLinking_data() { addFaults(false); }
    void faultWhileListingOrLinking() { faultEndsAsTheUserExpects(); }
    void faultWhileDownloading_data() { addFaults(true); }
    void faultWhileDownloading() { faultEndsAsTheUserExpects(); }

private:
    void addFaults(bool downloads);
    void faultEndsAsTheUserExpects();
    template<typename T> T* child(const char* name) { return win->findChild<T*>(name); }
    void click(const char* name) { QTest::mouseClick(child<QPushButton>(name), Qt::LeftButton); }
    QString status() { return win->statusBar()->currentMessage(); }
    QTableWidget* table() { return child<QTableWidget>("tableWidgetFileInfo"); }
    bool link() { return win->isLinked() || (click("pushButtonLinkMERRO"), win->isLinked()); }
    // Lists the card; the details come in the background until the pass ends.
    void list()
    {
        link(), click("pushButtonEnterTFcard");
        QTRY_VERIFY_WITH_TIMEOUT(!win->isReadingCardDetails(), kRequestMs + kMarginMs);
    }
    // Rows shown in italics are left from an earlier listing.
    QString rows()
    {
        const QTableWidgetItem* first = table()->item(0, 0);
        return QString::number(table()->rowCount()) + (first && first->font().italic() ? "~" : "");
    }
    void startDownload() { table()->selectRow(1), click("pushButtonDownloadFile"); }
    QProgressBar* bar() { return child<QProgressBar>("progressBarDownLoad"); }
    bool downloadEnded(int ms) { return QTest::qWaitFor([&] { return bar()->isHidden(); }, ms); }
    // A command; after '?' a line of the device's output to wait for; after '='
    // the name the download asks for; after '<' a cap on the size of files written
    // (a full disk: writes fail, nothing is killed); '~': past the link's loss bound,
    // every heartbeat reply of the control unit was good.
    bool send(const QByteArray& line)
    {
        if (line == "~") {
            QTest::qWait(kLossMs + 1000);
            const int from = sim->output.size();
            return sim->command("stats")
                   && QRegularExpression("control good=[1-9]\\d* bad=0 ")
                          .match(sim->output.mid(from)).hasMatch();
        }
        if (line.startsWith('='))
            return table()->item(1, 0)->setText(QString::fromUtf8(line.mid(1))), true;
        rlimit cap{};
        getrlimit(RLIMIT_FSIZE, &cap);
        cap.rlim_cur = line.size() > 1 ? line.mid(1).toULong() : cap.rlim_max;
        if (line.startsWith('<'))
            return setrlimit(RLIMIT_FSIZE, &cap) == 0;
        return line.startsWith('?') ? sim->waitFor(line.mid(1), mark, kLossMs + 2 * kMarginMs)
                                    : sim->command(line);
    }
    void openWindow()
    {
        win = std::make_unique<MainWindow>();
        win->setCardDeadlines(kRequestMs, kRequestMs), win->show();
    }

    std::unique_ptr<SimDevice> sim;
    std::unique_ptr<QTemporaryDir> work;
    std::unique_ptr<MainWindow> win;
    QByteArray card; // OK.MP4 as the camera has it
    // OK.MP4 in DCIM/: an earlier copy, taken while the clip was being written.
    QByteArray goodCopy() const { return card.left(4096); }
    int mark = 0;
};

void TestFaults::addFaults(bool downloads)
{
    QTest::addColumn<Lines>("commands"); // ';' between; '+': once the activity runs
    QTest::addColumn<int>("activity");
    QTest::addColumn<QString>("signal"); // on "indicator texts shown|status bar|rows"
    const auto rows = [downloads](const char* question, Activity activity,
                                  const QString& signal,
                                  std::initializer_list<const char*> commands) {
        if ((activity == Download || activity == Close) != downloads)
            return;
        for (const char* command : commands)
            QTest::addRow(question, command) << QByteArray(command).split(';') << int(activity)
                                             << signal;
    };
    // OK.MP4 in DCIM/ is an earlier copy, of another size.
    const QString onDisk = "0 of the 3 listed files are already in DCIM/\\.\\|3$";
    const QString listed = "\\|" + onDisk;
    const QString red = "^Link Fail!\\|";
    // The earlier listing's rows stay, in italics, and are said to be earlier ones.
    rows("does a listing under \"%s\" end, the list unread?", Listing,
         "\\|Could not read the card's file list\\. The rows shown are from an earlier "
         "listing\\.\\|3~$",
         {"camera fault trickle=700 count", "camera fault stall list", "camera fault hangup list",
          "camera listen deaf", "camera listen off"});
    // An error page is read like a list, which it is not: it lists nothing.
    rows("does a listing under \"%s\" end, the list unread?", Listing,
         "\\|Could not read the card's file list\\.\\|0$", {"camera fault 404 list"});
    // A detail that meets the deadline stops the rest; one that breaks, as at a cap, does not.
    rows("does a listing under \"%s\" wait once for the details?", Listing,
         "\\|The camera stopped answering: no details for 3 of 3 files\\.  " + onDisk,
         {"camera fault trickle=700 info", "camera fault stall info"});
    rows("does a listing under \"%s\" lose one detail only?", Listing,
         "\\|Details of 1 files could not be read\\.  " + onDisk,
         {"camera fault close-early info once", "camera fault 404 info once",
          "camera fault endless-header=40 info once",
          "camera fault endless-header=65536 info once"});
    rows("does a listing under \"%s\" list the card?", Listing, listed,
         {"camera fault extra-bytes cgi", "camera fault no-length cgi", "camera fault chunked cgi",
          "camera fault drip=64 cgi", "camera fault big-header cgi", "camera rate 4000"});
    rows("does a listing under \"%s\" leave out and tell?", Listing,
         "\\|8 entries of the card's list were left out: unsafe names or more than 9999 "
         "files\\.  " + onDisk, {"camera list hostile"});
    rows("does a listing stay free under \"%s\"?", Listing, listed,
         {"control flood on;control drop;?control: flood blocked"});

    const char* const failures[][2] = {
        {"camera fault close-early file", "transfer cut short"},
        // Without a length, only the listed size tells a whole file from a part.
        {"camera fault short-close file", "transfer cut short"},
        {"camera fault stall file", "the camera stopped sending"},
        {"camera fault hangup file", "no reply from the camera"},
        {"camera fault 404 file", "the camera answered 404"},
        {"camera fault chunked file", "unsupported reply"},
        {"camera fault endless-header=65536 file", "reply header too large"},
        {"camera listen deaf", "camera not reachable"},
        {"<100000", "cannot write to disk (disk full?)"}};
    const auto failed = [downloads](const char* question, const char* fault,
                                    const QString& name, const char* reason) {
        if (!downloads)
            return;
        const QString text = "|0 of 1 files downloaded; not downloaded: %1 (%2)|3";
        QTest::addRow(question, fault, reason)
            << QByteArray(fault).split(';') << int(Download)
            << QRegularExpression::escape(text.arg(name, reason)) + '$';
    };
    for (const auto& fault : failures)
        failed("does a file under \"%s\" fail as \"%s\"?", fault[0], "OK.MP4", fault[1]);
    for (const QString& name : QStringList{"../OK.MP4", "..", "", "a b.MP4", "C:OK.MP4", "x?y",
                                           "x&y", "x#y", "%2e%2e", "back\\slash", "bell\aname",
                                           QString(2000, 'A')})
        failed("is the name in \"%s\" refused as \"%s\"?", qPrintable('=' + name), name,
               "not a plain card file name");
    rows("does a file under \"%s\" arrive whole?", Download, "\\|1 of 1 files downloaded\\|3$",
         {"camera fault no-length file", "camera fault extra-bytes file",
          "camera fault big-header file", "camera fault drip=16384 file"});
    rows("does a file arrive while \"%s\"?", Download, red + "1 of 1 files downloaded\\|3$",
         {"camera rate 100000;+control heartbeat off"});
    rows("does closing the window end a file under \"%s\"?", Close, "",
         {"camera fault drip=2048 file",
          "camera rate 10000;ground flood on;ground drop;+?ground: flood blocked"});

    rows("does the link turn red under \"%s\"?", Idle, red,
         {"control heartbeat off", "control listen deaf;control drop"});
    rows("does the link turn red after the probe under \"%s\"?", Link,
         "^Link Success!,Link Fail!\\|", {"control accept none"});
    // Past the loss bound, every reply good, never red.
    rows("does the link stay green under \"%s\"?", Link, "^Link Success!\\|",
         {"control accept slow;+~"});
}

void TestFaults::faultEndsAsTheUserExpects()
{
    QFETCH(Lines, commands);
    QFETCH(int, activity);
    QFETCH(QString, signal);
    const int boundMs = kBoundMs[activity];
    sim = std::make_unique<SimDevice>();
    for (const char* name : {"A.JPG", "OK.MP4", "Z.MP4"})
        QVERIFY(put(sim->cardPath() + '/' + name, card.left(name[0] == 'O' ? 300000 : 9000)));
    QVERIFY(sim->start({"--interval", "300"}));
    work = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir::setCurrent(work->path()) && QDir().mkdir("DCIM"));
    QVERIFY(put("DCIM/OK.MP4", goodCopy()));
    openWindow();
    if (activity != Link)
        QVERIFY(link() && (list(), table()->rowCount() == 3));
    QStringList shown;
    connect(child<QLineEdit>("lineEditLinkMERRO"), &QLineEdit::textChanged, this,
            [&](const QString& text) { shown << text; });
    QVERIFY(resetPeakMemory());
    const long memoryBefore = memoryKiB("VmRSS:");
    // Link reports the window has to handle: a few a second keep it free.
    int reports = 0;
    QElapsedTimer faultClock, clock;
    faultClock.start();
    if (auto* control = win->findChild<ControlClientThread*>())
        connect(control, &ControlClientThread::updateLinkedFlag, this, [&] { ++reports; });

    // The fault, and the activity it meets.
    mark = sim->output.size();
    const auto sendAll = [&](bool during) {
        for (const QByteArray& command : commands)
            QVERIFY2(command.startsWith('+') != during || send(command.mid(during)), command);
    };
    sendAll(false);
    clock.start();
    if (activity == Link)
        click("pushButtonLinkMERRO");
    if (activity == Listing)
        list();
    if (activity == Download || activity == Close)
        startDownload();
    sendAll(true);
    if (activity == Download)
        QVERIFY(downloadEnded(boundMs + kMarginMs));
    if (activity == Close) {
        QTRY_VERIFY(bar()->value() > 0);
        clock.restart();
        win.reset();
    } else {
        const auto seen = [&] {
            return shown.join(',') + '|' + status() + '|' + rows();
        };
        const QRegularExpression expected(signal);
        QTRY_VERIFY2_WITH_TIMEOUT(expected.match(seen()).hasMatch(), qPrintable(seen()),
                                  boundMs + kMarginMs);
    }
    QVERIFY2(clock.elapsed() < boundMs + kMarginMs, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(reports <= 8 + 4 * faultClock.elapsed() / 1000, qPrintable(QString::number(reports)));
    const long grown = memoryKiB("VmHWM:") - memoryBefore;
    QVERIFY2(activity != Listing || MERRO_SANITIZED || grown < 4096,
             qPrintable(QString::number(grown) + " KiB"));

    // Nothing but the one file, under its name, complete or as it was; beside it at
    // most what a broken transfer kept for the next: a part of the card's file;
    // and the journal's line when it arrived.
    const auto all = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden;
    QStringList entries = QDir().entryList(all) + QDir("DCIM").entryList(all);
    const bool arrived = signal.endsWith("downloaded\\|3$");
    QCOMPARE(entries.removeAll("download journal.jsonl"), int(arrived));
    const QString partial = "DCIM/partial downloads/";
    const QByteArray part = bytesOf(partial + "OK.MP4");
    if (entries.removeAll("partial downloads") > 0 && !QDir(partial).isEmpty())
        QVERIFY(QDir(partial).entryList(all) == QStringList({"OK.MP4", "OK.MP4 description"})
                && !part.isEmpty() && card.startsWith(part));
    QCOMPARE(entries, (QStringList{"DCIM", "OK.MP4"}));
    if (signal.contains("not a plain"))
        QVERIFY(!sim->output.mid(mark).contains("camera: accepted"));
    QVERIFY(bytesOf("DCIM/OK.MP4") == (arrived ? card : goodCopy()));

    // Once the fault is gone: link, list and download as ever.
    for (const QByteArray& command : kClear)
        QVERIFY(send(command));
    if (commands.join(' ').contains("control")) {
        // The channel has to let go of the faulty connection and take a new one.
        mark = sim->output.size();
        QVERIFY(sim->command("control drop") && send("?control: accepted"));
    }
    if (!win)
        openWindow();
    QTRY_VERIFY_WITH_TIMEOUT(link(), kLossMs + kMarginMs);
    list();
    QVERIFY2(QRegularExpression("^[01] of the 3 listed files are already in DCIM/\\.$")
                 .match(status()).hasMatch() && table()->rowCount() == 3, qPrintable(status()));
    startDownload();
    QVERIFY(downloadEnded(kBoundMs[Download] + kMarginMs));
    QVERIFY2(status() == "1 of 1 files downloaded" && bytesOf("DCIM/OK.MP4") == card,
             qPrintable(status()));
    clock.restart();
    win.reset();
    QVERIFY2(clock.elapsed() < kMarginMs, qPrintable(QString::number(clock.elapsed())));
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
