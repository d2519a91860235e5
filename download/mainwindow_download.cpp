// The window's download queue slots.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "cardbusy.h"
#include "cardfilename.h"
#include "downloadfilethread.h"
#include "localarchive.h"
#include "savedcardfile.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>
#include <QStorageInfo>
#include <QStatusBar>
#include <QTableWidgetItem>
#include <QThread>
#include <QTime>

#include <algorithm>
#include <climits>

namespace {

// How often the speed and time left are redrawn.
constexpr qint64 kRateRefreshMs = 250;
// After a transfer was stopped for a card operation.
constexpr int kCameraSettleMs = 100;

QString failureReason(int why, int status)
{
    using download::Outcome;
    switch (static_cast<Outcome>(why)) {
    case Outcome::BadName: return MainWindow::tr("not a plain card file name");
    case Outcome::NoSocket: return MainWindow::tr("no network socket");
    case Outcome::ConnectFailed: return MainWindow::tr("camera not reachable");
    case Outcome::NoReply: return MainWindow::tr("no reply from the camera");
    case Outcome::HeaderTooLarge: return MainWindow::tr("reply header too large");
    case Outcome::BadStatus: return MainWindow::tr("the camera answered %1").arg(status);
    case Outcome::Unsupported: return MainWindow::tr("unsupported reply");
    case Outcome::Incomplete: return MainWindow::tr("transfer cut short");
    case Outcome::TimedOut: return MainWindow::tr("the camera stopped sending");
    case Outcome::OpenFailed: return MainWindow::tr("cannot create the local file");
    case Outcome::WriteFailed: return MainWindow::tr("cannot write to disk (disk full?)");
    case Outcome::Stopped: return MainWindow::tr("stopped");
    case Outcome::Done: break;
    }
    return QString();
}

QString durationText(qint64 seconds)
{
    const QTime time = QTime(0, 0).addSecs(static_cast<int>(seconds % 86400));
    return time.toString(seconds >= 3600 ? QStringLiteral("h:mm:ss") : QStringLiteral("m:ss"));
}

} // namespace

void MainWindow::on_pushButtonDownloadFile_clicked()
{
    if (!linked)
        return;
    GetSelectedFiles();
    if (selectedCount == 0)
        return;

    downloadQueue.clear();
    qint64 needed = 0;
    const LocalArchive archive(downloadFolder());
    for (int i = 0; i < selectedCount; ++i) {
        const CardRecording file = rowRecording(selectedRows[i]);
        // A size not known yet counts as nothing: the check is for what is known.
        if (file.size > 0 && merro::isPlainCardFileName(file.name.toLatin1().toStdString()))
            needed += file.size - SavedCardFile(archive, file).resumable();
        downloadQueue.append(file);
    }
    // A volume that tells nothing about its space is not held against the queue.
    const qint64 free = freeSpace(downloadFolder());
    if (free >= 0 && needed > free) {
        const QLocale locale;
        statusBar()->showMessage(tr("Not enough free space in DCIM/: %1 needed, %2 free.")
                                     .arg(locale.formattedDataSize(needed),
                                          locale.formattedDataSize(free)));
        return;
    }
    // The camera answers one request at a time: the details pass waits.
    const QPointer<MainWindow> self(this);
    holdCardDetails();
    if (!self)
        return;
    downloadNext = 0;
    downloadArrived = 0;
    downloadCancelling = false;
    downloadRunning = true;
    downloadFailures.clear();
    statusBar()->clearMessage();
    showCancelButton(true);
    startNextDownload();
}

void MainWindow::startNextDownload()
{
    const CardRecording& file = downloadQueue.at(downloadNext++);
    downloadRetries = 0;
    DownloadFile(file.name);
}

