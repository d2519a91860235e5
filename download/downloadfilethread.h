#pragma once

#include "cardfiletransfer.h"
#include "cardrecording.h"
#include "localarchive.h"

#include <QByteArray>
#include <QSet>
#include <QElapsedTimer>
#include <QString>
#include <QThread>

#include <atomic>

// Fetches one card file into the local download folder on a thread of its own
// and reports to the window by queued signals only. What a transfer that
// breaks off received is kept, and the next one for the same recording goes
// on from there.
class SavedCardFile;

class DownloadFileThread : public QThread, private download::TransferObserver
{
    Q_OBJECT

public:
    explicit DownloadFileThread(QObject* parent = nullptr);
    ~DownloadFileThread() override;

    // Ends the transfer, or the details request before it, at its next look;
    // what arrived is kept.
    void stop();

    // Set before start() and not touched afterwards.
    QString fileName;     // as shown, and saved under
    QByteArray cardName;  // as the camera lists it; empty: fileName's Latin-1 bytes
    QDateTime createdAt;  // recording time given to the local file, if valid
    QByteArray createdText; // the same as the camera wrote it
    qint64 listedSize = -1; // -1: not known
    QString folder = QStringLiteral("DCIM/"); // where it goes, ending in '/'
    LocalArchive::Layout layout = LocalArchive::Layout::Flat;
    int detailsDeadlineMs = 10000;
    // A sync: a recording the folder holds already (once its details are
    // known) is not fetched again.
    bool skipWhenSafe = false;
    // A sync: a recording older than this is not fetched (retention would
    // remove it at once).
    QDateTime notBefore;
    enum Skip { Retired, TooOld };
    QSet<QString> notCopies; // local files known to be other recordings

signals:
    void downloadFileFinished();
    void updateDownloadFileProgress(qint64, qint64);
    // Emitted just before downloadFileFinished when the file did not arrive;
    // `why` is a download::Outcome, `status` the reply's status code if any;
    // `inBody`: it broke off in the body, and what came is kept.
    void downloadFileFailed(int why, int status, bool inBody);
    // The camera's info reply for the file, asked for first when its time or
    // size was not known: a resume and the choice of the local name need both.
    void detailsFetched(const QString& name, const QByteArray& reply);
    // Where the whole file went: its own name, or one beside a different
    // recording of that name.
    void fileSaved(const QString& name, const QString& path);
    // Instead of fileSaved: the folder held it already, and nothing was fetched.
    void alreadySafe(const QString& name, const QString& path);
    // The body is in; the camera is free while the local file is made.
    void bodyReceived();
    // A link stood in the download folder where this file's bytes, their
    // description or its name would go; it was left alone.
    void linkLeftAlone(const QString& path);
    // Instead of fileSaved: not fetched, because retention removed this
    // very recording from the folder (the journal says so), or because it is
    // older than retention keeps. `why` is a Skip.
    void skipped(const QString& name, int why);
    // The file arrived but its journal line could not be written.
    void journalFailed(const QString& path);

protected:
    void run() override;

private slots:
    void DownloadFile(QString fileName);
    resp_header get_resp_header(char* response);

private:
    bool stopRequested() override;
    void headerReceived(const resp_header& header) override;
    void blockWritten(long long written, long long total) override;
    void bodyComplete() override;
    // *silent: the camera did not answer at all.
    CardRecording askForDetails(const CardRecording& recording, bool* silent);
    // The saved line (and a kept-beside one) of a file that arrived.
    bool journal(const CardRecording& recording, const SavedCardFile& file,
                 const LocalArchive& archive);

    QString baseUrl;
    resp_header respHeader;
    std::atomic<bool> stopping{false};
    // Set while a progress signal is on its way to the window: later blocks
    // do not queue another one, so a fast transfer cannot flood the window;
    // nor do blocks that follow the last signal closely. The last count
    // always goes out once the transfer ends.
    std::atomic<bool> progressQueued{false};
    QElapsedTimer progressClock;
    long long lastWritten = -1;
    long long lastTotal = -1;
    long long lastEmitted = -1;
};
