// The window's download queue slots: the selection into the engine's queue,
// and the queue into the counter, the bar and the status bar.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "cardengine.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTableWidgetItem>
#include <QThread>

#include <climits>

namespace {

// How often the window is redrawn at most while many small files come.
constexpr int kRedrawEveryMs = 100;

} // namespace

void MainWindow::connectDownloads()
{
    DownloadQueue* queue = engine->downloads();
    connect(queue, &DownloadQueue::fileStarted, this, &MainWindow::DownloadFile);
    connect(queue, &DownloadQueue::fileProgress, this, &MainWindow::updateDownloadFileProgress);
    // Details asked for just before a file: its row shows them (unless the
    // listing's own row did already).
    connect(queue, &DownloadQueue::detailsFetched, this,
            [this](const QString& name, const QByteArray& reply) {
        const int row = rowOfName(name);
        const CardRecording shown = rowRecording(row);
        if (row >= 0 && shown.size < 0 && !shown.created.isValid())
            ParseFileInfo(reply.constData(), row);
    });
    connect(queue, &DownloadQueue::fileEnded, this, [this](const QString& name) {
        const int row = rowOfName(name);
        if (row >= 0)
            markOnDisk(row);
        DownloadFileFinished();
    });
    connect(queue, &DownloadQueue::message, this, [this](const QString& text, bool failure) {
        if (failure)
            showFailure(text);
        else
            statusBar()->showMessage(text);
    });
    connect(queue, &DownloadQueue::archiveProblem, this, &MainWindow::showFailure);
    connect(engine, &CardEngine::retentionRemoved, this,
            [this](const QString& path, const QString& reason) {
        showNotice(tr("Removed by retention: %1 (%2).").arg(path, reason));
    });
    connect(queue, &DownloadQueue::ended, this, &MainWindow::downloadEnded);
}

void MainWindow::on_pushButtonDownloadFile_clicked()
{
    if (!linked)
        return;
    GetSelectedFiles();
    if (selectedCount == 0)
        return;
    QVector<CardRecording> files;
    for (int i = 0; i < selectedCount; ++i)
        files << rowRecording(selectedRows[i]);
    statusBar()->clearMessage();
    QString why;
    switch (engine->download(files, false, &why)) {
    case CardEngine::Start::Started:
        showCancelButton(true);
        break;
    case CardEngine::Start::Busy:
        showFailure(tr("Not downloading: %1.").arg(why));
        break;
    case CardEngine::Start::Refused:
    case CardEngine::Start::NothingNew:
        if (!why.isEmpty())
            showFailure(why);
        break;
    }
}

void MainWindow::DownloadFile(QString fileName)
{
    Q_UNUSED(fileName)
    // Files that come one after another faster than the eye follows: the
    // window is redrawn a few times a second, not once a file, so that the
    // queue does not wait for the drawing.
    if (downloadFileClock.isValid() && downloadFileClock.elapsed() < kRedrawEveryMs
        && centralWidget()->updatesEnabled()) {
        centralWidget()->setUpdatesEnabled(false);
        QTimer::singleShot(kRedrawEveryMs, this,
                           [this] { centralWidget()->setUpdatesEnabled(true); });
    }
    downloadFileClock.start();
    const DownloadQueue* queue = engine->downloads();
    ui->lineEditDownloadProgress->setText(
        QStringLiteral("%1%2%3").arg(QString::number(queue->position()), QStringLiteral("/"),
                                     QString::number(queue->count())));
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
    downloadMeter.restart();
}

void MainWindow::DownloadFileFinished()
{
    // The next file shows the bar again at once: only the queue's end hides
    // it, with the summary, and the window is not redrawn for nothing.
    if (!engine->downloads()->isRunning()) {
        ui->progressBarDownLoad->hide();
        ui->pushButtonDownloadFile->setEnabled(true);
    }
}

void MainWindow::downloadEnded(const QString& summary, bool failures)
{
    ui->progressBarDownLoad->hide();
    ui->pushButtonDownloadFile->setEnabled(true);
    ui->lineEditDownloadLabel->clear();
    ui->lineEditDownloadProgress->clear();
    if (downloadRate)
        downloadRate->hide();
    showCancelButton(false);
    if (failures)
        showFailure(summary);
    else
        statusBar()->showMessage(summary);
    // An operator who went elsewhere meanwhile learns that it is over.
    if (!isActiveWindow())
        QApplication::alert(this);
}

void MainWindow::cancelDownloads()
{
    engine->downloads()->cancel();
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
    }
    downloadCancel->setVisible(shown);
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
    if (!downloadMeter.update(bytesRead, totalBytes))
        return;
    if (downloadMeter.left() < 0)
        downloadRate->setText(tr("%1 MB/s").arg(downloadMeter.speed()));
    else
        downloadRate->setText(tr("%1 MB/s, %2 left")
                                  .arg(downloadMeter.speed(),
                                       RateMeter::duration(downloadMeter.left())));
}
