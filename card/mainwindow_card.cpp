// The window's card slots: listing, maintenance and the reply text cutter.
#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::on_pushButtonEnterTFcard_clicked()
{
    if (!linked)
        return;
}

void MainWindow::ParseFileInfo(const char* fileinfo, int Index)
{
    Q_UNUSED(fileinfo)
    Q_UNUSED(Index)
}

void MainWindow::on_pushButtonDeleteFile_clicked()
{
    if (!linked)
        return;
}

void MainWindow::DeleteFile(QString fileName)
{
    Q_UNUSED(fileName)
}

void MainWindow::on_pushButtonDeleteAllFiles_clicked()
{
    if (!linked)
        return;
}

void MainWindow::on_pushButtonFormatCard_clicked()
{
    if (!linked)
        return;
}

int MainWindow::findSubString(const char* string, char* strBuf, const char* leftSplit,
                              const char* rightSplit)
{
    Q_UNUSED(string)
    Q_UNUSED(strBuf)
    Q_UNUSED(leftSplit)
    Q_UNUSED(rightSplit)
    return 0;
}
