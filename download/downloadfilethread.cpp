#include "downloadfilethread.h"

#include "deviceconfig.h"
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
    , baseUrl(QStringLiteral("http://%1/sd/DCIM/100TQCAM/")
                  .arg(QLatin1String(merro::kCameraHost)))
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
    job.host = merro::kCameraHost;
    job.port = merro::kCameraPort;
    SavedCardFile file(QStringLiteral("DCIM/"), fileName, createdAt);

    lastEmitted = -1;
    lastWritten = -1;
    progressClock.invalidate();
    int status = 0;
    const download::Outcome outcome = download::fetchCardFile(job, file, *this, &status);
    if (lastWritten >= 0 && lastWritten != lastEmitted)
        emit updateDownloadFileProgress(lastWritten, respHeader.content_length);
    if (outcome == download::Outcome::NoSocket || outcome == download::Outcome::ConnectFailed)
        exit(-1);
    if (outcome != download::Outcome::Done)
        emit downloadFileFailed(static_cast<int>(outcome), status);
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
    if (progressClock.isValid() && progressClock.elapsed() < kProgressEveryMs)
        return;
    if (progressQueued.exchange(true))
        return;
    progressClock.start();
    lastEmitted = written;
    emit updateDownloadFileProgress(written, total);
}
