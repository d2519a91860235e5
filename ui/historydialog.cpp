#include "historydialog.h"

#include "archivecheck.h"
#include "cardrecording.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>

namespace {

constexpr int kBarSteps = 1000;
// Wider names are cut in the middle; their tooltips hold them whole.
constexpr int kWidestName = 300;

// A checked file's row: the saved line it comes from.
QString lineKey(const JournalEntry& entry)
{
    return entry.path + QLatin1Char('\n') + entry.at.toString(Qt::ISODateWithMs)
           + QLatin1Char('\n') + QString::fromLatin1(entry.sha256);
}

} // namespace

HistoryDialog::HistoryDialog(QWidget* parent)
    : QDialog(parent)
    , filter(new QLineEdit(this))
    , table(new QTableWidget(this))
    , bar(new QProgressBar(this))
    , summary(new QLabel(this))
    , openButton(new QPushButton(this))
    , verifyButton(new QPushButton(this))
    , closeButton(new QPushButton(this))
{
    setObjectName(QStringLiteral("dialogHistory"));
    filter->setObjectName(QStringLiteral("lineEditHistoryFilter"));
    filter->setClearButtonEnabled(true);
    table->setObjectName(QStringLiteral("tableHistory"));
    table->setColumnCount(Columns);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->hide();
    table->setTextElideMode(Qt::ElideMiddle);
    table->horizontalHeader()->setStretchLastSection(true);
    bar->setObjectName(QStringLiteral("progressBarHistory"));
    bar->setRange(0, kBarSteps);
    bar->hide();
    summary->setObjectName(QStringLiteral("labelHistorySummary"));
    summary->setWordWrap(true);
    openButton->setObjectName(QStringLiteral("pushButtonHistoryOpen"));
    openButton->setEnabled(false);
    verifyButton->setObjectName(QStringLiteral("pushButtonHistoryVerify"));
    closeButton->setObjectName(QStringLiteral("pushButtonHistoryClose"));
    openButton->setAutoDefault(false);
    verifyButton->setAutoDefault(false);
    closeButton->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(openButton);
    buttons->addWidget(verifyButton);
    buttons->addStretch();
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filter);
    layout->addWidget(table);
    layout->addWidget(bar);
    layout->addWidget(summary);
    layout->addLayout(buttons);
    resize(1180, 460);

    connect(filter, &QLineEdit::textChanged, this, &HistoryDialog::applyFilter);
    connect(table, &QTableWidget::itemSelectionChanged, this, [this] {
        openButton->setEnabled(!table->selectedItems().isEmpty());
    });
    connect(table, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { openFolderOf(row); });
    connect(openButton, &QPushButton::clicked, this, [this] {
        const QList<QTableWidgetItem*> selected = table->selectedItems();
        if (!selected.isEmpty())
            openFolderOf(selected.first()->row());
    });
    connect(verifyButton, &QPushButton::clicked, this, &HistoryDialog::verifyOrCancel);
    connect(closeButton, &QPushButton::clicked, this, &HistoryDialog::reject);
    retranslate();
}

HistoryDialog::~HistoryDialog()
{
    // Before the children go: the thread reports to this dialog.
    if (check) {
        check->stop();
        check->wait();
    }
}

void HistoryDialog::done(int result)
{
    if (check) {
        check->stop();
        checkEnded();
    }
    QDialog::done(result);
}

void HistoryDialog::load(const QString& downloadFolder)
{
    if (check)
        return;
    folder = downloadFolder;
    journal = Journal::read(folder);
    phase = Phase::Journal;
    openFailure.clear();
    fill();
    retranslate();
}

