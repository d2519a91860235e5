// The window's device link slots: probe, indicator and version display.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "cardengine.h"
#include "controlclientthread.h"
#include "deviceaddresses.h"
#include "devicelink.h"
#include "groundclientthread.h"

#include <QFont>

namespace {

void showLinkState(QLineEdit* indicator, bool up)
{
    indicator->setStyleSheet(up ? QStringLiteral("border:1px;background:transparent;color:green")
                                : QStringLiteral("border:1px;background:transparent;color:red"));
    indicator->setText(up ? MainWindow::tr("Link Success!") : MainWindow::tr("Link Fail!"));
    indicator->setFont(QFont(QStringLiteral("Timers"), 14, QFont::Bold, false));
}

QString versionText(double number)
{
    return QStringLiteral("%1%2").arg(QStringLiteral("v"), QString::number(number, 'g', 6));
}

} // namespace

bool MainWindow::IPLive(QString ip, int port, int timeout)
{
    return DeviceLink::unitAnswers(ip, port, timeout);
}

void MainWindow::on_pushButtonLinkMERRO_clicked()
{
    if (linked)
        return;
    // The probes take a while: the camera's details are not asked for meanwhile.
    engine->endDetails();

    const int wait = LinkChannel::kProbeTimeoutMs;
    const merro::Endpoint& ground = merro::deviceAddresses().ground;
    const merro::Endpoint& control = merro::deviceAddresses().control;
    const bool live = IPLive(QString::fromStdString(ground.host), ground.port, wait)
                      && IPLive(QString::fromStdString(control.host), control.port, wait);
    if (!live) {
        showLinkState(ui->lineEditLinkMERRO, false);
        linked = false;
        return;
    }

    showLinkState(ui->lineEditLinkMERRO, true);
    // After a link loss the first pair is still running and reconnecting.
    if (!findChild<ControlClientThread*>(QString(), Qt::FindDirectChildrenOnly)) {
        auto* control = new ControlClientThread(this);
        connect(control, &ControlClientThread::VersionInfo, this, &MainWindow::VersionInfo);
        connect(control, &ControlClientThread::updateLinkedFlag, this,
                &MainWindow::updateLinkedFlag);
        control->start(QThread::InheritPriority);

        auto* ground = new GroundClientThread(this);
        ground->start(QThread::InheritPriority);
    }
    linked = true;
    linkCameUp();
}

void MainWindow::VersionInfo(char hardType, int hardVer, int softVer, int ProtocolVer, int BootVer)
{
    if (!linked)
        return;
    // The type byte is signed whatever the platform's plain char is.
    ui->lineEditHardType->setText(versionText(static_cast<signed char>(hardType)));
    ui->lineEditHardVer->setText(versionText(hardVer / 100.0));
    ui->lineEditSoftVer->setText(versionText(softVer / 100.0));
    ui->lineEditProtocolVer->setText(versionText(ProtocolVer / 100.0));
    ui->lineEditBootVer->setText(versionText(BootVer / 100.0));
}

void MainWindow::updateLinkedFlag(bool flag)
{
    const bool recovered = flag && !linked;
    linked = flag;
    showLinkState(ui->lineEditLinkMERRO, flag);
    if (recovered)
        linkCameUp();
    else
        engine->linkChanged(flag);
}
