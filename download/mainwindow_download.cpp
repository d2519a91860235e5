// The window's download queue slots.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "downloadfilethread.h"

#include <QLabel>
#include <QStatusBar>
#include <QTableWidgetItem>
#include <QThread>
#include <QTime>

#include <climits>

namespace {

// How often the speed and time left are redrawn.
constexpr qint64 kRateRefreshMs = 250;

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
    for (int i = 0; i < selectedCount; ++i) {
        const QTableWidgetItem* name = ui->tableWidgetFileInfo->item(selectedRows[i], 0);
        QueuedDownload file;
        file.name = name ? name->text() : QString();
        file.created = rowCreated(selectedRows[i]);
        downloadQueue.append(file);
    }
    downloadNext = 0;
    downloadFailures.clear();
    statusBar()->clearMessage();
    startNextDownload();
}

void MainWindow::startNextDownload()
{
    const QueuedDownload& file = downloadQueue.at(downloadNext++);
    DownloadFile(file.name);
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
    downloadClock.start();
    downloadRateShownAt = -kRateRefreshMs;

    auto* thread = new DownloadFileThread(this);
    thread->fileName = fileName;
    thread->createdAt = downloadQueue.value(downloadNext - 1).created;
    connect(thread, &DownloadFileThread::updateDownloadFileProgress, this,
            &MainWindow::updateDownloadFileProgress);
    connect(thread, &DownloadFileThread::downloadFileFailed, this,
            &MainWindow::DownloadFileFailed);
    connect(thread, &DownloadFileThread::downloadFileFinished, this,
            &MainWindow::DownloadFileFinished);
    thread->start(QThread::InheritPriority);
}

void MainWindow::DownloadFileFailed(int why, int status)
{
    const QString failure = QStringLiteral("%1 (%2)").arg(
        downloadQueue.value(downloadNext - 1).name, failureReason(why, status));
    downloadFailures.append(failure);
    statusBar()->showMessage(tr("%1 not downloaded: %2")
                                 .arg(downloadQueue.value(downloadNext - 1).name,
                                      failureReason(why, status)));
}

void MainWindow::DownloadFileFinished()
{
    const int row = rowOfName(downloadQueue.value(downloadNext - 1).name);
    if (row >= 0)
        markOnDisk(row);
    ui->progressBarDownLoad->hide();
    ui->pushButtonDownloadFile->setEnabled(true);
    if (downloadNext >= downloadQueue.size()) {
        ui->lineEditDownloadLabel->clear();
        ui->lineEditDownloadProgress->clear();
        downloadRate->hide();
        const int total = downloadQueue.size();
        const QString arrived = tr("%1 of %2 files downloaded")
                                    .arg(total - downloadFailures.size())
                                    .arg(total);
        statusBar()->showMessage(
            downloadFailures.isEmpty()
                ? arrived
                : tr("%1; not downloaded: %2")
                      .arg(arrived, downloadFailures.join(QStringLiteral(", "))));
    } else {
        startNextDownload();
    }
    QThread::usleep(200);
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
    const qint64 elapsedMs = downloadClock.elapsed();
    if (elapsedMs - downloadRateShownAt < kRateRefreshMs || elapsedMs <= 0)
        return;
    downloadRateShownAt = elapsedMs;
    const double bytesPerSecond = bytesRead * 1000.0 / elapsedMs;
    const QString speed = QString::number(bytesPerSecond / 1e6, 'f', 1);
    if (totalBytes < 0 || bytesPerSecond <= 0) {
        downloadRate->setText(tr("%1 MB/s").arg(speed));
        return;
    }
    const auto secondsLeft = static_cast<qint64>((totalBytes - bytesRead) / bytesPerSecond + 0.5);
    downloadRate->setText(tr("%1 MB/s, %2 left").arg(speed, durationText(secondsLeft)));
}
