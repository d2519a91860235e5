#pragma once

#include "cardrecording.h"
#include "httpclient.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <atomic>
#include <functional>

class CardDetailsThread;
class QAction;
class QEventLoop;
class QLabel;
class QLineEdit;
class QPushButton;
class QTranslator;

namespace CardReplies {
struct FileList;
}

namespace Ui {
class MainWindow;
}

// The tool's only window. Its slots are grouped by subsystem: the shell's in
// ui/, the device link's in link/, the card's in card/, the download queue's
// in download/.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int kMaxFiles = 9999;
    static constexpr int kFileNameSize = 30;

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

    // card
    void cardDetailsFetched(const QString& name, const QByteArray& body, bool ok, int status,
                            int failure);

    // download
    void DownloadFileFailed(int why, int status, bool inBody);
    void downloadDetailsFetched(const QString& name, const QByteArray& reply);
    void cancelDownloads();
    void retryDownload();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Asks every worker thread to stop and waits for it; a running QThread
    // must not be destroyed with the window's children.
    void stopWorkerThreads();

    // A failure stays in the status bar until the operator's next action:
    // what goes on in the background meanwhile does not replace it.
    void showFailure(const QString& text);
    void showNotice(const QString& text);
    bool failureShown = false;

    // Card: each blocking request runs on a helper thread while a local event
    // loop keeps the window painting; the helper ends early when cardCancel
    // is raised (window closing, application quitting).
    bool runCardJob(const std::function<void()>& job);
    bool cardGet(const QString& url, int deadlineMs, bool* ok);
    // Yes/No, No the default; `risk` (if any) says what the card holds that
    // is not in the download folder.
    bool askCard(const QString& title, const QString& question, const QString& risk);
    QString cardAtRisk();
    void listCard();
    CardReplies::FileList listCardEntries();
    void keepEarlierListing();
    // stopSummary (files arrived, files queued): said when a download queue
    // has to end for it.
    void runCardMaintenance(const QString& url, const QString& boxText,
                            const QString& failureText, const QString& stopSummary);
    std::atomic<bool> cardCancel{false};
    bool cardAborted = false;
    bool cardDeleteStopped = false;
    int cardDeleteFailures = 0;
    int cardRequestDeadlineMs;
    int cardMaintenanceDeadlineMs;
    // The rows come from a list reply since the link was made, not an earlier one.
    bool cardRowsCurrent = false;
    // ... and that listing was whole: nothing missing from what the camera counts.
    bool cardListedWhole = false;
    // Entries of that list that have no row (unsafe names, past the capacity).
    int cardLeftOut = 0;

    // card: the details pass, one request at a time on a thread of its own.
    void beginCardDetails(int total, const QStringList& problems);
    void requestNextDetails();
    void finishCardDetails();
    // Until the request under way (if any) has ended.
    void waitForCardDetails();
    // The pass makes no new request between hold and release (they nest).
    void holdCardDetails();
    void releaseCardDetails();
    // The pass asks for nothing more.
    void endCardDetails();
    CardDetailsThread* cardDetails = nullptr;
    bool detailsRunning = false;
    QStringList detailsPending; // names still to ask for, in row order
    QSet<QString> detailsPendingSet;
    QString detailsInFlight;
    int detailsTotal = 0;
    int detailsDone = 0;
    int detailsFailed = 0;
    int detailsMissing = 0; // not asked for: the camera stopped answering
    int detailsHolds = 0;
    QStringList detailsProblems; // the listing's own, shown when the pass ends
    QElapsedTimer detailsShown;
    QEventLoop* detailsWait = nullptr;

    // table: the row's name with the exact values behind its Size and Date
    // texts; unknown until the file's details arrived.
    CardRecording rowRecording(int row) const;
    // The row whose Name cell shows this name; -1 if none does.
    int rowOfName(const QString& name) const;

    // download: what is safe in the download folder already.
    QString downloadFolder() const;
    QString dcimFolder = QStringLiteral("DCIM/");
    void addOnDiskActions();
    void markOnDisk(int row);
    bool isOnDisk(int row) const;
    QString onDiskSummary() const;
    void selectFilesNotOnDisk();
    // How many of these rows (and, for the whole card, its entries without a
    // row) are not in the download folder yet, or that nobody can tell.
    QString notOnDiskText(const QVector<int>& rows, bool wholeCard);
    QAction* selectNotOnDiskAction = nullptr;

    QTranslator* translator;
    bool linked;
    int fileInfoIndex;
    char fileNames[kMaxFiles][kFileNameSize];
    int selectedCursor;
    int selectedCount;
    int selectedRows[kMaxFiles];
    QString urlGetFileCount;
    QString urlGetFileList;
    QString urlDeleteFile;
    QString urlGetFileInfo;
    QString urlDeleteAllFiles;
    QString urlFormatCard;
    HttpClient httpClient;
    HttpRequest httpRequest;
    HttpResponse httpResponse;
    std::string responseBody;
    Ui::MainWindow* ui;

    // download: the queue keeps the names, dates and sizes it was started
    // with, so that browsing or deleting meanwhile cannot misdirect it.
    static constexpr int kDownloadRetries = 3;
    void startNextDownload();
    // The current file is over: the next one, or the end of the queue.
    void advanceDownloads();
    void endDownloads(const QString& summary);
    // The camera sends one thing at a time: a card operation during a queue
    // pauses its transfer, which keeps its bytes, and resumes it afterwards.
    // They nest; the window may be gone after a pause.
    void pauseDownloads();
    void resumeDownloads();
    // A file deleted from the card leaves the queue.
    void dropFromDownloads(const QString& name);
    // Before the whole card changes: the queue ends with `summary` (files
    // arrived, files queued).
    void stopDownloadsForCard(const QString& summary);
    void showCancelButton(bool shown);
    void showDownloadRate(qint64 bytesRead, qint64 totalBytes);
    // Free bytes on the volume the folder is (or will be) on; -1 if unknown.
    static qint64 freeSpace(const QString& folder);
    // The folder itself, or the nearest one above it that exists; empty when
    // it can never be made (a file stands in its place).
    static QString existingFolderOf(const QString& folder);
    QVector<CardRecording> downloadQueue;
    int downloadNext = 0;
    int downloadArrived = 0;
    int downloadRetries = 0;
    bool downloadFailed = false;    // the current file's transfer failed
    bool downloadRetry = false;     // ... and is tried again after a pause
    bool downloadCancelling = false;
    bool downloadRunning = false;
    bool downloadPaused = false;
    int downloadPauseHolds = 0;
    bool downloadInFlight = false;    // a transfer thread runs for the queue
    bool downloadPausing = false;     // ... until the stopped transfer has ended
    bool downloadCurrentDone = false; // the paused file arrived, or left the queue
    QEventLoop* downloadPauseWait = nullptr;
    QStringList downloadFailures;
    QPointer<QThread> downloadThread;
    QTimer downloadRetryTimer;
    QElapsedTimer downloadClock;
    qint64 downloadRateFrom = -1;
    qint64 downloadRateShownAt = 0;
    QLabel* downloadRate = nullptr;
    QPushButton* downloadCancel = nullptr;
    // The camera address in use, shown when it is not the compiled-in one.
    QLabel* cameraAddress = nullptr;
};