void HistoryDialog::fill()
{
    QVector<int> order(journal.size());
    std::iota(order.begin(), order.end(), 0);
    // Newest first; of two lines at the same moment, the later one.
    std::sort(order.begin(), order.end(), [this](int a, int b) {
        const QDateTime& first = journal.at(a).at;
        const QDateTime& second = journal.at(b).at;
        return first != second ? first > second : a > b;
    });
    table->clearSelection();
    table->setRowCount(0);
    table->setRowCount(order.size());
    for (int row = 0; row < order.size(); ++row) {
        const JournalEntry& entry = journal.at(order.at(row));
        const auto put = [this, row](int column, const QString& text) {
            auto* item = new QTableWidgetItem(text);
            table->setItem(row, column, item);
            return item;
        };
        const QString when = entry.at.isValid()
                                 ? entry.at.toLocalTime().toString(
                                       QStringLiteral("yyyy-MM-dd hh:mm:ss"))
                                 : QString();
        put(When, when)->setData(Qt::UserRole, order.at(row));
        put(What, QString())->setData(Qt::UserRole, static_cast<int>(entry.kind));
        put(Name, cardNameText(entry.card))->setToolTip(cardNameText(entry.card));
        put(File, QDir::toNativeSeparators(entry.path))
            ->setToolTip(QDir::toNativeSeparators(QDir(folder).absoluteFilePath(entry.path)));
        // Its text follows the language, in showRowTexts.
        QTableWidgetItem* size = put(Size, QString());
        size->setData(Qt::UserRole, entry.size);
        size->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        put(State, QString());
    }
    applyFilter();
}

void HistoryDialog::showRowTexts(int row)
{
    const JournalEntry& entry = journal.at(table->item(row, When)->data(Qt::UserRole).toInt());
    QTableWidgetItem* what = table->item(row, What);
    switch (entry.kind) {
    case JournalEntry::Kind::Saved:
        what->setText(tr("Arrived"));
        break;
    case JournalEntry::Kind::Beside:
        what->setText(tr("Kept beside an older recording"));
        what->setToolTip(tr("Beside %1").arg(QDir::toNativeSeparators(entry.beside)));
        break;
    case JournalEntry::Kind::Freed:
        what->setText(tr("Freed from the card"));
        what->setToolTip(entry.note);
        break;
    case JournalEntry::Kind::Removed:
        what->setText(tr("Removed by retention"));
        what->setToolTip(entry.note);
        break;
    }
    if (entry.size >= 0)
        table->item(row, Size)->setText(QLocale().formattedDataSize(entry.size));
    QTableWidgetItem* state = table->item(row, State);
    const QVariant checked = state->data(Qt::UserRole);
    QString text;
    if (checked.isValid()) {
        switch (static_cast<ArchiveCheck::State>(checked.toInt())) {
        case ArchiveCheck::State::Holds:
            text = tr("Holds its checksum");
            break;
        case ArchiveCheck::State::Changed:
            text = tr("Changed since it arrived");
            break;
        case ArchiveCheck::State::Missing:
            text = tr("Missing");
            break;
        case ArchiveCheck::State::Unchecked:
            break;
        }
    }
    state->setText(text);
}

void HistoryDialog::retranslate()
{
    setWindowTitle(tr("History of %1").arg(QDir::toNativeSeparators(folder)));
    filter->setPlaceholderText(tr("Filter by name or date"));
    table->setHorizontalHeaderLabels(
        {tr("When"), tr("What"), tr("Name"), tr("File"), tr("Size"), tr("Checksum")});
    for (int row = 0; row < table->rowCount(); ++row)
        showRowTexts(row);
    // The texts of each language have widths of their own; the last column
    // takes the rest.
    for (int column = When; column < State; ++column) {
        table->resizeColumnToContents(column);
        if (column == Name || column == File)
            table->setColumnWidth(column, std::min(table->columnWidth(column), kWidestName));
    }
    openButton->setText(tr("Open Folder"));
    verifyButton->setText(check ? tr("Cancel") : tr("Verify"));
    verifyButton->setToolTip(tr("Reads every file the journal says the folder holds and"
                                " compares it with the checksum taken when it arrived."));
    closeButton->setText(tr("Close"));
    summary->setText(openFailure.isEmpty() ? summaryText() : openFailure);
}

void HistoryDialog::applyFilter()
{
    const QString wanted = filter->text().trimmed();
    for (int row = 0; row < table->rowCount(); ++row) {
        bool shown = wanted.isEmpty();
        for (int column : {When, Name, File})
            shown = shown
                    || table->item(row, column)->text().contains(wanted, Qt::CaseInsensitive);
        table->setRowHidden(row, !shown);
        if (!shown && table->item(row, When)->isSelected())
            table->clearSelection();
    }
}

