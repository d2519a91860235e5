#pragma once

#include "cardengine.h"
#include "cardrecording.h"
#include "downloadqueue.h"
#include "ratemeter.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

class HistoryDialog;
class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QSettings;
class QToolButton;
class QTranslator;

namespace Ui {
class MainWindow;
}

// The tool's only window. Its slots are grouped by job in mainwindow_<job>.cpp:
// the table, the language, the link, the card, the details, the downloads,
// what is on disk and the sync. What the window knows of the card and its
// downloads lives in the card engine, which a sync without a window drives
// the same way; the table shows it.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int kMaxFiles = 9999;

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Read-only views of the window's bookkeeping, for tests and diagnostics.
    bool isLinked() const { return linked; }
    int selectionCount() const { return selectedCount; }
    int selectionCursor() const { return selectedCursor; }
    int selectionRow(int index) const { return selectedRows[index]; }

    // Card: how long one listing or delete request, and one delete-all or
    // format, may take (tests shorten them).
    void setCardDeadlines(int requestMs, int maintenanceMs);
    // Card: the details of the listed files are still being asked for.
    bool isReadingCardDetails() const;
    // Download: where the files go (ending in '/'; "DCIM/" unless set). The
    // status bar says so at once when it cannot be written.
    void setDownloadFolder(const QString& folder);
    // Download: where new recordings go in the folder, and what it keeps.
    void setArchive(LocalArchive::Layout layout, const RetentionLimits& limits);
    // Sync: whether each new link downloads the new recordings; a change
    // made in the window is written to `store` (if any).
    void setSyncOnLink(bool on, QSettings* store = nullptr);

private slots:
    void translateLanguage();
    void comboxLanguageChanged();
    void LineEditsInit();
    void LineEditInit(QLineEdit* Information);
    void TableWidgetItemInit();
    void on_pushButtonLinkMERRO_clicked();
    void on_pushButtonEnterTFcard_clicked();
    void ParseFileInfo(const char* fileinfo, int Index);
    void on_pushButtonDownloadFile_clicked();
    void DownloadFile(QString fileName);
    void DownloadFileFinished();
    void updateDownloadFileProgress(qint64 bytesRead, qint64 totalBytes);
    void on_pushButtonDeleteFile_clicked();
    void DeleteFile(QString fileName);
    void on_pushButtonDeleteAllFiles_clicked();
    void on_pushButtonFormatCard_clicked();
    void on_checkBoxSelectAllFiles_stateChanged(int arg1);
    void GetSelectedFiles();
    int findSubString(const char* string, char* strBuf, int bufSize, const char* leftSplit,
                      const char* rightSplit);
    static bool IPLive(QString ip, int port, int timeout = 1000);
    void VersionInfo(char hardType, int hardVer, int softVer, int ProtocolVer, int BootVer);
    void updateLinkedFlag(bool flag);

    // download
    void cancelDownloads();
    // sync
    void downloadNewRecordings();
    void deleteSafeRecordings();
    void openDownloadFolder();
    void showHistory();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void useLanguageForSizes(bool chinese);
    // Asks every worker thread to stop and waits for it; a running QThread
    // must not be destroyed with the window's children.
    void stopWorkerThreads();

    // A failure stays in the status bar until the operator's next action:
    // what goes on in the background meanwhile does not replace it.
    void showFailure(const QString& text);
    void showNotice(const QString& text);
    bool failureShown = false;

    // card: the engine's listing in the table.
    void connectCardEngine();
    // Count and list into the table; false when they did not arrive (the
    // status bar says so) or the window went meanwhile.
    bool listCard();
    void fillTableFromCard();
    void keepEarlierListing();
    void showDetailsProgress(int done, int total);
    void showDetailsEnd(const QStringList& problems);
    void preferVisibleDetails();
    // Yes/No, No the default; `risk` (if any) says what the card holds that
    // is not in the download folder.
    bool askCard(const QString& title, const QString& question, const QString& risk);
    QString cardAtRisk();
    void runCardMaintenance(const QString& url, const QString& boxText,
                            const QString& failureText, const QString& stopSummary);
    bool cardAborted = false;
    bool cardDeleteStopped = false;
    int cardDeleteFailures = 0;
    QStringList cardDeleteRefusals; // "NAME: why" of the deletes the camera refused
    QElapsedTimer detailsShown;

    // table: the row's name with the exact values behind its Size and Date
    // texts; unknown until the file's details arrived.
    CardRecording rowRecording(int row) const;
    // The row whose Name cell shows this name; -1 if none does.
    int rowOfName(const QString& name) const;

    // download: what is safe in the download folder already.
    QString downloadFolder() const;
    void addOnDiskActions();
    void markOnDisk(int row);
    bool isOnDisk(int row) const;
    QString onDiskSummary() const;
    void selectFilesNotOnDisk();
    // proof: how many of these rows are not proven safe in the download
    // folder, each looked at on the card now, or that nobody can tell.
    QString notOnDiskText(const QVector<int>& rows);
    QString riskText(const CardEngine::AtRisk& risk, bool wholeCard) const;
    // Runs the engine's check with a progress dialog that shows after a
    // moment and can cancel it.
    template<typename Work>
    auto proving(const QString& label, Work work) -> decltype(work());
    // Deletes what is proven safe, after the question; says what stays.
    void freeCard(const QVector<CardRecording>& safe);
    QAction* selectNotOnDiskAction = nullptr;

    // download: the engine's queue in the counter, the bar and the status bar.
    void connectDownloads();
    void downloadEnded(const QString& summary, bool failures);
    void showCancelButton(bool shown);
    void showDownloadRate(qint64 bytesRead, qint64 totalBytes);
    RateMeter downloadMeter;
    QElapsedTimer downloadFileClock; // since the last file started
    QLabel* downloadRate = nullptr;
    QPushButton* downloadCancel = nullptr;

    // sync: the status bar's menu, the table's context menu, the shortcuts.
    void addSyncActions();
    void translateSyncActions();
    // Each new link: the engine hears of it, and a sync starts if wished.
    void linkCameUp();
    // Starts the queue of new recordings; waits while another run holds
    // the download folder or the camera.
    void startSync();
    void syncStarted(int result, const QString& why);
    QToolButton* syncButton = nullptr;
    QAction* downloadNewAction = nullptr;
    QAction* deleteSafeAction = nullptr;
    QAction* syncOnLinkAction = nullptr;
    QAction* openFolderAction = nullptr;
    QAction* historyAction = nullptr;
    HistoryDialog* history = nullptr; // made when first asked for
    QSettings* syncSettings = nullptr;
    QTimer syncRetry;

    CardEngine* engine;
    QTranslator* translator;
    bool linked;
    int selectedCursor;
    int selectedCount;
    int selectedRows[kMaxFiles];
    Ui::MainWindow* ui;
    // The camera address in use, shown when it is not the compiled-in one.
    QLabel* cameraAddress = nullptr;
};
