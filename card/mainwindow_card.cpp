// The window's card slots: listing and maintenance.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "cardbusy.h"
#include "cardendpoints.h"
#include "cardfilename.h"
#include "cardrecording.h"
#include "cardreplies.h"

#include <QEventLoop>
#include <QFont>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <string>

namespace {

const char kConfirmTitle[] = "单击消息";

static_assert(MainWindow::kFileNameSize == CardReplies::kValueSize);

} // namespace

void MainWindow::setCardDeadlines(int requestMs, int maintenanceMs)
{
    cardRequestDeadlineMs = requestMs;
    cardMaintenanceDeadlineMs = maintenanceMs;
}

bool MainWindow::runCardJob(const std::function<void()>& job)
{
    const QPointer<MainWindow> self(this);
    std::atomic<bool> done{false};
    cardCancel = false;
    cardAborted = false;
    QThread* helper = QThread::create([&job, &done] {
        job();
        done = true;
    });
    // A child, so that a window destroyed meanwhile joins it first.
    helper->setParent(this);
    QEventLoop loop;
    connect(helper, &QThread::finished, &loop, &QEventLoop::quit);
    helper->start();
    loop.exec();
    if (!self)
        return false;
    if (!done) {
        // The loop was ended from outside: the application is quitting.
        cardCancel = true;
        cardAborted = true;
    }
    helper->wait();
    delete helper;
    return !cardAborted;
}

bool MainWindow::cardGet(const QString& url, int deadlineMs, bool* ok)
{
    httpRequest.url = url.toUtf8().toStdString();
    responseBody.clear();
    httpClient.SetTimeouts(merro::http::kConnectTimeoutMs, deadlineMs);
    return runCardJob(
        [this, ok] { *ok = httpClient.Get(httpRequest, httpResponse, responseBody); });
}

QString MainWindow::cardAtRisk()
{
    QVector<int> rows(ui->tableWidgetFileInfo->rowCount());
    std::iota(rows.begin(), rows.end(), 0);
    QString risk = notOnDiskText(rows, true);
    if (downloadRunning)
        risk += (risk.isEmpty() ? QString() : QStringLiteral("\n\n"))
                + tr("A download is running: it will be stopped first.");
    return risk;
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
    // A new listing replaces the one whose details are still coming.
    endCardDetails();
    const QPointer<MainWindow> self(this);
    pauseDownloads();
    if (!self)
        return;
    listCard();
    if (self)
        resumeDownloads();
}

void MainWindow::listCard()
{
    const CardBusy busy(ui);
    bool ok = false;
    if (!cardGet(urlGetFileCount, cardRequestDeadlineMs, &ok))
        return;
    char countText[16] = "";
    if (ok) {
        CardReplies::cutFileCount(responseBody.c_str(), countText, sizeof countText);
        if (!cardGet(urlGetFileList + QLatin1String(countText), cardRequestDeadlineMs, &ok))
            return;
    }
    if (!ok) {
        keepEarlierListing();
        return;
    }
    // An error page is read like any reply, but what it yields is no list.
    const bool errorPage = httpResponse.status != 200;
    const CardReplies::FileList list = listCardEntries();
    const long long count = std::strtoll(countText, nullptr, 10);
    const int listed = list.rows + list.leftOut;
    QStringList problems;
    if (errorPage) {
        problems << tr("Could not read the card's file list.");
    } else {
        if (list.leftOut > 0)
            problems << tr("%1 entries of the card's list were left out: unsafe names or more"
                           " than %2 files.").arg(list.leftOut).arg(kMaxFiles);
        // A list that ends early must never pass for the whole card.
        if (countText[0] != '\0' && listed < count)
            problems << tr("The camera counts %1 files but listed %2.").arg(count).arg(listed);
        else if (list.cut)
            problems << tr("The card's file list was cut off after %1 files.").arg(listed);
    }
    cardRowsCurrent = true;
    cardListedWhole = problems.isEmpty();
    cardLeftOut = list.leftOut;
    // Never more requests than rows: slots past them hold no name of this list.
    const int total = static_cast<int>(std::min(count, static_cast<long long>(list.rows)));
    beginCardDetails(std::max(total, 0), problems);
}

