// Time per file of the window's card listing beside curl making the same
// requests (one connection per request); then the same card with the camera
// answering every request late: how soon the names can be used, how long
// the details take and the longest pause of the window meanwhile. Run through
// bench/card-listing.sh.
#include "benchloop.h"
#include "deviceconfig.h"
#include "httpclient.h"
#include "mainwindow.h"
#include "simdevice.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

const QString kCamera = QStringLiteral("http://") + QLatin1String(merro::kCameraHost);
constexpr int kLatencyMs = 20;

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int rowsWithDetails(const QTableWidget* table)
{
    int rows = 0;
    for (int row = 0; row < table->rowCount(); ++row)
        rows += table->item(row, 1) && table->item(row, 2) && table->item(row, 3) ? 1 : 0;
    return rows;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // The threads' diagnostic lines would only blur the figures.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    const int files = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
    SimDevice sim;
    if (QProcess::execute(SimDevice::program(), {"--make-card", sim.cardPath(),
                                                 QString::number(files), "--max-size", "20000"})
            != 0
        || !sim.start()) {
        std::fprintf(stderr, "the simulated device did not start\n");
        return 1;
    }

    MainWindow window;
    window.show();
    window.findChild<QPushButton*>("pushButtonLinkMERRO")->click();
    auto* browse = window.findChild<QPushButton*>("pushButtonEnterTFcard");
    auto* download = window.findChild<QPushButton*>("pushButtonDownloadFile");
    auto* table = window.findChild<QTableWidget*>("tableWidgetFileInfo");

    // The same requests for curl: count, list, one info per file.
    QStringList names;
    for (const QString& name : QDir(sim.cardPath()).entryList(QDir::Files, QDir::Name))
        names << name;
    QByteArray config = "url = \"" + kCamera.toUtf8() + "/cgi-bin/hi3510/getfilecount.cgi?\"\n"
                        "url = \"" + kCamera.toUtf8()
                        + "/cgi-bin/hi3510/getfilelist.cgi?&-start=1&-end="
                        + QByteArray::number(files) + "\"\n";
    for (const QString& name : names)
        config += "url = \"" + kCamera.toUtf8()
                  + "/cgi-bin/hi3510/getfileinfo.cgi?&-name=sd/DCIM/100TQCAM/" + name.toUtf8()
                  + "\"\n";
    QTemporaryFile curlConfig;
    if (!curlConfig.open() || curlConfig.write(config) != config.size() || !curlConfig.flush())
        return 1;
    // Milliseconds, or -1 when curl failed.
    const auto runCurl = [&] {
        QProcess curl;
        curl.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        curl.start("curl", {"-s", "-f", "-H", "Connection: close", "-K", curlConfig.fileName()});
        // Keeps reading the device's log meanwhile, or its full pipe stalls it.
        const bool ended = runUntil([&] { return curl.state() == QProcess::NotRunning; },
                                    120000);
        if (!ended || curl.exitCode() != 0) {
            std::fprintf(stderr, "curl failed: %s\n", curl.readAllStandardError().constData());
            return -1.0;
        }
        return clock.nsecsElapsed() / 1e6;
    };
    // The same requests through the client alone, on a helper thread as the
    // window makes them; milliseconds.
    const auto runClient = [&] {
        QElapsedTimer clock;
        clock.start();
        QThread* client = QThread::create([&] {
            HttpClient http;
            HttpRequest request;
            HttpResponse response;
            std::string body;
            const QByteArray info = kCamera.toUtf8()
                                    + "/cgi-bin/hi3510/getfileinfo.cgi?&-name=sd/DCIM/100TQCAM/";
            for (int i = -2; i < names.size(); ++i) {
                request.url = (i == -2 ? kCamera.toUtf8() + "/cgi-bin/hi3510/getfilecount.cgi?"
                               : i == -1 ? kCamera.toUtf8()
                                               + "/cgi-bin/hi3510/getfilelist.cgi?&-start=1&-end="
                                               + QByteArray::number(files)
                                         : info + names[i].toUtf8())
                                  .toStdString();
                body.clear();
                http.Get(request, response, body);
            }
        });
        client->start();
        (void)runUntil([&] { return client->isFinished(); }, 120000);
        const double ms = clock.nsecsElapsed() / 1e6;
        delete client;
        return ms;
    };
    // The listing returns once the names are in the table; the details follow.
    const auto detailsRead = [&] {
        return !window.isReadingCardDetails() && table->rowCount() == files
               && table->item(files - 1, 3);
    };

    // A slow camera: the names must be usable at once, the details must cost
    // no more than their requests, and the window must keep reacting. First,
    // while the network is fresh: the rounds below leave some 20,000
    // connections in TIME_WAIT, which slows every connect for a minute.
    if (!sim.command("camera latency " + QByteArray::number(kLatencyMs)))
        return 1;
    StallMeter stalls;
    QElapsedTimer sinceClick;
    stalls.start();
    sinceClick.start();
    browse->click();
    (void)runUntil([&] { return table->rowCount() == files && download->isEnabled(); }, 10000);
    const double namesMs = sinceClick.nsecsElapsed() / 1e6;
    const bool read = runUntil(detailsRead, 120000);
    const double detailsMs = sinceClick.nsecsElapsed() / 1e6;
    const qint64 longestStallMs = stalls.stop();
    if (!read || rowsWithDetails(table) != files) {
        std::fprintf(stderr, "the slow listing is incomplete: %d rows, %d with details\n",
                     table->rowCount(), rowsWithDetails(table));
        return 1;
    }
    const double slowClientMs = runClient();
    const double slowCurlMs = runCurl();
    if (slowCurlMs < 0 || !sim.command("camera latency 0"))
        return 1;

    QVector<double> windowMs;
    QVector<double> clientMs;
    QVector<double> curlMs;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        browse->click();
        (void)runUntil(detailsRead, 120000);
        windowMs << clock.nsecsElapsed() / 1e6;
        if (rowsWithDetails(table) != files) {
            std::fprintf(stderr, "the listing is incomplete: %d rows, %d with details\n",
                         table->rowCount(), rowsWithDetails(table));
            return 1;
        }

        clientMs << runClient();

        const double curl = runCurl();
        if (curl < 0)
            return 1;
        curlMs << curl;
    }

    const double tool = median(windowMs) / files;
    const double reference = median(curlMs) / files;
    std::printf("card listing, %d files, median of %d rounds\n", files, rounds);
    std::printf("  window: %8.1f ms  %6.3f ms per file\n", median(windowMs), tool);
    std::printf("  client: %8.1f ms  %6.3f ms per file\n", median(clientMs),
                median(clientMs) / files);
    std::printf("  curl:   %8.1f ms  %6.3f ms per file\n", median(curlMs), reference);
    std::printf("  ratio window/curl: %.2f\n", tool / reference);

    const double requestsMs = double(files) * kLatencyMs;
    std::printf("card listing, %d files, camera answering %d ms late\n", files, kLatencyMs);
    std::printf("  names in the table, Download File enabled: %8.1f ms"
                "  (2 requests x %d ms: %d ms)\n", namesMs, kLatencyMs, 2 * kLatencyMs);
    std::printf("  every row's details:                       %8.1f ms"
                "  (%d requests x %d ms: %.0f ms, ratio %.3f)\n",
                detailsMs, files, kLatencyMs, requestsMs, detailsMs / requestsMs);
    std::printf("  client alone, the same %d requests:      %8.1f ms\n", files + 2,
                slowClientMs);
    std::printf("  curl, the same %d requests:              %8.1f ms\n", files + 2, slowCurlMs);
    std::printf("  longest event-loop stall:                  %8lld ms\n",
                static_cast<long long>(longestStallMs));
    return 0;
}
