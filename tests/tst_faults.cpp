// Every fault the simulated device can play, on the camera or a unit, alone or
// while a listing or a download runs, against the real window. Each row proves
// that the wait ends within its bound, that the user is told, that the file in
// DCIM/ keeps its bytes, and that the tool links, lists and downloads again once
// the fault is gone. Runs inside the private network only.
#include "cardfiletransfer.h"
#include "controlclientthread.h"
#include "linkchannel.h"
#include "mainwindow.h"
#include "simdevice.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

using Lines = QList<QByteArray>;

namespace {

// Link: the fault is set before the link button is clicked; Close: the window
// is closed while a download runs.
enum Activity { Link, Idle, Listing, Download, Close };

constexpr int kLossMs = (LinkChannel::kMaxSilentTicks + 1) * LinkChannel::kTickMs;
constexpr int kProbeMs = LinkChannel::kProbeTimeoutMs;
constexpr int kRequestMs = 2000;
constexpr int kSilenceMs = download::kSilenceTimeoutMs;
// Room for a loaded machine running the tests under a sanitizer.
constexpr int kMarginMs = 5000;
const QByteArray kGoodCopy = "an earlier, good copy";
const Lines kClear = {"camera fault none", "camera list normal", "camera rate 0",
                      "camera listen on", "control heartbeat on", "control accept normal",
                      "control flood off", "control listen on", "ground flood off",
                      "ground listen on"};

// The peak resident size of this process so far, in KiB.
long peakMemoryKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    const QByteArray text = status.readAll();
    const int at = text.indexOf("VmHWM:");
    return at < 0 ? -1 : text.mid(at + 6, 20).trimmed().split(' ').value(0).toLong();
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (SimDevice::program().isEmpty())
            QSKIP("The simulated device is not built");
        // The channels' connection log would only bury the failures.
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
        rowClock.start();
    }
    void cleanup()
    {
        qInfo("ROWTIME %6lld %s", rowClock.elapsed(), QTest::currentDataTag());
        window.reset();
        QDir::setCurrent(QDir::tempPath());
    }
    void faultEndsAsTheUserExpects_data();
    void faultEndsAsTheUserExpects();

private:
    template<typename T> T* child(const char* name) { return window->findChild<T*>(name); }
    void click(const char* name) { QTest::mouseClick(child<QAbstractButton>(name), Qt::LeftButton); }
    QString indicator() { return child<QLineEdit>("lineEditLinkMERRO")->text(); }
    QString status() { return window->statusBar()->currentMessage(); }
    QTableWidget* table() { return child<QTableWidget>("tableWidgetFileInfo"); }
    bool linkUp()
    {
        if (!window->isLinked())
            click("pushButtonLinkMERRO");
        return window->isLinked() && indicator() == QLatin1String("Link Success!");
    }
    void list()
    {
        table()->setRowCount(0);
        linkUp();
        click("pushButtonEnterTFcard");
    }
    void startDownload()
    {
        table()->selectRow(1); // OK.MP4
        click("pushButtonDownloadFile");
    }
    bool downloadEnded(int timeoutMs)
    {
        auto* counter = child<QLineEdit>("lineEditDownloadProgress");
        return QTest::qWaitFor([counter] { return counter->text().isEmpty(); }, timeoutMs);
    }
    // A command, or with '?' a wait for a line of the device's output.
    bool send(const QByteArray& line, int timeoutMs)
    {
        return line.startsWith('?') ? sim->waitFor(line.mid(1), mark, timeoutMs)
                                    : sim->command(line);
    }
    void openWindow()
    {
        window = std::make_unique<MainWindow>();
        window->setCardDeadlines(kRequestMs, kRequestMs);
        window->show();
    }

    std::unique_ptr<SimDevice> sim;
    std::unique_ptr<QTemporaryDir> work;
    std::unique_ptr<MainWindow> window;
    QByteArray card; // OK.MP4 as the camera has it
    int mark = 0;
    QElapsedTimer rowClock;
};

