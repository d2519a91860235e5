#pragma once

#include "cardrecording.h"
#include "localarchive.h"
#include "ratemeter.h"
#include "retention.h"
#include "runreport.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QObject>
#include <QString>
#include <QVector>

class CardEngine;
class DeviceLink;
class QEventLoop;

// A sync without a window (merro-download --sync): link as the window does,
// list the card, download every recording that is not safe in the download
// folder yet, keep the folder within its limits, and, if asked, free the
// card of what is verified. It prints what it does and ends with a summary
// and an exit code.
class SyncRun : public QObject
{
    Q_OBJECT

public:
    enum Exit {
        Done = 0,        // everything new arrived, or nothing was new
        SomeFailed = 1,  // some recordings did not arrive; they are named
        BadOptions = 2,  // (told by the start options), or an unwritable folder
        Unreachable = 3, // the device or the camera, or a whole listing
        Busy = 4,        // another run holds the download folder or the camera
    };
    struct Options
    {
        QString folder = QStringLiteral("DCIM/");
        bool freeCard = false; // delete the recordings verified in the folder
        bool dryRun = false;   // list and tell, send nothing but the listing
        bool quiet = false;    // failures only
        bool json = false;     // the summary as one JSON document
        LocalArchive::Layout layout = LocalArchive::Layout::Flat;
        RetentionLimits limits;
    };

    explicit SyncRun(const Options& options, QObject* parent = nullptr);
    ~SyncRun() override;

    // Runs the whole sync in the event loop and returns its exit code.
    int run();

private:
    int sync();
    int downloadNew();
    int freeCard();
    // Downloads these files and waits for the queue's end; false, with the
    // reason in *why, when it did not start.
    bool runQueue(const QVector<CardRecording>& files, QString* why);
    void tellPlan();
    // Until the sender's signal, or an interrupt.
    template<typename Sender, typename Signal>
    void waitFor(Sender* sender, Signal signal);
    // Ends what runs (a download keeps its bytes) and the run, soon.
    void interrupt();
    void showProgress(qint64 bytes, qint64 total);
    void fileEnded(const QString& name, int result, const QString& where);
    QJsonObject summary(int code) const;

    Options options;
    CardEngine* engine;
    DeviceLink* device;
    RunReport report;
    bool interrupted = false;
    bool linkLost = false;
    QString currentFile;
    RateMeter meter;
    QEventLoop* waitLoop = nullptr;
    int finished = 0; // files of the queue that ended
    QElapsedTimer clock;
    // For the summary.
    int listed = 0;
    int downloaded = 0;
    int already = 0;
    int skippedForAge = 0;
    int skippedRemoved = 0;
    qint64 downloadedBytes = 0;
    qint64 freedBytes = 0;
    QJsonArray failed;
    QJsonArray freed;
    QJsonArray kept;
    QJsonArray removed;
};
