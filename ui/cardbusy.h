#pragma once

#include "ui_mainwindow.h"

#include <QApplication>
#include <QList>
#include <QPointer>
#include <QWidget>

// Busy cursor and disabled controls for the length of a card operation. Gives
// back only what it took: a control that was disabled before (a download
// queue disables "Download File") stays as it is.
class CardBusy
{
public:
    explicit CardBusy(Ui::MainWindow* ui)
    {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        const QList<QWidget*> controls = {
            ui->pushButtonLinkMERRO, ui->pushButtonEnterTFcard, ui->pushButtonDownloadFile,
            ui->pushButtonDeleteFile, ui->pushButtonDeleteAllFiles, ui->pushButtonFormatCard,
            ui->checkBoxSelectAllFiles};
        for (QWidget* control : controls) {
            if (control->testAttribute(Qt::WA_ForceDisabled))
                continue;
            control->setEnabled(false);
            disabled.append(control);
        }
    }
    ~CardBusy()
    {
        for (const QPointer<QWidget>& control : disabled) {
            if (control)
                control->setEnabled(true);
        }
        QApplication::restoreOverrideCursor();
    }
    CardBusy(const CardBusy&) = delete;
    CardBusy& operator=(const CardBusy&) = delete;

private:
    QList<QPointer<QWidget>> disabled;
};