void TestFaults::faultEndsAsTheUserExpects_data()
{
    QTest::addColumn<Lines>("commands"); // '+': once the activity runs; '?': wait for output
    QTest::addColumn<int>("activity");
    QTest::addColumn<int>("boundMs");
    // Matched against "indicator texts shown|status bar|table rows".
    QTest::addColumn<QString>("signal");
    const auto row = [](const char* question, Activity activity, int boundMs,
                        const QString& signal, const Lines& commands) {
        QTest::newRow(question) << commands << int(activity) << boundMs << signal;
    };
    const QString listed = "\\|\\|3$";
    const QString unlisted = "\\|Could not read the card's file list\\.\\|0$";
    const QString oneDetailLost = "\\|Details of 1 files could not be read\\.\\|3$";
    const QString arrived = "\\|1 of 1 files downloaded\\|3$";
    const auto lost = [](const char* reason) {
        return QRegularExpression::escape(
                   QStringLiteral("|0 of 1 files downloaded; not downloaded: OK.MP4 (%1)|3")
                       .arg(reason)) + '$';
    };
    const QString red = "^Link Fail!\\|";

    row("does a count trickling in end at the deadline?", Listing, kRequestMs, unlisted,
        {"camera fault trickle=700 count"});
    row("does a list that never comes end at the deadline?", Listing, kRequestMs, unlisted,
        {"camera fault stall list"});
    row("does a camera that hangs up end the listing?", Listing, kRequestMs, unlisted,
        {"camera fault hangup list"});
    row("is a list answered 404 not taken for a list?", Listing, kRequestMs, unlisted,
        {"camera fault 404 list"});
    row("does a deaf camera end the listing at the deadline?", Listing, kRequestMs, unlisted,
        {"camera listen deaf"});
    row("is a camera that refuses connections told?", Listing, kRequestMs, unlisted,
        {"camera listen off"});
    row("does a stalled detail cost one wait, not one per file?", Listing, kRequestMs,
        "\\|The camera stopped answering: no details for 3 of 3 files\\.\\|3$",
        {"camera fault stall info"});
    row("is a detail answered 404 skipped?", Listing, kRequestMs, oneDetailLost,
        {"camera fault 404 info once"});
    row("is a detail cut short skipped, the rest listed?", Listing, kRequestMs, oneDetailLost,
        {"camera fault close-early info once"});
    // The caps, not the deadline, stop these: a deadline reads "stopped answering".
    row("does a detail head of short lines without end stop at a cap?", Listing, kRequestMs,
        oneDetailLost, {"camera fault endless-header=40 info once"});
    row("does a detail head of long lines without end stop at a cap?", Listing, kRequestMs,
        oneDetailLost, {"camera fault endless-header=65536 info once"});
    row("are bytes beyond a reply's length kept out of the next?", Listing, kRequestMs, listed,
        {"camera fault extra-bytes cgi"});
    row("are replies without a length read to the close?", Listing, kRequestMs, listed,
        {"camera fault no-length cgi"});
    row("are chunked replies read?", Listing, kRequestMs, listed, {"camera fault chunked cgi"});
    row("are replies in drips read?", Listing, kRequestMs, listed, {"camera fault drip=64 cgi"});
    row("are long heads read?", Listing, kRequestMs, listed, {"camera fault big-header cgi"});
    row("is a slow camera listed whole?", Listing, kRequestMs, listed, {"camera rate 4000"});
    row("are hostile entries left out and the user told?", Listing, kRequestMs,
        "\\|8 entries of the card's list were left out: unsafe names or more than 9999 "
        "files\\.\\|3$", {"camera list hostile"});

    row("is an early close a failure?", Download, kRequestMs, lost("transfer cut short"),
        {"camera fault close-early file"});
    row("does a stalled camera end the file?", Download, kSilenceMs,
        lost("the camera stopped sending"), {"camera fault stall file"});
    row("is a camera that hangs up a failure?", Download, kRequestMs,
        lost("no reply from the camera"), {"camera fault hangup file"});
    row("is a file gone from the card (404) told, no page saved?", Download, kRequestMs,
        lost("the camera answered 404"), {"camera fault 404 file"});
    row("is a chunked file refused?", Download, kRequestMs, lost("unsupported reply"),
        {"camera fault chunked file"});
    row("does a file head without end stop at a cap?", Download, kSilenceMs,
        lost("reply header too large"), {"camera fault endless-header=65536 file"});
    row("does a deaf camera fail the file at the connect bound?", Download,
        download::kConnectTimeoutMs, lost("camera not reachable"), {"camera listen deaf"});
    row("is a file without a length read to the close?", Download, kRequestMs, arrived,
        {"camera fault no-length file"});
    row("are bytes beyond the length left out?", Download, kRequestMs, arrived,
        {"camera fault extra-bytes file"});
    row("is a file with a long head saved?", Download, kRequestMs, arrived,
        {"camera fault big-header file"});
    row("is a file in drips saved whole?", Download, kSilenceMs, arrived,
        {"camera fault drip=16384 file"});
    row("does closing the window stop a trickling file?", Close, kProbeMs, "",
        {"camera fault trickle=20 file", "+?camera: fault trickle"});

    row("does a silent unit turn red within the loss bound?", Idle, kLossMs, red,
        {"control heartbeat off"});
    row("does a unit that drops and turns deaf turn red?", Idle, kProbeMs, red,
        {"control listen deaf", "control drop"});
    row("does a unit that lets nothing in after the probe turn red?", Link, kLossMs,
        "^Link Success!,Link Fail!\\|", {"control accept none"});
    row("does a unit that lets the channel in on its SYN retry stay green?", Link,
        kLossMs + 2 * kProbeMs, "^Link Success!\\|", {"control accept slow", "+?good=22 bad=0"});
    row("does a flooding unit leave the window free to list?", Listing, kRequestMs, listed,
        {"control flood on", "control drop", "?control: flood blocked"});
    row("does the window close while a unit never reads?", Close, kProbeMs, "",
        {"camera rate 10000", "ground flood on", "ground drop", "+?ground: flood blocked #3"});
    row("does a ground unit that refuses the probe leave the link red?", Link, kProbeMs, red,
        {"ground listen off"});
    row("does a deaf ground unit leave the link red?", Link, 2 * kProbeMs, red,
        {"ground listen deaf"});
    row("does a download go on while the unit falls silent?", Download, kLossMs,
        red + "1 of 1 files downloaded\\|3$", {"camera rate 100000", "+control heartbeat off"});
    row("does a listing go on while the unit drops?", Listing, kRequestMs, listed,
        {"camera rate 3000", "+control drop"});
}

