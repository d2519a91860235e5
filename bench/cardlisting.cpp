// Time per file of the window's card listing beside curl making the same
// requests (one connection per request). Run through bench/card-listing.sh.
#include "deviceconfig.h"
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

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
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

    QVector<double> windowMs;
    QVector<double> clientMs;
    QVector<double> curlMs;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        browse->click();
        windowMs << clock.nsecsElapsed() / 1e6;
        if (table->rowCount() != files || !table->item(files - 1, 3)) {
            std::fprintf(stderr, "the listing is incomplete: %d rows\n", table->rowCount());
            return 1;
        }

        // The same requests through the client alone, on a helper thread as
        // the window makes them.
        clock.restart();
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
        (void)QTest::qWaitFor([&] { return client->isFinished(); }, 120000);
        clientMs << clock.nsecsElapsed() / 1e6;
        delete client;

        QProcess curl;
        curl.setStandardOutputFile(QProcess::nullDevice());
        clock.restart();
        curl.start("curl", {"-s", "-f", "-H", "Connection: close", "-K", curlConfig.fileName()});
        // Keeps reading the device's log meanwhile, or its full pipe stalls it.
        const bool ended = QTest::qWaitFor([&] { return curl.state() == QProcess::NotRunning; },
                                           120000);
        if (!ended || curl.exitCode() != 0) {
            std::fprintf(stderr, "curl failed: %s\n", curl.readAllStandardError().constData());
            return 1;
        }
        curlMs << clock.nsecsElapsed() / 1e6;
    }

    const double tool = median(windowMs) / files;
    const double reference = median(curlMs) / files;
    std::printf("card listing, %d files, median of %d rounds\n", files, rounds);
    std::printf("  window: %8.1f ms  %6.3f ms per file\n", median(windowMs), tool);
    std::printf("  client: %8.1f ms  %6.3f ms per file\n", median(clientMs),
                median(clientMs) / files);
    std::printf("  curl:   %8.1f ms  %6.3f ms per file\n", median(curlMs), reference);
    std::printf("  ratio window/curl: %.2f\n", tool / reference);
    return 0;
}
