// The window's card slots: listing and maintenance, through the card engine.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "cardbusy.h"
#include "cardendpoints.h"
#include "cardengine.h"
#include "cardreplies.h"

#include <QFont>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableWidget>
#include <QThread>

#include <cstdlib>

namespace {

const char kConfirmTitle[] = "单击消息";

} // namespace

void MainWindow::setCardDeadlines(int requestMs, int maintenanceMs)
{
    engine->setDeadlines(requestMs, maintenanceMs);
}

void MainWindow::connectCardEngine()
{
    connect(engine, &CardEngine::rowsListed, this, &MainWindow::fillTableFromCard);
    connect(engine, &CardEngine::detailsArrived, this, [this](int row, const QByteArray& reply) {
        // The table's row of that name: rows removed meanwhile may have moved it.
        const QString name = engine->recording(row).name;
        const QTableWidgetItem* item = ui->tableWidgetFileInfo->item(row, 0);
        const int shown = item && item->text() == name ? row : rowOfName(name);
        if (shown >= 0)
            ParseFileInfo(reply.constData(), shown);
    });
    connect(engine, &CardEngine::detailsProgress, this, &MainWindow::showDetailsProgress);
    connect(engine, &CardEngine::detailsEnded, this, &MainWindow::showDetailsEnd);
    // The rows the operator sees are asked for first.
    connect(ui->tableWidgetFileInfo->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &MainWindow::preferVisibleDetails);
}

bool MainWindow::isReadingCardDetails() const
{
    return engine->isReadingDetails();
}

bool MainWindow::askCard(const QString& title, const QString& question, const QString& risk)
{
    const QString text = risk.isEmpty() ? question : question + QStringLiteral("\n\n") + risk;
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    box.button(QMessageBox::Yes)->setText(tr("Yes"));
    box.button(QMessageBox::No)->setText(tr("No"));
    return box.exec() == QMessageBox::Yes;
}

void MainWindow::on_pushButtonEnterTFcard_clicked()
{
    if (!linked)
        return;
    const QPointer<MainWindow> self(this);
    // A new listing replaces the one whose details are still coming; a
    // download pauses meanwhile.
    engine->endDetails();
    engine->beginCardOperation();
    if (!self)
        return;
    listCard();
    if (self)
        engine->endCardOperation();
}

bool MainWindow::listCard()
{
    const QPointer<MainWindow> self(this);
    const CardBusy busy(ui);
    const CardEngine::Listing listing = engine->list(true);
    if (!self)
        return false;
    cardAborted = listing.asked == CardEngine::Asked::Aborted;
    if (listing.asked == CardEngine::Asked::Failed)
        keepEarlierListing();
    return listing.asked == CardEngine::Asked::Answered;
}

void MainWindow::fillTableFromCard()
{
    QTableWidget* table = ui->tableWidgetFileInfo;
    table->setRowCount(0);
    table->setRowCount(engine->rowCount());
    for (int row = 0; row < engine->rowCount(); ++row) {
        auto* item = new QTableWidgetItem(engine->recording(row).name);
        // The columns share the width equally and cut long names.
        item->setToolTip(item->text());
        table->setItem(row, 0, item);
    }
    preferVisibleDetails();
}

void MainWindow::preferVisibleDetails()
{
    const QTableWidget* table = ui->tableWidgetFileInfo;
    const int top = table->rowAt(0);
    int bottom = table->rowAt(table->viewport()->height() - 1);
    if (bottom < 0)
        bottom = table->rowCount() - 1;
    engine->preferDetails(top, top < 0 ? -1 : bottom);
}

