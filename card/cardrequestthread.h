#pragma once

#include "httpclient.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

// One request to the camera: a CGI call, or a look at part of a file.
struct CardRequest
{
    QByteArray url; // the bytes that go out, card names as the camera lists them
    int deadlineMs = 10000;
    // A look at a file: "Range: bytes=rangeFrom-" (when >= 0), and only the
    // first bodyLimit bytes of the body are read before hanging up.
    qint64 rangeFrom = -1;
    int bodyLimit = -1;
};

// How the camera answered.
struct CardAnswer
{
    QByteArray body;
    bool ok = false; // a whole reply (or, for a look, as much as was asked)
    int status = 0;
    int failure = 0; // an HttpFailure
    // For a look at a file: where the body starts in the file, and the
    // file's size now (Content-Range's total, or a whole reply's
    // Content-Length); -1 where the reply does not say.
    qint64 from = -1;
    qint64 fileSize = -1;
};
Q_DECLARE_METATYPE(CardAnswer)

// Makes the camera's requests, one at a time, on a thread of its own, so
// that neither the window nor a sync without one stops while a slow camera
// answers. Whoever drives it decides what comes next; this thread only asks.
class CardRequestThread : public QThread
{
    Q_OBJECT

public:
    explicit CardRequestThread(QObject* parent);
    ~CardRequestThread() override;

    // One request at a time: the next only after answered() of the last.
    void ask(int id, const CardRequest& request);
    // Ends the request under way at once (it answers as cancelled); later
    // ones are made as usual.
    void cancelCurrent();
    // Ends a request under way and the thread.
    void stop();

signals:
    void answered(int id, const CardAnswer& answer);

protected:
    void run() override;

private:
    // The standard ones: the thread sanitizer sees what they hand over.
    std::mutex mutex;
    std::condition_variable wake;
    int jobId = 0;
    CardRequest job;
    bool hasJob = false;
    std::atomic<bool> cancel{false};
};