void MainWindow::advanceDownloads()
{
    ui->progressBarDownLoad->hide();
    ui->pushButtonDownloadFile->setEnabled(true);
    if (downloadNext < downloadQueue.size()) {
        startNextDownload();
        return;
    }
    const int total = downloadQueue.size();
    const QString arrived = tr("%1 of %2 files downloaded").arg(downloadArrived).arg(total);
    endDownloads(downloadFailures.isEmpty()
                     ? arrived
                     : tr("%1; not downloaded: %2")
                           .arg(arrived, downloadFailures.join(QStringLiteral(", "))));
}

void MainWindow::DownloadFile(QString fileName)
{
    ui->lineEditDownloadProgress->setText(
        QStringLiteral("%1%2%3").arg(QString::number(downloadNext), QStringLiteral("/"),
                                     QString::number(downloadQueue.size())));
    ui->lineEditDownloadLabel->setText(tr("Download Progress:"));
    ui->progressBarDownLoad->setValue(0);
    ui->progressBarDownLoad->show();
    ui->pushButtonDownloadFile->setEnabled(false);

    if (!downloadRate) {
        downloadRate = new QLabel(this);
        downloadRate->setObjectName(QStringLiteral("labelDownloadRate"));
        statusBar()->addPermanentWidget(downloadRate);
    }
    downloadRate->clear();
    downloadRate->show();
    downloadRateFrom = -1;

    const CardRecording file = downloadQueue.value(downloadNext - 1);
    downloadFailed = false;
    downloadRetry = false;
    auto* thread = new DownloadFileThread(this);
    thread->fileName = fileName;
    thread->createdAt = file.created;
    thread->listedSize = file.size;
    thread->folder = downloadFolder();
    thread->detailsDeadlineMs = cardRequestDeadlineMs;
    connect(thread, &DownloadFileThread::updateDownloadFileProgress, this,
            &MainWindow::updateDownloadFileProgress);
    connect(thread, &DownloadFileThread::detailsFetched, this,
            &MainWindow::downloadDetailsFetched);
    connect(thread, &DownloadFileThread::downloadFileFailed, this,
            &MainWindow::DownloadFileFailed);
    connect(thread, &DownloadFileThread::downloadFileFinished, this,
            &MainWindow::DownloadFileFinished);
    // Gone once done: a long queue must not pile up finished threads.
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    downloadThread = thread;
    downloadInFlight = true;
    thread->start(QThread::InheritPriority);
}

void MainWindow::downloadDetailsFetched(const QString& name, const QByteArray& reply)
{
    const CardRecording told = recordingFromInfo(name, reply.constData());
    for (int i = downloadNext - 1; i < downloadQueue.size(); ++i) {
        CardRecording& file = downloadQueue[i];
        if (i < 0 || file.name != name)
            continue;
        file.size = file.size < 0 ? told.size : file.size;
        file.created = file.created.isValid() ? file.created : told.created;
    }
    // The row gets them too, and the details pass need not ask again.
    const int row = rowOfName(name);
    const CardRecording shown = rowRecording(row);
    if (row >= 0 && shown.size < 0 && !shown.created.isValid())
        ParseFileInfo(reply.constData(), row);
    if (detailsPendingSet.remove(name)) {
        detailsPending.removeOne(name);
        ++detailsDone;
    }
}

void MainWindow::DownloadFileFailed(int why, int status, bool inBody)
{
    downloadFailed = true;
    const QString name = downloadQueue.value(downloadNext - 1).name;
    const auto outcome = static_cast<download::Outcome>(why);
    // A paused transfer is tried again when the card operation is over.
    if (downloadCancelling || downloadPausing)
        return;
    if (inBody && download::worthRetrying(outcome) && downloadRetries < kDownloadRetries) {
        // What arrived is kept; the next try asks for the rest.
        downloadRetry = true;
        const QString text = outcome == download::Outcome::TimedOut
                                 ? tr("The camera stopped sending; retrying (%1 of %2)")
                                 : tr("Connection lost; retrying (%1 of %2)");
        statusBar()->showMessage(text.arg(downloadRetries + 1).arg(kDownloadRetries));
        return;
    }
    downloadFailures.append(QStringLiteral("%1 (%2)").arg(name, failureReason(why, status)));
    showFailure(tr("%1 not downloaded: %2").arg(name, failureReason(why, status)));
}