void MainWindow::keepEarlierListing()
{
    QTableWidget* table = ui->tableWidgetFileInfo;
    if (table->rowCount() == 0) {
        showFailure(tr("Could not read the card's file list."));
        return;
    }
    // The rows stay, but they may no longer be what the card holds.
    for (int row = 0; row < table->rowCount(); ++row) {
        for (int column = 0; column < table->columnCount(); ++column) {
            QTableWidgetItem* item = table->item(row, column);
            if (!item)
                continue;
            QFont font = item->font();
            font.setItalic(true);
            item->setFont(font);
        }
    }
    showFailure(tr("Could not read the card's file list. The rows shown are from an earlier"
                   " listing."));
}

void MainWindow::ParseFileInfo(const char* fileinfo, int Index)
{
    const CardReplies::FileInfoFields fields = CardReplies::cutFileInfo(fileinfo);
    const auto put = [this, Index](int column, const QString& text, int alignment,
                                   const QVariant& value) {
        auto* item = new QTableWidgetItem;
        item->setData(Qt::ForegroundRole, QColor(QStringLiteral("gray")));
        item->setData(Qt::DisplayRole, text);
        item->setData(Qt::TextAlignmentRole, alignment);
        if (value.isValid())
            item->setData(Qt::UserRole, value);
        ui->tableWidgetFileInfo->setItem(Index, column, item);
    };

    const QByteArray create(fields.create);
    const auto piece = [&create](int at, int length) {
        return QString::fromLatin1(create.mid(at, length));
    };
    // The exact values behind the texts: nothing parses the texts back.
    const CardRecording exact = recordingFromInfo(QString(), fileinfo);
    put(1, QStringLiteral("%1-%2-%3  %4:%5:%6")
               .arg(piece(0, 4), piece(4, 2), piece(6, 2), piece(8, 2), piece(10, 2),
                    piece(12, 2)),
        Qt::AlignCenter, exact.created.isValid() ? QVariant(exact.created) : QVariant());

    const long long bytes = std::strtoll(fields.size, nullptr, 10);
    const long long kilobytes = bytes / 1024;
    put(2, kilobytes > 1023 ? QString::number(bytes / 1048576) + QStringLiteral("MB")
                            : QString::number(kilobytes) + QStringLiteral("KB"),
        Qt::AlignRight | Qt::AlignVCenter,
        exact.size >= 0 ? QVariant(static_cast<qlonglong>(exact.size)) : QVariant());

    put(3, QString::fromLatin1(fields.time) + QStringLiteral("s"), Qt::AlignCenter, QVariant());
    markOnDisk(Index);
}

void MainWindow::on_pushButtonDeleteFile_clicked()
{
    if (!linked)
        return;
    GetSelectedFiles();
    if (selectedCount == 0)
        return;
    QString risk = notOnDiskText(QVector<int>(selectedRows, selectedRows + selectedCount));
    if (engine->downloads()->isRunning())
        risk += (risk.isEmpty() ? QString() : QStringLiteral("\n\n"))
                + tr("A download is running: it waits while the files are deleted, and the"
                     " deleted files leave its queue.");
    if (!askCard(tr("Delete File"),
                 tr("Delete the %1 selected files from the card?").arg(selectedCount), risk))
        return;
    const QPointer<MainWindow> self(this);
    engine->beginCardOperation();
    if (!self)
        return;
    cardAborted = false;
    {
        const CardBusy busy(ui);
        cardDeleteFailures = 0;
        cardDeleteRefusals.clear();
        cardDeleteStopped = false;
        while (selectedCursor < selectedCount) {
            const int row = selectedRows[selectedCursor];
            const QTableWidgetItem* item = ui->tableWidgetFileInfo->item(row, 0);
            DeleteFile(item ? item->text() : QString());
            if (!self)
                return;
            if (cardAborted)
                break;
            if (cardDeleteStopped) {
                cardDeleteFailures += selectedCount - selectedCursor;
                break;
            }
        }
    }
    engine->endCardOperation();
    if (cardAborted)
        return;
    if (!cardDeleteRefusals.isEmpty())
        showFailure(tr("%1 of %2 selected files could not be deleted: %3.")
                        .arg(cardDeleteFailures)
                        .arg(selectedCount)
                        .arg(cardDeleteRefusals.join(QStringLiteral("; "))));
    else if (cardDeleteFailures > 0)
        showFailure(tr("%1 of %2 selected files could not be deleted.")
                        .arg(cardDeleteFailures).arg(selectedCount));
    else if (!engine->downloads()->isRunning())
        statusBar()->clearMessage();
}

