#include "downloadfilethread.h"

#include "cardendpoints.h"
#include "cardfilename.h"
#include "deviceaddresses.h"
#include "httpclient.h"
#include "journal.h"
#include "savedcardfile.h"

#include <QDebug>
#include <QFileInfo>

#include <cstdio>

namespace {

// A bar and a speed readout need no more than this; more would only keep the
// window busy.
constexpr qint64 kProgressEveryMs = 10;

} // namespace

DownloadFileThread::DownloadFileThread(QObject* parent)
    : QThread(parent)
    , baseUrl(QStringLiteral("http://%1%2/sd/DCIM/100TQCAM/")
                  .arg(QString::fromStdString(merro::deviceAddresses().camera.host),
                       merro::deviceAddresses().camera.port == 80
                           ? QString()
                           : QStringLiteral(":%1").arg(merro::deviceAddresses().camera.port)))
{
    // Runs on the window's thread, in order with the progress signal itself.
    connect(this, &DownloadFileThread::updateDownloadFileProgress, this,
            [this] { progressQueued.store(false); });
    qDebug() << "DownloadFileThread build";
}

DownloadFileThread::~DownloadFileThread()
{
    qDebug() << "DownloadFileThread ~";
    stop();
    wait();
}

void DownloadFileThread::stop()
{
    stopping = true;
    requestInterruption();
}

void DownloadFileThread::run()
{
    DownloadFile(fileName);
}

void DownloadFileThread::DownloadFile(QString fileName)
{
    download::CardFileJob job;
    CardRecording recording{fileName, listedSize, createdAt};
    recording.cardName = cardName;
    recording.createdText = createdText;
    const QByteArray bytes = recording.bytes();
    // toLatin1 turns what it cannot map into '?', which the name check refuses.
    job.name = !cardName.isEmpty() || QString::fromLatin1(bytes) == fileName
                   ? bytes.toStdString()
                   : "?";
    job.host = merro::deviceAddresses().camera.host;
    job.port = merro::deviceAddresses().camera.port;
    // A name that is no plain card file name never becomes a path or a request.
    const bool plain = merro::isPlainCardFileName(job.name);
    if (plain && (recording.size < 0 || !recording.created.isValid())) {
        bool silent = false;
        const CardRecording told = askForDetails(recording, &silent);
        if (silent) {
            // A camera that does not answer the one is not asked the other.
            emit downloadFileFailed(static_cast<int>(download::Outcome::NoDetails), 0, false);
            emit downloadFileFinished();
            return;
        }
        recording.size = recording.size < 0 ? told.size : recording.size;
        if (!recording.created.isValid() && recording.createdText.isEmpty()) {
            recording.created = told.created;
            recording.createdText = told.createdText;
        }
    }
    const LocalArchive archive(folder, layout);
    const bool tooOld = notBefore.isValid() && recording.created.isValid()
                        && recording.created < notBefore;
    if (plain && skipWhenSafe && (tooOld || archive.retired(recording))) {
        emit skipped(fileName, archive.retired(recording) ? Retired : TooOld);
        emit downloadFileFinished();
        return;
    }
    if (plain && skipWhenSafe) {
        const QString copy = archive.copyOf(recording, notCopies);
        if (!copy.isEmpty()) {
            emit alreadySafe(fileName, copy);
            emit downloadFileFinished();
            return;
        }
    }
    int status = 0;
    bool inBody = false;
    download::Outcome outcome = download::Outcome::Done;
    QStringList links;
    QString savedAs;
    bool journaled = true;
    {
        // Closed, and what it kept described, before the queue hears of the
        // end: the next download of this file must find it settled.
        SavedCardFile file(archive, recording);
        if (plain)
            job.resumeFrom = file.resumable();
        job.total = recording.size;
        lastEmitted = -1;
        lastWritten = -1;
        lastTotal = -1;
        progressClock.invalidate();
        outcome = download::fetchCardFile(job, file, *this, &status, &inBody);
        if (plain)
            links = archive.linksFor(recording);
        if (!file.linkFound().isEmpty())
            links << file.linkFound();
        savedAs = file.savedAs();
        if (outcome == download::Outcome::Done)
            journaled = journal(recording, file, archive);
    }
    if (lastWritten >= 0 && lastWritten != lastEmitted)
        emit updateDownloadFileProgress(lastWritten, lastTotal);
    if (outcome == download::Outcome::NoSocket || outcome == download::Outcome::ConnectFailed)
        exit(-1);
    for (const QString& link : links)
        emit linkLeftAlone(link);
    if (!journaled)
        emit journalFailed(savedAs);
    if (outcome == download::Outcome::Done)
        emit fileSaved(fileName, savedAs);
    else
        emit downloadFileFailed(static_cast<int>(outcome), status, inBody);
    emit downloadFileFinished();
}

