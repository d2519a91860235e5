#pragma once

#include "httpclient.h"

#include <QByteArray>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

// Makes the camera's CGI requests, one at a time, on a thread of its own, so
// that neither the window nor a sync without one stops while a slow camera
// answers. Whoever drives it decides what comes next; this thread only asks.
class CardRequestThread : public QThread
{
    Q_OBJECT

public:
    explicit CardRequestThread(QObject* parent);
    ~CardRequestThread() override;

    // One request at a time: the next only after answered() of the last.
    void ask(int id, const QString& url, int deadlineMs);
    // Ends the request under way at once (it answers as cancelled); later
    // ones are made as usual.
    void cancelCurrent();
    // Ends a request under way and the thread.
    void stop();

signals:
    // `failure` is an HttpFailure; `status` the reply's status code.
    void answered(int id, const QByteArray& body, bool ok, int status, int failure);

protected:
    void run() override;

private:
    // The standard ones: the thread sanitizer sees what they hand over.
    std::mutex mutex;
    std::condition_variable wake;
    int jobId = 0;
    QString jobUrl;
    int jobDeadlineMs = 0;
    bool hasJob = false;
    std::atomic<bool> cancel{false};
};