void TestFaults::faultEndsAsTheUserExpects()
{
    QFETCH(Lines, commands);
    QFETCH(int, activity);
    QFETCH(int, boundMs);
    QFETCH(QString, signal);
    sim = std::make_unique<SimDevice>();
    card.clear();
    for (int i = 0; i < 300000; ++i)
        card.append(static_cast<char>((i * 131) ^ (i >> 9)));
    for (const auto& file : {qMakePair(QStringLiteral("A.JPG"), card.left(5000)),
                             qMakePair(QStringLiteral("OK.MP4"), card),
                             qMakePair(QStringLiteral("Z.MP4"), card.right(20000))}) {
        QFile onCard(sim->cardPath() + '/' + file.first);
        QVERIFY(onCard.open(QIODevice::WriteOnly) && onCard.write(file.second) > 0);
    }
    QVERIFY(sim->start({"--interval", "300"}));
    work = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir::setCurrent(work->path()) && QDir().mkdir("DCIM"));
    QFile good("DCIM/OK.MP4");
    QVERIFY(good.open(QIODevice::WriteOnly) && good.write(kGoodCopy) > 0);
    good.close();
    openWindow();
    if (activity != Link) {
        QVERIFY(linkUp());
        list();
        QCOMPARE(table()->rowCount(), 3);
    }
    QStringList shown;
    connect(child<QLineEdit>("lineEditLinkMERRO"), &QLineEdit::textChanged, this,
            [&](const QString& text) { shown << text; });
    const long memoryBefore = peakMemoryKiB();
    // Link reports the window has to handle: a few a second keep it free.
    int reports = 0;
    QElapsedTimer faultClock;
    faultClock.start();
    if (auto* control = window->findChild<ControlClientThread*>())
        connect(control, &ControlClientThread::updateLinkedFlag, this, [&] { ++reports; });

    // The fault, and the activity it meets.
    mark = sim->output.size();
    Lines during;
    for (const QByteArray& command : commands) {
        if (command.startsWith('+'))
            during << command.mid(1);
        else
            QVERIFY2(send(command, boundMs + kMarginMs), command.constData());
    }
    const auto sendDuring = [&] {
        for (const QByteArray& command : during)
            QVERIFY2(send(command, boundMs + kMarginMs), command.constData());
    };
    QElapsedTimer clock;
    clock.start();
    if (activity == Link)
        click("pushButtonLinkMERRO");
    if (activity == Listing) {
        QTimer kick; // sends while the listing's own loop runs
        kick.setSingleShot(true);
        connect(&kick, &QTimer::timeout, this, sendDuring);
        kick.start(0);
        list();
    } else {
        if (activity == Download || activity == Close)
            startDownload();
        sendDuring();
    }
    if (activity == Download)
        QVERIFY(downloadEnded(boundMs + kMarginMs));
    if (activity == Close) {
        clock.restart();
        window.reset();
    } else {
        const auto seen = [&] {
            return shown.join(',') + '|' + status() + '|' + QString::number(table()->rowCount());
        };
        const QRegularExpression expected(signal);
        QTRY_VERIFY2_WITH_TIMEOUT(expected.match(seen()).hasMatch(), qPrintable(seen()),
                                  boundMs + kMarginMs);
    }
    QVERIFY2(clock.elapsed() < boundMs + kMarginMs, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(reports <= 8 + 4 * faultClock.elapsed() / 1000, qPrintable(QString::number(reports)));
    const long grownKiB = peakMemoryKiB() - memoryBefore;
    QVERIFY2(activity != Listing || grownKiB < 4096, qPrintable(QString::number(grownKiB)));

    // Nothing but the one file, under its name, complete or as it was.
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{"DCIM"});
    QCOMPARE(QDir("DCIM").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{"OK.MP4"});
    const bool arrived = signal.endsWith(QLatin1String("downloaded\\|3$"));
    QVERIFY(bytesOf("DCIM/OK.MP4") == (arrived ? card : kGoodCopy));

    // Once the fault is gone: link, list and download as ever.
    for (const QByteArray& command : kClear)
        QVERIFY(sim->command(command));
    if (commands.join(' ').contains("control")) {
        // The channel has to let go of the faulty connection and take a new one.
        mark = sim->output.size();
        QVERIFY(sim->command("control drop"));
        QVERIFY(sim->waitFor("control: accepted", mark, kLossMs + kMarginMs));
    }
    if (!window)
        openWindow();
    QTRY_VERIFY_WITH_TIMEOUT(linkUp(), kLossMs + kMarginMs);
    list();
    QCOMPARE(table()->rowCount(), 3);
    QCOMPARE(status(), QString());
    startDownload();
    QVERIFY(downloadEnded(kSilenceMs + kMarginMs));
    QCOMPARE(status(), QStringLiteral("1 of 1 files downloaded"));
    QVERIFY(bytesOf("DCIM/OK.MP4") == card);
    clock.restart();
    window.reset();
    QVERIFY2(clock.elapsed() < kMarginMs, qPrintable(QString::number(clock.elapsed())));
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
