// The window's device link slots: probe, indicator and version display.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QTcpSocket>

bool MainWindow::IPLive(QString ip, int port, int timeout)
{
    QTcpSocket socket;
    socket.abort();
    socket.connectToHost(ip, static_cast<quint16>(port), QIODevice::ReadWrite,
                         QAbstractSocket::AnyIPProtocol);
    return socket.waitForConnected(timeout);
}

void MainWindow::on_pushButtonLinkMERRO_clicked()
{
    if (linked)
        return;
}

void MainWindow::VersionInfo(char hardType, int hardVer, int softVer, int ProtocolVer, int BootVer)
{
    if (!linked)
        return;
    Q_UNUSED(hardType)
    Q_UNUSED(hardVer)
    Q_UNUSED(softVer)
    Q_UNUSED(ProtocolVer)
    Q_UNUSED(BootVer)
}

void MainWindow::updateLinkedFlag(bool flag)
{
    linked = flag;
}
