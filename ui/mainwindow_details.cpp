// The details pass of a listing as the window shows it: the count while the
// details come, what is missing and what is safe on disk when they are done.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QTableWidget>

namespace {

// The count in the status bar is redrawn a few times a second: text for every
// file would cost more than the file's request.
constexpr qint64 kCountShownEveryMs = 100;

} // namespace

void MainWindow::showDetailsProgress(int done, int total)
{
    if (done == 0) {
        detailsShown.start();
        if (total > 0)
            showNotice(tr("Reading file details: %1 of %2").arg(0).arg(total));
        return;
    }
    if (detailsShown.elapsed() < kCountShownEveryMs && done != total)
        return;
    detailsShown.restart();
    showNotice(tr("Reading file details: %1 of %2").arg(done).arg(total));
}

void MainWindow::showDetailsEnd(const QStringList& listingProblems)
{
    QStringList problems = listingProblems;
    const bool failed = !problems.isEmpty();
    if (ui->tableWidgetFileInfo->rowCount() > 0)
        problems << onDiskSummary();
    // A failure shown already (a download's, say) is not replaced.
    if (failed && !failureShown)
        showFailure(problems.join(QStringLiteral("  ")));
    else
        showNotice(problems.join(QStringLiteral("  ")));
}
