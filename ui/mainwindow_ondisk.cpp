// Which listed recordings are safe in the download folder already: the marker
// in their Name cells, the selection of the others, and the counts that the
// status bar and the questions before a delete or a format give.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "cardengine.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QStatusBar>
#include <QIcon>
#include <QItemSelection>
#include <QTableWidget>

namespace {

// On the Name item: true when the folder holds this very recording.
constexpr int kOnDiskRole = Qt::UserRole + 1;

} // namespace

void MainWindow::addOnDiskActions()
{
    QTableWidget* table = ui->tableWidgetFileInfo;
    selectNotOnDiskAction = new QAction(this);
    selectNotOnDiskAction->setObjectName(QStringLiteral("actionSelectNotInDcim"));
    selectNotOnDiskAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    selectNotOnDiskAction->setShortcutContext(Qt::WindowShortcut);
    connect(selectNotOnDiskAction, &QAction::triggered, this, &MainWindow::selectFilesNotOnDisk);
    table->addAction(selectNotOnDiskAction);
    table->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void MainWindow::setDownloadFolder(const QString& folder)
{
    QString dcimFolder = QDir::fromNativeSeparators(folder);
    if (!dcimFolder.endsWith(QLatin1Char('/')))
        dcimFolder += QLatin1Char('/');
    engine->setFolder(dcimFolder);
    // Told at start, not when the first download fails: a tool started from a
    // desktop menu may run in a folder nobody can write.
    const QString problem = RunLock::problemWith(dcimFolder);
    if (!problem.isEmpty())
        showFailure(problem);
}

void MainWindow::setArchive(LocalArchive::Layout layout, const RetentionLimits& limits)
{
    engine->setLayout(layout);
    engine->setRetention(limits);
}

QString MainWindow::downloadFolder() const
{
    return engine->folder();
}

void MainWindow::markOnDisk(int row)
{
    QTableWidgetItem* item = ui->tableWidgetFileInfo->item(row, 0);
    if (!item)
        return;
    const CardRecording recording = rowRecording(row);
    const QString copy = engine->copyOf(recording);
    const QFileInfo local(downloadFolder() + recording.name);
    QString tip = recording.name;
    if (!copy.isEmpty()) {
        tip += QLatin1Char('\n')
               + (QFileInfo(copy) == local
                      ? tr("Already in DCIM/")
                      : tr("Already in DCIM/ as %1").arg(QFileInfo(copy).fileName()));
    } else if (recording.size >= 0 && local.isFile()) {
        tip += QLatin1Char('\n')
               + (local.size() == recording.size
                      ? tr("DCIM/ holds another recording of this name")
                      : tr("DCIM/ holds a copy of another size (%1 bytes)").arg(local.size()));
    }
    static const QIcon check(QStringLiteral(":/Images/ondisk.png"));
    item->setData(kOnDiskRole, !copy.isEmpty());
    item->setIcon(copy.isEmpty() ? QIcon() : check);
    item->setToolTip(tip);
}

bool MainWindow::isOnDisk(int row) const
{
    const QTableWidgetItem* item = ui->tableWidgetFileInfo->item(row, 0);
    return item && item->data(kOnDiskRole).toBool();
}

QString MainWindow::onDiskSummary() const
{
    const int rows = ui->tableWidgetFileInfo->rowCount();
    int onDisk = 0;
    for (int row = 0; row < rows; ++row)
        onDisk += isOnDisk(row) ? 1 : 0;
    return tr("%1 of the %2 listed files are already in DCIM/.").arg(onDisk).arg(rows);
}

void MainWindow::selectFilesNotOnDisk()
{
    QTableWidget* table = ui->tableWidgetFileInfo;
    QItemSelection rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        // The disk as it is now: files may have gone since the listing.
        markOnDisk(row);
        if (!isOnDisk(row))
            rows.select(table->model()->index(row, 0),
                        table->model()->index(row, table->columnCount() - 1));
    }
    table->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
}
