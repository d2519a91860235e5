#include "downloadfilethread.h"

#include "cardfilename.h"
#include "deviceaddresses.h"
#include "savedcardfile.h"

#include <QDebug>

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
    requestInterruption();
    wait();
}

void DownloadFileThread::run()
{
    DownloadFile(fileName);
}

void DownloadFileThread::DownloadFile(QString fileName)
{
    download::CardFileJob job;
    const QByteArray latin = fileName.toLatin1();
    // toLatin1 turns what it cannot map into '?', which the name check refuses.
    job.name = QString::fromLatin1(latin) == fileName ? latin.toStdString() : "?";
    job.host = merro::deviceAddresses().camera.host;
    job.port = merro::deviceAddresses().camera.port;
    SavedCardFile file(folder, fileName, createdAt, listedSize);
    // A name that is no plain card file name never becomes a path.
    if (merro::isPlainCardFileName(job.name))
        job.resumeFrom = file.resumable(&job.total);
    if (job.resumeFrom == 0)
        job.total = listedSize;

    lastEmitted = -1;
    lastWritten = -1;
    lastTotal = -1;
    progressClock.invalidate();
    int status = 0;
    bool inBody = false;
    const download::Outcome outcome =
        download::fetchCardFile(job, file, *this, &status, &inBody);
    if (lastWritten >= 0 && lastWritten != lastEmitted)
        emit updateDownloadFileProgress(lastWritten, lastTotal);
    if (outcome == download::Outcome::NoSocket || outcome == download::Outcome::ConnectFailed)
        exit(-1);
    if (outcome != download::Outcome::Done)
        emit downloadFileFailed(static_cast<int>(outcome), status, inBody);
    emit downloadFileFinished();
}

resp_header DownloadFileThread::get_resp_header(char* response)
{
    return download::parseResponseHeader(response);
}

bool DownloadFileThread::stopRequested()
{
    return isInterruptionRequested();
}

void DownloadFileThread::headerReceived(const resp_header& header)
{
    respHeader = header;
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