void MainWindow::keepEarlierListing()
{
    cardRowsCurrent = false;
    cardListedWhole = false;
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

CardReplies::FileList MainWindow::listCardEntries()
{
    const CardReplies::FileList list =
        CardReplies::cutFileList(responseBody, fileNames, kMaxFiles);
    QTableWidget* table = ui->tableWidgetFileInfo;
    table->setRowCount(0);
    table->setRowCount(list.rows);
    for (int row = 0; row < list.rows; ++row) {
        auto* item = new QTableWidgetItem(QString::fromLatin1(fileNames[row]));
        // The columns share the width equally and cut long names.
        item->setToolTip(item->text());
        table->setItem(row, 0, item);
    }
    return list;
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
    const QVector<int> rows(selectedRows, selectedRows + selectedCount);
    QString risk = notOnDiskText(rows, false);
    if (downloadRunning)
        risk += (risk.isEmpty() ? QString() : QStringLiteral("\n\n"))
                + tr("A download is running: it waits while the files are deleted, and the"
                     " deleted files leave its queue.");
    if (!askCard(tr("Delete File"),
                 tr("Delete the %1 selected files from the card?").arg(selectedCount), risk))
        return;
    const QPointer<MainWindow> self(this);
    holdCardDetails();
    if (!self)
        return;
    pauseDownloads();
    if (!self)
        return;
    {
        const CardBusy busy(ui);
        cardDeleteFailures = 0;
        cardDeleteStopped = false;
        while (selectedCursor < selectedCount) {
            const int row = selectedRows[selectedCursor];
            const QTableWidgetItem* item = ui->tableWidgetFileInfo->item(row, 0);
            const QString name = item ? item->text() : QString();
            const int failuresBefore = cardDeleteFailures;
            DeleteFile(name);
            if (!self)
                return;
            if (cardAborted)
                break;
            if (cardDeleteFailures == failuresBefore)
                dropFromDownloads(name);
            if (cardDeleteStopped) {
                cardDeleteFailures += selectedCount - selectedCursor;
                break;
            }
        }
    }
    resumeDownloads();
    releaseCardDetails();
    if (cardAborted)
        return;
    if (cardDeleteFailures > 0)
        showFailure(tr("%1 of %2 selected files could not be deleted.")
                        .arg(cardDeleteFailures).arg(selectedCount));
    else if (!downloadRunning)
        statusBar()->clearMessage();
}

void MainWindow::DeleteFile(QString fileName)
{
    ui->pushButtonDeleteFile->setEnabled(false);
    bool ok = false;
    if (merro::isPlainCardFileName(fileName.toLatin1().toStdString())) {
        if (!cardGet(QStringLiteral("%1%2").arg(urlDeleteFile, fileName), cardRequestDeadlineMs,
                     &ok))
            return;
        // As for the listing: one wait for a camera that does not answer.
        cardDeleteStopped = !ok && noAnswer(httpClient.LastFailure());
    }
    // Also after a failure, so that the user can try again.
    ui->pushButtonDeleteFile->setEnabled(true);
    if (ok)
        ui->tableWidgetFileInfo->removeRow(selectedRows[selectedCursor]);
    else
        ++cardDeleteFailures;
    ++selectedCursor;
    QThread::usleep(200);
}

void MainWindow::on_pushButtonDeleteAllFiles_clicked()
{
    if (!linked)
        return;
    if (!askCard(tr("Delete All Files"), tr("Delete every file on the card?"), cardAtRisk()))
        return;
    endCardDetails();
    runCardMaintenance(urlDeleteAllFiles, QStringLiteral("已删除卡内所有文件"),
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
    endCardDetails();
    runCardMaintenance(urlFormatCard, QStringLiteral("格式化卡成功"),
                       tr("The camera did not confirm formatting the card."),
                       tr("Download stopped to format the card: %1 of %2 files downloaded."));
}

void MainWindow::runCardMaintenance(const QString& url, const QString& boxText,
                                    const QString& failureText, const QString& stopSummary)
{
    const QPointer<MainWindow> self(this);
    // The recordings the queue was fetching are about to go; the queue says so.
    QString stopped;
    if (downloadRunning) {
        stopDownloadsForCard(stopSummary);
        if (!self)
            return;
        stopped = statusBar()->currentMessage();
    }
    const auto tell = [&stopped](const QString& text) {
        return stopped.isEmpty() ? text : text + QStringLiteral("  ") + stopped;
    };
    bool ok = false;
    {
        const CardBusy busy(ui);
        if (!cardGet(url, cardMaintenanceDeadlineMs, &ok))
            return;
    }
    if (!ok) {
        showFailure(tell(failureText));
        return;
    }
    // Emptied whatever the answer; only a confirmed one says the card is empty.
    cardRowsCurrent = cardListedWhole = responseBody == "Success\r\n";
    cardLeftOut = 0;
    if (responseBody == "Success\r\n") {
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