void MainWindow::DownloadFileFinished()
{
    downloadInFlight = false;
    const int row = rowOfName(downloadQueue.value(downloadNext - 1).name);
    if (row >= 0)
        markOnDisk(row);
    downloadArrived += downloadFailed ? 0 : 1;
    if (downloadPausing) {
        // It may have ended whole just as it was asked to stop.
        downloadCurrentDone = !downloadFailed;
        downloadPausing = false;
        if (downloadPauseWait)
            downloadPauseWait->quit();
        return;
    }
    if (downloadCancelling) {
        endDownloads(tr("Cancelled: %1 of %2 files downloaded.")
                         .arg(downloadArrived).arg(downloadQueue.size()));
        return;
    }
    if (downloadRetry) {
        // 1, 2, then 4 s: a camera that drops a connection often needs a moment.
        downloadRetryTimer.start(1000 << downloadRetries++);
        return;
    }
    advanceDownloads();
    QThread::usleep(200);
}

void MainWindow::retryDownload()
{
    DownloadFile(downloadQueue.value(downloadNext - 1).name);
}

void MainWindow::cancelDownloads()
{
    if (!downloadRunning || downloadCancelling)
        return;
    if (downloadRetryTimer.isActive()) {
        downloadRetryTimer.stop();
        endDownloads(tr("Cancelled: %1 of %2 files downloaded.")
                         .arg(downloadArrived).arg(downloadQueue.size()));
        return;
    }
    // The transfer stops at its next look, keeps what it received, and its
    // finished signal ends the queue; a paused one ends it when it would go on.
    downloadCancelling = true;
    if (downloadThread)
        static_cast<DownloadFileThread*>(downloadThread.data())->stop();
}

void MainWindow::endDownloads(const QString& summary)
{
    ui->progressBarDownLoad->hide();
    ui->pushButtonDownloadFile->setEnabled(true);
    ui->lineEditDownloadLabel->clear();
    ui->lineEditDownloadProgress->clear();
    downloadRate->hide();
    showCancelButton(false);
    downloadCancelling = false;
    downloadRunning = false;
    downloadPaused = false;
    downloadPauseHolds = 0;
    if (downloadFailures.isEmpty())
        statusBar()->showMessage(summary);
    else
        showFailure(summary);
    releaseCardDetails();
    // An operator who went elsewhere meanwhile learns that it is over.
    if (!isActiveWindow())
        QApplication::alert(this);
}

void MainWindow::pauseDownloads()
{
    if (!downloadRunning || downloadPauseHolds++ > 0)
        return;
    downloadPaused = true;
    downloadCurrentDone = false;
    // Between two tries nothing is being sent.
    downloadRetryTimer.stop();
    if (!downloadInFlight)
        return;
    const QPointer<MainWindow> self(this);
    const CardBusy busy(ui);
    QEventLoop loop;
    downloadPausing = true;
    downloadPauseWait = &loop;
    static_cast<DownloadFileThread*>(downloadThread.data())->stop();
    loop.exec();
    if (!self)
        return;
    downloadPauseWait = nullptr;
    // A camera that serves one connection at a time needs a moment to see
    // the transfer's connection close before it takes the next.
    QTimer::singleShot(kCameraSettleMs, &loop, &QEventLoop::quit);
    loop.exec();
}

void MainWindow::resumeDownloads()
{
    if (downloadPauseHolds == 0 || --downloadPauseHolds > 0 || !downloadRunning)
        return;
    downloadPaused = false;
    if (downloadCancelling) {
        endDownloads(tr("Cancelled: %1 of %2 files downloaded.")
                         .arg(downloadArrived).arg(downloadQueue.size()));
        return;
    }
    if (downloadCurrentDone)
        advanceDownloads();
    else
        DownloadFile(downloadQueue.value(downloadNext - 1).name);
}

