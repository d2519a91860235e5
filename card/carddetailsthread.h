#pragma once

#include "httpclient.h"

#include <QByteArray>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

// Asks the camera for one file's details at a time, on a thread of its own,
// so that the window stays usable while a slow camera answers. The window
// decides which file comes next; this thread only makes the request.
class CardDetailsThread : public QThread
{
    Q_OBJECT

public:
    explicit CardDetailsThread(QObject* parent);
    ~CardDetailsThread() override;

    // One request at a time: the next only after fetched() of the last.
    void fetch(const QString& name, const QString& url, int deadlineMs);
    // Ends a request under way at once (it reports as cancelled) and the thread.
    void stop();

signals:
    // `failure` is an HttpFailure; `status` the reply's status code.
    void fetched(const QString& name, const QByteArray& body, bool ok, int status, int failure);

protected:
    void run() override;

private:
    // The standard ones: the thread sanitizer sees what they hand over.
    std::mutex mutex;
    std::condition_variable wake;
    QString jobName;
    QString jobUrl;
    int jobDeadlineMs = 0;
    bool hasJob = false;
    std::atomic<bool> cancel{false};
};
