#pragma once

#include "journal.h"

#include <QDialog>
#include <QVector>

class ArchiveCheck;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

// The download folder's journal, newest first: what arrived, what was kept
// beside an older recording, freed from the card or removed by retention.
// Verify hashes the files again on a thread of its own and marks each file
// that no longer holds the checksum taken when it arrived.
class HistoryDialog : public QDialog
{
    Q_OBJECT

public:
    explicit HistoryDialog(QWidget* parent = nullptr);
    ~HistoryDialog() override;

    // Reads the folder's journal as it is now; a running verify keeps the
    // rows it marks, and this does nothing then.
    void load(const QString& folder);
    // Every text again, in the application's language now.
    void retranslate();

public slots:
    void done(int result) override;

private:
    enum Column { When, What, Name, File, Size, State, Columns };
    enum class Phase { Journal, Verifying, Verified };

    void fill();
    void showRowTexts(int row);
    void applyFilter();
    void openFolderOf(int row);
    void verifyOrCancel();
    void showState(int item, int state);
    void showProgress(int files, qint64 bytes);
    void checkEnded();
    QString summaryText() const;

    QString folder;
    QVector<JournalEntry> journal;
    Phase phase = Phase::Journal;
    ArchiveCheck* check = nullptr;
    int checkRun = 0;              // queued reports of an earlier run are dropped
    QVector<int> rowOfItem;        // the row that shows each checked file, or -1
    QVector<int> itemStates;       // ArchiveCheck::State of each checked file
    QString openFailure;

    QLineEdit* filter;
    QTableWidget* table;
    QProgressBar* bar;
    QLabel* summary;
    QPushButton* openButton;
    QPushButton* verifyButton;
    QPushButton* closeButton;
};
