// Downloads card files through the window's queue and prints how long it
// took, the process's memory and the longest pause of the window's event loop
// while the progress signals came in. Needs the simulated device on the
// device addresses (run it from bench/download.sh).
//   bench_download CARD_FILE_NAME WORK_DIR [BUSY_MS]   one file, its row set by hand
//   bench_download --queue WORK_DIR                    every file the card lists
#include "benchloop.h"
#include "downloadfilethread.h"
#include "mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QThread>

#include <sys/resource.h>

#include <cstdio>

namespace {

double peakMemoryMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

double residentMemoryMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() / 1024.0;
    }
    return -1;
}

// Quits the application when the window's queue ends: its "i/n" counter is
// emptied then.
void quitWhenQueueEnds(QApplication& app, MainWindow& window)
{
    auto* counter = window.findChild<QLineEdit*>("lineEditDownloadProgress");
    QObject::connect(counter, &QLineEdit::textChanged, &app, [&app](const QString& text) {
        if (text.isEmpty())
            app.quit();
    });
}

int downloadOne(QApplication& app, MainWindow& window, const QString& name, int busyMs)
{
    auto* table = window.findChild<QTableWidget*>("tableWidgetFileInfo");
    table->setRowCount(1);
    table->setItem(0, 0, new QTableWidgetItem(name));
    table->selectRow(0);

    // Every try of the file runs on a thread of its own; the tick notices a
    // new one within 1 ms. The last try is timed from there, so a resumed
    // one without the pause before it.
    StallMeter stalls;
    int updates = 0;
    int tries = 0;
    QPointer<DownloadFileThread> current;
    QElapsedTimer sinceTry;
    const auto watchTries = [&] {
        const auto threads = window.findChildren<DownloadFileThread*>(
            QString());
        for (DownloadFileThread* thread : threads) {
            if (thread == current || thread->isFinished())
                continue;
            current = thread;
            ++tries;
            sinceTry.start();
            QObject::connect(thread, &DownloadFileThread::updateDownloadFileProgress, &app,
                             [&updates] { ++updates; });
        }
    };
    QObject::connect(stalls.timer(), &QTimer::timeout, &app, watchTries);
    quitWhenQueueEnds(app, window);

    QElapsedTimer clock;
    clock.start();
    stalls.start();
    window.findChild<QPushButton*>("pushButtonDownloadFile")->click();
    watchTries();
    // Optionally the window is kept busy for a while, as a blocking card call
    // would: the progress signals of that time must not pile up.
    if (busyMs > 0)
        QTimer::singleShot(500, [busyMs] { QThread::msleep(static_cast<unsigned long>(busyMs)); });
    app.exec();
    const double seconds = clock.elapsed() / 1000.0;
    const double lastTry = sinceTry.elapsed() / 1000.0;
    const qint64 longestGapMs = stalls.stop();

    const bool arrived = QFileInfo::exists(QStringLiteral("DCIM/") + name);
    std::printf("tool: %.3f s, file %s, peak memory %.1f MB, longest event-loop stall %lld ms%s, "
                "progress updates %d",
                seconds, arrived ? "arrived" : "MISSING", peakMemoryMb(),
                static_cast<long long>(longestGapMs), busyMs > 0 ? " (busy on purpose)" : "",
                updates);
    if (tries > 1)
        std::printf(", tries %d, last try %.3f s", tries, lastTry);
    std::printf("\n");
    return 0;
}

int downloadQueue(QApplication& app, MainWindow& window)
{
    window.findChild<QPushButton*>("pushButtonEnterTFcard")->click();
    if (!runUntil([&] { return !window.isReadingCardDetails(); }, 120000)) {
        std::fprintf(stderr, "bench_download: the card's details did not come\n");
        return 1;
    }
    const int files = window.findChild<QTableWidget*>("tableWidgetFileInfo")->rowCount();
    window.findChild<QCheckBox*>("checkBoxSelectAllFiles")->setChecked(true);
    quitWhenQueueEnds(app, window);

    StallMeter stalls;
    const double before = residentMemoryMb();
    QElapsedTimer clock;
    clock.start();
    stalls.start();
    window.findChild<QPushButton*>("pushButtonDownloadFile")->click();
    app.exec();
    const double seconds = clock.elapsed() / 1000.0;
    const qint64 longestGapMs = stalls.stop();
    const double after = residentMemoryMb();

    std::printf("tool: %d files in %.3f s (%.2f ms per file), \"%s\", resident memory before "
                "%.1f MB, after %.1f MB, growth %.1f MB, longest event-loop stall %lld ms\n",
                files, seconds, files > 0 ? seconds * 1000 / files : 0.0,
                qPrintable(window.statusBar()->currentMessage()), before, after, after - before,
                static_cast<long long>(longestGapMs));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool queue = argc == 3 && QByteArray(argv[1]) == "--queue";
    if (!queue && argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: bench_download CARD_FILE_NAME WORK_DIR [BUSY_MS]\n"
                             "       bench_download --queue WORK_DIR\n");
        return 2;
    }
    QDir::setCurrent(QString::fromLocal8Bit(argv[2]));
    // The threads' diagnostic lines would only blur the figures.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });

    MainWindow window;
    window.show();
    window.findChild<QPushButton*>("pushButtonLinkMERRO")->click();
    if (!window.isLinked()) {
        std::fprintf(stderr, "bench_download: the device does not answer\n");
        return 1;
    }
    if (queue)
        return downloadQueue(app, window);
    return downloadOne(app, window, QString::fromLocal8Bit(argv[1]),
                       argc == 4 ? QByteArray(argv[3]).toInt() : 0);
}
