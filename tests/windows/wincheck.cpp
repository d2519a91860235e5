// Windows console check of the device-facing core against the simulated
// device: run by scripts/windows-check under Wine, in the private network.
//   wincheck.exe CARD_DIR DOWNLOAD_DIR   (camera address from MERRO_CAMERA_HOST)

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
using Clock = std::chrono::steady_clock;

namespace {

// Nothing listens on this port of the camera's address.
constexpr int kRefusedPort = 81;

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

long long millisSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    const char* host = std::getenv("MERRO_CAMERA_HOST");
    const char* netns = std::getenv("MERRO_NETNS");
    if (argc != 3 || !host || !netns || std::string(netns) != "1") {
        std::fprintf(stderr, "usage, inside scripts/netns-run: wincheck CARD_DIR DOWNLOAD_DIR\n");
        return 2;
    }
    check(merro::net::startup() == 0, "Winsock 2.2 started");

    std::set<std::string> card;
    for (const auto& entry : fs::directory_iterator(argv[1])) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name[0] != '.')
            card.insert(name);
    }
    const std::string count = std::to_string(card.size());
    check(cgiBody(host, "getfilecount.cgi?") == "var count=\"" + count + "\";\r\n",
          "getfilecount reports the card's " + count + " files");

    std::set<std::string> listed;
    const std::string list = cgiBody(host, "getfilelist.cgi?&-start=1&-end=" + count);
    const std::string prefix = "sd/DCIM/100TQCAM/";
    for (std::size_t at = 0, end; (end = list.find(';', at)) != std::string::npos; at = end + 1) {
        if (list.compare(at, prefix.size(), prefix) == 0)
            listed.insert(list.substr(at + prefix.size(), end - at - prefix.size()));
    }
    check(!card.empty() && listed == card, "getfilelist names exactly the card's files");

    HttpClient refused;
    HttpRequest request;
    request.url = "http://" + std::string(host) + ":" + std::to_string(kRefusedPort) + "/";
    HttpResponse response;
    std::string body;
    const auto start = Clock::now();
    const bool got = refused.Get(request, response, body);
    const long long ms = millisSince(start);
    check(!got && refused.LastFailure() == HttpFailure::NoConnection
              && ms < merro::http::kConnectTimeoutMs,
          "refused connect failed after " + std::to_string(ms) + " ms (bound "
              + std::to_string(merro::http::kConnectTimeoutMs) + " ms)");

    std::printf("%s\n", failures == 0 ? "wincheck: all passed" : "wincheck: FAILED");
    return failures == 0 ? 0 : 1;
}
