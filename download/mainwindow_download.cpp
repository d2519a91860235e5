// The window's download queue slots.
#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::on_pushButtonDownloadFile_clicked()
{
    if (!linked)
        return;
}

void MainWindow::DownloadFile(QString fileName)
{
    Q_UNUSED(fileName)
}

void MainWindow::DownloadFileFinished()
{
}

void MainWindow::updateDownloadFileProgress(qint64 bytesRead, qint64 totalBytes)
{
    Q_UNUSED(bytesRead)
    Q_UNUSED(totalBytes)
}
