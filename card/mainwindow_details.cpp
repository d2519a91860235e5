// The details pass of a listing: one request per file, made in the background
// while the table is in use. The rows in view are asked for first; the card's
// requests never overlap: a download or a delete holds the pass at its next
// request boundary, and a new listing, a format or a delete of everything ends it.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "cardbusy.h"
#include "carddetailsthread.h"

#include <QEventLoop>
#include <QPointer>
#include <QStatusBar>
#include <QTableWidget>

namespace {

// The count in the status bar is redrawn a few times a second: text for every
// file would cost more than the file's request.
constexpr qint64 kCountShownEveryMs = 100;

} // namespace

bool MainWindow::isReadingCardDetails() const
{
    return detailsRunning;
}

void MainWindow::beginCardDetails(int total, const QStringList& problems)
{
    detailsProblems = problems;
    detailsPending.clear();
    detailsPendingSet.clear();
    for (int row = 0; row < total; ++row) {
        const QString name = QString::fromLatin1(fileNames[row]);
        detailsPending << name;
        detailsPendingSet.insert(name);
    }
    detailsTotal = total;
    detailsDone = 0;
    detailsFailed = 0;
    detailsMissing = 0;
    detailsRunning = true;
    if (!cardDetails) {
        cardDetails = new CardDetailsThread(this);
        connect(cardDetails, &CardDetailsThread::fetched, this, &MainWindow::cardDetailsFetched);
        cardDetails->start();
    }
    if (total > 0)
        showNotice(tr("Reading file details: %1 of %2").arg(0).arg(total));
    detailsShown.start();
    requestNextDetails();
}

void MainWindow::requestNextDetails()
{
    if (!detailsRunning || !detailsInFlight.isEmpty() || detailsHolds > 0)
        return;
    QTableWidget* table = ui->tableWidgetFileInfo;
    QString next;
    // The rows the operator sees first.
    const int top = table->rowAt(0);
    int bottom = table->rowAt(table->viewport()->height() - 1);
    if (bottom < 0)
        bottom = table->rowCount() - 1;
    for (int row = top; top >= 0 && row <= bottom && next.isEmpty(); ++row) {
        const QTableWidgetItem* item = table->item(row, 0);
        if (item && detailsPendingSet.contains(item->text()))
            next = item->text();
    }
    // Then in row order; names whose rows a delete removed are not asked for.
    while (next.isEmpty() && !detailsPending.isEmpty()) {
        const QString name = detailsPending.takeFirst();
        detailsPendingSet.remove(name);
        if (rowOfName(name) >= 0)
            next = name;
        else
            ++detailsDone;
    }
    if (next.isEmpty()) {
        finishCardDetails();
        return;
    }
    detailsPending.removeOne(next);
    detailsPendingSet.remove(next);
    detailsInFlight = next;
    fileInfoIndex = rowOfName(next);
    cardDetails->fetch(next, urlGetFileInfo + next, cardRequestDeadlineMs);
}

void MainWindow::cardDetailsFetched(const QString& name, const QByteArray& body, bool ok,
                                    int status, int failure)
{
    detailsInFlight.clear();
    if (detailsWait)
        detailsWait->quit();
    if (!detailsRunning)
        return;
    // By name: a delete meanwhile may have moved the row.
    const int row = rowOfName(name);
    if (ok && row >= 0) {
        fileInfoIndex = row;
        ParseFileInfo(body.constData(), row);
    }
    if (!ok && noAnswer(static_cast<HttpFailure>(failure))) {
        // One wait for a camera that stopped answering, not one per file.
        detailsMissing = detailsTotal - detailsDone;
        detailsPending.clear();
        detailsPendingSet.clear();
        finishCardDetails();
        return;
    }
    ++detailsDone;
    // An error page is read like any reply, but it holds no details.
    detailsFailed += ok && status == 200 ? 0 : 1;
    if (detailsShown.elapsed() >= kCountShownEveryMs || detailsDone == detailsTotal) {
        detailsShown.restart();
        showNotice(
            tr("Reading file details: %1 of %2").arg(detailsDone).arg(detailsTotal));
    }
    requestNextDetails();
}

void MainWindow::finishCardDetails()
{
    detailsRunning = false;
    QStringList problems = detailsProblems;
    if (detailsMissing > 0)
        problems << tr("The camera stopped answering: no details for %1 of %2 files.")
                        .arg(detailsMissing).arg(detailsTotal);
    if (detailsFailed > 0)
        problems << tr("Details of %1 files could not be read.").arg(detailsFailed);
    const bool failed = !problems.isEmpty();
    if (ui->tableWidgetFileInfo->rowCount() > 0)
        problems << onDiskSummary();
    // A failure shown already (a download's, say) is not replaced.
    if (failed && !failureShown)
        showFailure(problems.join(QStringLiteral("  ")));
    else
        showNotice(problems.join(QStringLiteral("  ")));
}

void MainWindow::waitForCardDetails()
{
    if (detailsInFlight.isEmpty())
        return;
    // A camera that answers one request at a time must not see two: the one
    // under way ends first (within its deadline).
    const QPointer<MainWindow> self(this);
    const CardBusy busy(ui);
    QEventLoop loop;
    detailsWait = &loop;
    loop.exec();
    if (self)
        detailsWait = nullptr;
}

void MainWindow::holdCardDetails()
{
    ++detailsHolds;
    waitForCardDetails();
}

void MainWindow::releaseCardDetails()
{
    if (detailsHolds > 0 && --detailsHolds == 0)
        requestNextDetails();
}

void MainWindow::endCardDetails()
{
    if (!detailsRunning)
        return;
    detailsRunning = false;
    detailsPending.clear();
    detailsPendingSet.clear();
    waitForCardDetails();
}
