#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "deviceaddresses.h"

#include <QAction>
#include <QLabel>
#include <QLocale>
#include <QTranslator>

void MainWindow::translateLanguage()
{
    ui->label_language->setText(tr("language:"));
    ui->label_1->setText(tr("HardwareType:"));
    ui->label_2->setText(tr("HardwareVersion:"));
    ui->label_3->setText(tr("SoftwareVersion:"));
    ui->label_4->setText(tr("ProtocolVersion:"));
    ui->label_5->setText(tr("BootloaderVersion:"));
    ui->pushButtonLinkMERRO->setText(tr("Link Device"));
    ui->pushButtonEnterTFcard->setText(tr("Browse Files in Card"));
    ui->pushButtonDownloadFile->setText(tr("Download File"));
    ui->pushButtonDeleteFile->setText(tr("Delete File"));
    ui->pushButtonDeleteAllFiles->setText(tr("Delete All Files"));
    ui->pushButtonFormatCard->setText(tr("Format Card"));
    ui->checkBoxSelectAllFiles->setText(tr("Select All"));
    ui->groupBoxFile->setTitle(tr("File Operate"));
    ui->groupBoxVersionInfo->setTitle(tr("Version Information"));
    ui->tableWidgetFileInfo->setHorizontalHeaderLabels(
        {tr("Name"), tr("Date"), tr("Size"), tr("Duration")});
    selectNotOnDiskAction->setText(tr("Select files not yet in DCIM/"));
    translateSyncActions();
    if (cameraAddress) {
        const merro::Endpoint& camera = merro::deviceAddresses().camera;
        cameraAddress->setText(tr("Camera %1:%2")
                                   .arg(QString::fromStdString(camera.host))
                                   .arg(camera.port));
    }
}

void MainWindow::comboxLanguageChanged()
{
    const bool chinese = ui->comboBox->currentText() == QLatin1String("Chinese");
    if (chinese)
        translator->load(QStringLiteral(":/translation/merro_chinese.qm"));
    else
        translator->load(QStringLiteral(":/translation/merro_english.qm"));
    useLanguageForSizes(chinese);
    translateLanguage();
}

// Sizes such as "1.5 MiB" take their units and decimal point from the default
// locale: the window's language, not the system's, so that a Chinese window
// never says "bytes".
void MainWindow::useLanguageForSizes(bool chinese)
{
    QLocale::setDefault(chinese ? QLocale(QLocale::Chinese, QLocale::China)
                                : QLocale(QLocale::English, QLocale::UnitedStates));
}