void MainWindow::DeleteFile(QString fileName)
{
    ui->pushButtonDeleteFile->setEnabled(false);
    const QPointer<MainWindow> self(this);
    bool deleted = false;
    bool noReply = false;
    QString refusal;
    const CardEngine::Asked asked = engine->deleteFile(fileName, &deleted, &noReply, &refusal);
    if (!self)
        return;
    if (asked == CardEngine::Asked::Aborted) {
        cardAborted = true;
        return;
    }
    cardDeleteStopped = noReply;
    // Also after a failure, so that the user can try again.
    ui->pushButtonDeleteFile->setEnabled(true);
    if (deleted)
        ui->tableWidgetFileInfo->removeRow(selectedRows[selectedCursor]);
    else
        ++cardDeleteFailures;
    if (!deleted && asked == CardEngine::Asked::Answered)
        cardDeleteRefusals << fileName + QStringLiteral(": ") + refusal;
    ++selectedCursor;
    QThread::usleep(200);
}

void MainWindow::on_pushButtonDeleteAllFiles_clicked()
{
    if (!linked)
        return;
    if (!askCard(tr("Delete All Files"), tr("Delete every file on the card?"), cardAtRisk()))
        return;
    runCardMaintenance(CardEndpoints::url(CardEndpoints::kDeleteAllFiles),
                       QStringLiteral("已删除卡内所有文件"),
                       tr("The camera did not confirm deleting all files."),
                       tr("Download stopped to delete all files: %1 of %2 files downloaded."));
}

void MainWindow::on_pushButtonFormatCard_clicked()
{
    if (!linked)
        return;
    if (!askCard(tr("Format Card"), tr("Format the card? Every file on it will be lost."),
                 cardAtRisk()))
        return;
    runCardMaintenance(CardEndpoints::url(CardEndpoints::kFormatCard),
                       QStringLiteral("格式化卡成功"),
                       tr("The camera did not confirm formatting the card."),
                       tr("Download stopped to format the card: %1 of %2 files downloaded."));
}

void MainWindow::runCardMaintenance(const QString& url, const QString& boxText,
                                    const QString& failureText, const QString& stopSummary)
{
    const QPointer<MainWindow> self(this);
    // The recordings the queue was fetching are about to go; the queue says so.
    QString stopped;
    if (engine->downloads()->isRunning()) {
        engine->downloads()->stop(stopSummary);
        if (!self)
            return;
        stopped = statusBar()->currentMessage();
    }
    const auto tell = [&stopped](const QString& text) {
        return stopped.isEmpty() ? text : text + QStringLiteral("  ") + stopped;
    };
    bool confirmed = false;
    CardEngine::Asked asked;
    {
        const CardBusy busy(ui);
        asked = engine->changeWholeCard(url, stopSummary, &confirmed);
        if (!self || asked == CardEngine::Asked::Aborted)
            return;
    }
    if (asked == CardEngine::Asked::Failed) {
        showFailure(tell(failureText));
        return;
    }
    if (confirmed) {
        statusBar()->showMessage(stopped);
        QMessageBox::information(this, QString::fromUtf8(kConfirmTitle), boxText);
        if (!self)
            return;
    } else {
        showFailure(tell(failureText));
    }
    ui->tableWidgetFileInfo->setRowCount(0);
}

int MainWindow::findSubString(const char* string, char* strBuf, int bufSize,
                              const char* leftSplit, const char* rightSplit)
{
    return CardReplies::findSubString(string, strBuf, bufSize, leftSplit, rightSplit);
}