void HistoryDialog::openFolderOf(int row)
{
    const JournalEntry& entry = journal.at(table->item(row, When)->data(Qt::UserRole).toInt());
    const QString path = QFileInfo(QDir(folder).absoluteFilePath(entry.path)).absolutePath();
    openFailure.clear();
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        openFailure = tr("Cannot open %1.").arg(QDir::toNativeSeparators(path));
    summary->setText(openFailure.isEmpty() ? summaryText() : openFailure);
}

void HistoryDialog::verifyOrCancel()
{
    if (check) {
        check->stop();
        return;
    }
    // The journal and the disk as they are now.
    load(folder);
    check = new ArchiveCheck(folder, journal, this);
    QHash<QString, int> rowOfLine;
    for (int row = table->rowCount() - 1; row >= 0; --row) {
        const JournalEntry& entry =
            journal.at(table->item(row, When)->data(Qt::UserRole).toInt());
        if (entry.kind == JournalEntry::Kind::Saved)
            rowOfLine.insert(lineKey(entry), row);
    }
    const QVector<ArchiveCheck::Item> items = check->items();
    rowOfItem.clear();
    for (const ArchiveCheck::Item& item : items)
        rowOfItem << rowOfLine.value(lineKey(item.saved), -1);
    itemStates.fill(static_cast<int>(ArchiveCheck::State::Unchecked), items.size());

    const int run = ++checkRun;
    connect(check, &ArchiveCheck::itemChecked, this, [this, run](int item, int state) {
        if (run == checkRun)
            showState(item, state);
    });
    connect(check, &ArchiveCheck::progress, this, [this, run](int files, qint64 bytes) {
        if (run == checkRun)
            showProgress(files, bytes);
    });
    connect(check, &QThread::finished, this, [this, run] {
        if (run == checkRun)
            checkEnded();
    });
    phase = Phase::Verifying;
    bar->setValue(0);
    bar->show();
    retranslate();
    check->start();
}

void HistoryDialog::showState(int item, int state)
{
    if (item < 0 || item >= itemStates.size())
        return;
    itemStates[item] = state;
    const int row = rowOfItem.at(item);
    if (row < 0)
        return;
    QTableWidgetItem* cell = table->item(row, State);
    cell->setData(Qt::UserRole, state);
    // What no longer holds stands out; the rest keeps the table's colour.
    if (state == static_cast<int>(ArchiveCheck::State::Holds))
        cell->setData(Qt::ForegroundRole, QVariant());
    else
        cell->setForeground(QBrush(Qt::red));
    showRowTexts(row);
}

void HistoryDialog::showProgress(int files, qint64 bytes)
{
    const qint64 total = check->totalBytes();
    const int count = std::max(1, itemStates.size());
    bar->setValue(total > 0 ? static_cast<int>(bytes * kBarSteps / total)
                            : files * kBarSteps / count);
}

void HistoryDialog::checkEnded()
{
    check->wait();
    // What the thread found is final, whatever of its reports is still queued.
    const QVector<ArchiveCheck::Item> items = check->items();
    for (int i = 0; i < items.size(); ++i) {
        if (items.at(i).state != ArchiveCheck::State::Unchecked)
            showState(i, static_cast<int>(items.at(i).state));
    }
    delete check;
    check = nullptr;
    ++checkRun;
    phase = Phase::Verified;
    bar->hide();
    retranslate();
}

QString HistoryDialog::summaryText() const
{
    const QString where = QDir::toNativeSeparators(folder);
    if (phase == Phase::Journal) {
        return journal.isEmpty() ? tr("%1 holds no journal yet.").arg(where)
                                 : tr("%1 events in the journal of %2.")
                                       .arg(journal.size())
                                       .arg(where);
    }
    const auto count = [this](ArchiveCheck::State state) {
        return static_cast<int>(itemStates.count(static_cast<int>(state)));
    };
    if (phase == Phase::Verifying)
        return tr("Verifying %1 files...").arg(itemStates.size());
    const int unchecked = count(ArchiveCheck::State::Unchecked);
    QString text = tr("Checksums held: %1; changed: %2; missing: %3.")
                       .arg(count(ArchiveCheck::State::Holds))
                       .arg(count(ArchiveCheck::State::Changed))
                       .arg(count(ArchiveCheck::State::Missing));
    if (unchecked > 0)
        text = tr("Cancelled: %1 of %2 files not checked.")
                   .arg(unchecked)
                   .arg(itemStates.size())
               + QLatin1Char(' ') + text;
    return text;
}
