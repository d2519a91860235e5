#include "cardrequestthread.h"

#include "cardendpoints.h"

#include <chrono>

namespace {

// How often an idle thread looks up to see whether it should stop.
constexpr std::chrono::milliseconds kIdleSlice(100);

} // namespace

CardRequestThread::CardRequestThread(QObject* parent) : QThread(parent)
{
}

CardRequestThread::~CardRequestThread()
{
    stop();
    wait();
}

void CardRequestThread::ask(int id, const QString& url, int deadlineMs)
{
    const std::lock_guard<std::mutex> lock(mutex);
    jobId = id;
    jobUrl = url;
    jobDeadlineMs = deadlineMs;
    hasJob = true;
    wake.notify_one();
}

void CardRequestThread::cancelCurrent()
{
    cancel = true;
}

void CardRequestThread::stop()
{
    cancel = true;
    requestInterruption();
    const std::lock_guard<std::mutex> lock(mutex);
    wake.notify_one();
}

void CardRequestThread::run()
{
    HttpClient client;
    client.SetCancel(&cancel);
    HttpRequest request;
    CardEndpoints::insertDefaultHeaders(request.headers);
    while (!isInterruptionRequested()) {
        int id = 0;
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (!hasJob)
                wake.wait_for(lock, kIdleSlice);
            if (!hasJob)
                continue;
            hasJob = false;
            id = jobId;
            request.url = jobUrl.toUtf8().toStdString();
            client.SetTimeouts(merro::http::kConnectTimeoutMs, jobDeadlineMs);
            // A cancel meant for the last request does not reach this one.
            if (!isInterruptionRequested())
                cancel = false;
        }
        HttpResponse response;
        std::string body;
        const bool ok = client.Get(request, response, body);
        emit answered(id, QByteArray::fromStdString(body), ok, response.status,
                      static_cast<int>(client.LastFailure()));
    }
}
