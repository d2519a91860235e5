#include "cardrequestthread.h"

#include "cardendpoints.h"

#include <chrono>
#include <cstdlib>

namespace {

// How often an idle thread looks up to see whether it should stop.
constexpr std::chrono::milliseconds kIdleSlice(100);

qint64 headerNumber(const HeaderMap& headers, const char* name, const char* after = nullptr)
{
    const auto found = headers.find(name);
    if (found == headers.end())
        return -1;
    std::string text = found->second;
    if (after) {
        const std::size_t at = text.find(after);
        if (at == std::string::npos)
            return -1;
        text = text.substr(at + 1);
    }
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    return end != text.c_str() && value >= 0 ? value : -1;
}

// Where a look's body starts in the file, and the file's size now.
void placeOf(const HttpResponse& response, CardAnswer* answer)
{
    if (response.status == 206) {
        // "bytes FIRST-LAST/TOTAL"
        const auto range = response.headers.find("Content-Range");
        if (range == response.headers.end())
            return;
        const std::string& text = range->second;
        const std::size_t space = text.find(' ');
        answer->from = std::strtoll(text.c_str() + (space == std::string::npos ? 0 : space + 1),
                                    nullptr, 10);
        answer->fileSize = headerNumber(response.headers, "Content-Range", "/");
    } else if (response.status == 200) {
        answer->from = 0;
        answer->fileSize = headerNumber(response.headers, "Content-Length");
    }
}

} // namespace

CardRequestThread::CardRequestThread(QObject* parent) : QThread(parent)
{
    qRegisterMetaType<CardAnswer>();
}

CardRequestThread::~CardRequestThread()
{
    stop();
    wait();
}

void CardRequestThread::ask(int id, const CardRequest& request)
{
    const std::lock_guard<std::mutex> lock(mutex);
    jobId = id;
    job = request;
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
    while (!isInterruptionRequested()) {
        int id = 0;
        CardRequest asked;
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (!hasJob)
                wake.wait_for(lock, kIdleSlice);
            if (!hasJob)
                continue;
            hasJob = false;
            id = jobId;
            asked = job;
            // A cancel meant for the last request does not reach this one.
            if (!isInterruptionRequested())
                cancel = false;
        }
        client.SetTimeouts(merro::http::kConnectTimeoutMs, asked.deadlineMs);
        HttpRequest request;
        CardEndpoints::insertDefaultHeaders(request.headers);
        request.url = asked.url.toStdString();
        if (asked.rangeFrom >= 0)
            request.headers["Range"] = "bytes=" + std::to_string(asked.rangeFrom) + '-';
        HttpResponse response;
        std::string body;
        CardAnswer answer;
        if (asked.bodyLimit >= 0) {
            answer.ok = client.GetPart(request, response, body,
                                       static_cast<std::uint32_t>(asked.bodyLimit));
            placeOf(response, &answer);
        } else {
            answer.ok = client.Get(request, response, body);
        }
        answer.body = QByteArray::fromStdString(body);
        answer.status = response.status;
        answer.failure = static_cast<int>(client.LastFailure());
        emit answered(id, answer);
    }
}