bool DownloadFileThread::journal(const CardRecording& recording, const SavedCardFile& file,
                                 const LocalArchive& archive)
{
    const merro::Endpoint& camera = merro::deviceAddresses().camera;
    JournalEntry saved;
    saved.kind = JournalEntry::Kind::Saved;
    saved.at = QDateTime::currentDateTimeUtc();
    saved.card = recording.bytes();
    saved.size = QFileInfo(file.savedAs()).size();
    saved.created = recording.createdText;
    saved.camera = QString::fromStdString(camera.text());
    saved.path = file.savedAs().mid(archive.folder().size());
    saved.sha256 = file.sha256();
    if (!Journal::append(archive.folder(), saved))
        return false;
    // Not under its own name: an older recording holds that.
    const QString own = QFileInfo(file.savedAs()).path() + QLatin1Char('/') + recording.name;
    if (QFileInfo(file.savedAs()).fileName() == recording.name)
        return true;
    JournalEntry beside = saved;
    beside.kind = JournalEntry::Kind::Beside;
    beside.sha256.clear();
    beside.beside = own.mid(archive.folder().size());
    return Journal::append(archive.folder(), beside);
}

CardRecording DownloadFileThread::askForDetails(const CardRecording& recording, bool* silent)
{
    const QString& name = recording.name;
    HttpClient client;
    client.SetCancel(&stopping);
    client.SetTimeouts(merro::http::kConnectTimeoutMs, detailsDeadlineMs);
    HttpRequest request;
    CardEndpoints::insertDefaultHeaders(request.headers);
    request.url =
        CardEndpoints::url(CardEndpoints::kGetFileInfo, recording.bytes()).toStdString();
    HttpResponse response;
    std::string body;
    if (!client.Get(request, response, body) || response.status != 200) {
        const HttpFailure why = client.LastFailure();
        *silent = !stopRequested()
                  && (why == HttpFailure::NoConnection || why == HttpFailure::TimedOut);
        return CardRecording{};
    }
    emit detailsFetched(name, QByteArray::fromStdString(body));
    return recordingFromInfo(name, body.c_str());
}

resp_header DownloadFileThread::get_resp_header(char* response)
{
    return download::parseResponseHeader(response);
}

bool DownloadFileThread::stopRequested()
{
    return stopping || isInterruptionRequested();
}

void DownloadFileThread::headerReceived(const resp_header& header)
{
    respHeader = header;
}

void DownloadFileThread::bodyComplete()
{
    // The bar is full before anything else is told.
    if (lastWritten >= 0 && lastWritten != lastEmitted) {
        lastEmitted = lastWritten;
        emit updateDownloadFileProgress(lastWritten, lastTotal);
    }
    emit bodyReceived();
}

void DownloadFileThread::blockWritten(long long written, long long total)
{
    lastWritten = written;
    lastTotal = total;
    if (progressClock.isValid() && progressClock.elapsed() < kProgressEveryMs)
        return;
    if (progressQueued.exchange(true))
        return;
    progressClock.start();
    lastEmitted = written;
    emit updateDownloadFileProgress(written, total);
}
