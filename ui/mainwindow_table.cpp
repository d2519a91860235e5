#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "nofocusdelegate.h"

#include <QHeaderView>
#include <QTableWidget>

#include <algorithm>

void MainWindow::TableWidgetItemInit()
{
    QTableWidget* table = ui->tableWidgetFileInfo;
    QHeaderView* header = table->horizontalHeader();

    table->setColumnCount(4);
    header->setDefaultSectionSize(150);
    table->setHorizontalHeaderLabels({tr("Name"), tr("Date"), tr("Size"), tr("Duration")});
    QFont font = header->font();
    font.setWeight(QFont::Bold);
    header->setFont(font);
    header->setStretchLastSection(true);
    header->setSectionResizeMode(QHeaderView::Stretch);
    table->verticalHeader()->setDefaultSectionSize(25);
    table->setFrameShape(QFrame::NoFrame);
    table->verticalHeader()->setVisible(false);
    table->setShowGrid(false);
    table->setItemDelegate(new NoFocusDelegate(table));
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    header->setFixedHeight(30);
    table->setStyleSheet(QStringLiteral("selection-background-color:rgb(89,153,247);"));
    header->setStyleSheet(QStringLiteral("QHeaderView::section{background:rgb(231,228,229);}"));
    header->setHighlightSections(false);
}

void MainWindow::on_checkBoxSelectAllFiles_stateChanged(int arg1)
{
    Q_UNUSED(arg1)
    if (ui->checkBoxSelectAllFiles->checkState() == Qt::Checked)
        ui->tableWidgetFileInfo->selectAll();
    else
        ui->tableWidgetFileInfo->clearSelection();
}

void MainWindow::GetSelectedFiles()
{
    selectedCount = 0;
    selectedCursor = 0;
    std::fill(std::begin(selectedRows), std::end(selectedRows), 0);

    const QList<QTableWidgetSelectionRange> ranges = ui->tableWidgetFileInfo->selectedRanges();
    for (const QTableWidgetSelectionRange& range : ranges) {
        if (range.topRow() > range.bottomRow())
            continue;
        for (int row = range.topRow(); row <= range.bottomRow(); ++row) {
            if (selectedCount >= kMaxFiles)
                break;
            // Insertion keeps the record sorted largest first.
            int* end = selectedRows + selectedCount;
            int* position = std::find_if(selectedRows, end, [row](int r) { return r <= row; });
            std::copy_backward(position, end, end + 1);
            *position = row;
            ++selectedCount;
        }
    }
}

CardRecording MainWindow::rowRecording(int row) const
{
    const QTableWidget* table = ui->tableWidgetFileInfo;
    CardRecording recording;
    if (const QTableWidgetItem* name = table->item(row, 0))
        recording.name = name->text();
    if (const QTableWidgetItem* date = table->item(row, 1))
        recording.created = date->data(Qt::UserRole).toDateTime();
    if (const QTableWidgetItem* size = table->item(row, 2)) {
        const QVariant bytes = size->data(Qt::UserRole);
        recording.size = bytes.isValid() ? bytes.toLongLong() : -1;
    }
    return recording;
}

int MainWindow::rowOfName(const QString& name) const
{
    const QTableWidget* table = ui->tableWidgetFileInfo;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, 0) && table->item(row, 0)->text() == name)
            return row;
    }
    return -1;
}