void MainWindow::dropFromDownloads(const QString& name)
{
    if (!downloadRunning)
        return;
    // The file under way counts only while it has not arrived.
    const int first = downloadCurrentDone ? downloadNext : std::max(downloadNext - 1, 0);
    for (int i = downloadQueue.size() - 1; i >= first; --i) {
        if (downloadQueue.at(i).name != name)
            continue;
        downloadQueue.remove(i);
        // The file under way: the queue goes on with the next.
        if (i == downloadNext - 1) {
            --downloadNext;
            downloadCurrentDone = true;
        }
    }
}

void MainWindow::stopDownloadsForCard(const QString& summary)
{
    if (!downloadRunning)
        return;
    const QPointer<MainWindow> self(this);
    pauseDownloads();
    if (self)
        endDownloads(summary.arg(downloadArrived).arg(downloadQueue.size()));
}

void MainWindow::showCancelButton(bool shown)
{
    if (!downloadCancel) {
        downloadCancel = new QPushButton(tr("Cancel"), this);
        downloadCancel->setObjectName(QStringLiteral("pushButtonCancelDownload"));
        statusBar()->addPermanentWidget(downloadCancel);
        connect(downloadCancel, &QPushButton::clicked, this, &MainWindow::cancelDownloads);
        auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
        connect(escape, &QShortcut::activated, this, &MainWindow::cancelDownloads);
        downloadRetryTimer.setSingleShot(true);
        connect(&downloadRetryTimer, &QTimer::timeout, this, &MainWindow::retryDownload);
    }
    downloadCancel->setVisible(shown);
}

qint64 MainWindow::freeSpace(const QString& folder)
{
    // The folder may not be there yet: the volume it will be on.
    const QString existing = existingFolderOf(folder);
    return existing.isEmpty() ? -1 : QStorageInfo(existing).bytesAvailable();
}

void MainWindow::updateDownloadFileProgress(qint64 bytesRead, qint64 totalBytes)
{
    if (totalBytes < 0) {
        // No length announced: the bar just shows that something is moving.
        ui->progressBarDownLoad->setMaximum(0);
    } else {
        // The bar counts in int; a longer file moves it in coarser steps.
        const qint64 step = totalBytes > INT_MAX ? totalBytes / INT_MAX + 1 : 1;
        ui->progressBarDownLoad->setMaximum(static_cast<int>(totalBytes / step));
        ui->progressBarDownLoad->setValue(static_cast<int>(bytesRead / step));
    }
    showDownloadRate(bytesRead, totalBytes);
}

void MainWindow::showDownloadRate(qint64 bytesRead, qint64 totalBytes)
{
    // Measured from the first report: a resumed file starts with what it kept.
    if (downloadRateFrom < 0) {
        downloadRateFrom = bytesRead;
        downloadClock.start();
        downloadRateShownAt = 0;
        return;
    }
    const qint64 elapsedMs = downloadClock.elapsed();
    if (elapsedMs - downloadRateShownAt < kRateRefreshMs || elapsedMs <= 0)
        return;
    downloadRateShownAt = elapsedMs;
    const double bytesPerSecond = (bytesRead - downloadRateFrom) * 1000.0 / elapsedMs;
    const QString speed = QString::number(bytesPerSecond / 1e6, 'f', 1);
    if (totalBytes < 0 || bytesPerSecond <= 0) {
        downloadRate->setText(tr("%1 MB/s").arg(speed));
        return;
    }
    const auto secondsLeft = static_cast<qint64>((totalBytes - bytesRead) / bytesPerSecond + 0.5);
    downloadRate->setText(tr("%1 MB/s, %2 left").arg(speed, durationText(secondsLeft)));
}
