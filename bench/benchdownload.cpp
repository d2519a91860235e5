// Downloads one card file through the window's queue and prints how long it
// took, the process's peak memory and the longest pause of the window's event
// loop while the progress signals came in. Needs the simulated device on the
// device addresses (run it from bench/download.sh).
#include "downloadfilethread.h"
#include "mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: bench_download CARD_FILE_NAME WORK_DIR [BUSY_MS]\n");
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
    auto* table = window.findChild<QTableWidget*>("tableWidgetFileInfo");
    table->setRowCount(1);
    table->setItem(0, 0, new QTableWidgetItem(QString::fromLocal8Bit(argv[1])));
    table->selectRow(0);

    // A 1 ms tick: the longest gap between two ticks is the longest time the
    // window could not react.
    QElapsedTimer sinceTick;
    QElapsedTimer clock;
    qint64 longestGapMs = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestGapMs = std::max(longestGapMs, sinceTick.restart());
    });

    auto* counter = window.findChild<QLineEdit*>("lineEditDownloadProgress");
    QObject::connect(counter, &QLineEdit::textChanged, &app, [&](const QString& text) {
        if (text.isEmpty())
            app.quit();
    });
    int updates = 0;
    clock.start();
    sinceTick.start();
    tick.start();
    window.findChild<QPushButton*>("pushButtonDownloadFile")->click();
    for (auto* thread : window.findChildren<DownloadFileThread*>())
        QObject::connect(thread, &DownloadFileThread::updateDownloadFileProgress, &app,
                         [&] { ++updates; });
    // Optionally the window is kept busy for a while, as a blocking card call
    // would: the progress signals of that time must not pile up.
    const int busyMs = argc == 4 ? QByteArray(argv[3]).toInt() : 0;
    if (busyMs > 0)
        QTimer::singleShot(500, [busyMs] { QThread::msleep(static_cast<unsigned long>(busyMs)); });
    app.exec();
    const double seconds = clock.elapsed() / 1000.0;

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const QString bytes = QFileInfo(QStringLiteral("DCIM/") + QString::fromLocal8Bit(argv[1]))
                              .exists() ? QStringLiteral("arrived") : QStringLiteral("MISSING");
    std::printf("tool: %.3f s, file %s, peak memory %.1f MB, longest event-loop stall %lld ms%s, "
                "progress updates %d\n",
                seconds, qPrintable(bytes), usage.ru_maxrss / 1024.0,
                static_cast<long long>(longestGapMs), busyMs > 0 ? " (busy on purpose)" : "",
                updates);
    return 0;
}
