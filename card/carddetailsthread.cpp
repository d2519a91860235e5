#include "carddetailsthread.h"

#include "cardendpoints.h"

#include <chrono>

namespace {

// How often an idle thread looks up to see whether it should stop.
constexpr std::chrono::milliseconds kIdleSlice(100);

} // namespace

CardDetailsThread::CardDetailsThread(QObject* parent) : QThread(parent)
{
}

CardDetailsThread::~CardDetailsThread()
{
    stop();
    wait();
}

void CardDetailsThread::fetch(const QString& name, const QString& url, int deadlineMs)
{
    const std::lock_guard<std::mutex> lock(mutex);
    jobName = name;
    jobUrl = url;
    jobDeadlineMs = deadlineMs;
    hasJob = true;
    wake.notify_one();
}

void CardDetailsThread::stop()
{
    cancel = true;
    requestInterruption();
    const std::lock_guard<std::mutex> lock(mutex);
    wake.notify_one();
}

void CardDetailsThread::run()
{
    HttpClient client;
    client.SetCancel(&cancel);
    HttpRequest request;
    CardEndpoints::insertDefaultHeaders(request.headers);
    while (!isInterruptionRequested()) {
        QString name;
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (!hasJob)
                wake.wait_for(lock, kIdleSlice);
            if (!hasJob)
                continue;
            hasJob = false;
            name = jobName;
            request.url = jobUrl.toUtf8().toStdString();
            client.SetTimeouts(merro::http::kConnectTimeoutMs, jobDeadlineMs);
        }
        HttpResponse response;
        std::string body;
        const bool ok = client.Get(request, response, body);
        emit fetched(name, QByteArray::fromStdString(body), ok, response.status,
                     static_cast<int>(client.LastFailure()));
    }
}
