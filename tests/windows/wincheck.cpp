// Windows console check of the device-facing core, run by scripts/windows-check under Wine
// against the simulated device: wincheck.exe CARD_DIR DOWNLOAD_DIR (camera: MERRO_CAMERA_HOST)

#include "cardfiletransfer.h"
#include "httpclient.h"
#include "platformsocket.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

// Nothing listens on this port of the camera's address.
constexpr unsigned short kRefusedPort = 81;

int failures = 0;

void check(bool ok, const std::string& what)
{
    std::printf("%s: %s\n", ok ? "ok" : "FAIL", what.c_str());
    std::fflush(stdout);
    failures += ok ? 0 : 1;
}

std::string cgiBody(const std::string& host, const std::string& target)
{
    HttpClient client;
    HttpRequest request;
    request.url = "http://" + host + "/cgi-bin/hi3510/" + target;
    HttpResponse response;
    std::string body;
    return client.Get(request, response, body) && response.status == 200 ? body : "";
}

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct LocalFile : download::FileSink, download::TransferObserver
{
    explicit LocalFile(fs::path target) : path(std::move(target)) {}
    bool open(long long, long long) override
    {
        return out.open(path, std::ios::binary), out.is_open();
    }
    bool write(const char* data, int length) override { return bool(out.write(data, length)); }
    bool finish() override { return out.close(), !out.fail(); }
    bool stopRequested() override { return false; }
    void headerReceived(const resp_header&) override {}
    void blockWritten(long long, long long) override {}
    fs::path path;
    std::ofstream out;
};

} // namespace

int main(int argc, char** argv)
{
    const char* host = std::getenv("MERRO_CAMERA_HOST");
    if (argc != 3 || !host || !std::getenv("MERRO_NETNS")) {
        std::fprintf(stderr, "usage, inside scripts/netns-run: wincheck CARD_DIR DOWNLOAD_DIR\n");
        return 2;
    }
    const fs::path cardDir = argv[1], downloadDir = argv[2];
    check(merro::net::startup() == 0, "Winsock 2.2 started");

    std::set<std::string> card;
    std::string largest;
    for (const auto& entry : fs::directory_iterator(cardDir)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || name[0] == '.')
            continue;
        card.insert(name);
        if (largest.empty() || entry.file_size() > fs::file_size(cardDir / largest))
            largest = name;
    }
    const std::string count = std::to_string(card.size());
    check(cgiBody(host, "getfilecount.cgi?") == "var count=\"" + count + "\";\r\n",
          "getfilecount reports the card's " + count + " files");

    std::set<std::string> listed;
    const std::string list = cgiBody(host, "getfilelist.cgi?&-start=1&-end=" + count);
    const std::string prefix = "sd/DCIM/100TQCAM/";
    for (std::size_t at = 0, end; (end = list.find(';', at)) != std::string::npos; at = end + 1)
        if (list.compare(at, prefix.size(), prefix) == 0)
            listed.insert(list.substr(at + prefix.size(), end - at - prefix.size()));
    check(!card.empty() && listed == card, "getfilelist names exactly the card's files");

    download::CardFileJob job{largest, host, 80};
    LocalFile file(downloadDir / largest);
    int status = 0;
    const auto fetched = download::fetchCardFile(job, file, file, &status);
    const std::string original = readAll(cardDir / largest);
    check(fetched == download::Outcome::Done && readAll(downloadDir / largest) == original,
          "download of " + largest + " (" + std::to_string(original.size())
              + " bytes) is byte-identical to the card's");

    // A refusal must be seen when it comes, not when the connect wait ends.
    job.port = kRefusedPort;
    const auto start = std::chrono::steady_clock::now();
    const auto refused = download::fetchCardFile(job, file, file, &status);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start).count();
    check(refused == download::Outcome::ConnectFailed && ms < download::kConnectTimeoutMs,
          "refused connect failed after " + std::to_string(ms) + " ms (bound "
              + std::to_string(download::kConnectTimeoutMs) + " ms)");

    std::printf("%s\n", failures == 0 ? "wincheck: all passed" : "wincheck: FAILED");
    return failures == 0 ? 0 : 1;
}
