#pragma once

#include "httpclient.h"
#include "platformsocket.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// A raw TCP server on 127.0.0.1 with an ephemeral port for the HTTP client
// tests. It accepts one connection, runs a fixed script on it, records every
// byte the client sent, and closes the connection when the script ends.
// Every wait is bounded, so a faulty client fails a test instead of hanging it.
class ScriptedServer
{
public:
    // Backlog of the listening socket; 0 lets a second client hang in connect.
    explicit ScriptedServer(int backlog = 4);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t port() const { return listenPort; }
    std::string url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(listenPort) + path;
    }

    // Script steps, in order.
    ScriptedServer& receiveHead();
    ScriptedServer& receiveTotal(std::size_t bytes);
    // Sends bytes after a pause of pauseMs.
    ScriptedServer& send(const std::string& bytes, int pauseMs = 0);
    // Keeps the connection open until the client closes it.
    ScriptedServer& waitForClose();
    // Ends the connection with a reset instead of an orderly close.
    void reset() { resetAtEnd = true; }

    void start();
    // Waits for the script to end; then the fields below are stable.
    void finish()
    {
        if (worker.joinable())
            worker.join();
    }
    // Gives up waiting for a client, for tests that expect none.
    void stop()
    {
        stopping = true;
        finish();
    }

    std::string received;
    bool accepted = false;
    // The client closed its end while the script was receiving.
    bool clientClosed = false;

private:
    void run();
    // Receives until done() holds, the client closes or the step limit passes.
    ScriptedServer& receiveUntil(std::function<bool()> done);

    merro::net::SocketHandle listener = merro::net::kInvalidSocket;
    merro::net::SocketHandle connection = merro::net::kInvalidSocket;
    std::uint16_t listenPort = 0;
    std::vector<std::function<bool()>> steps;
    std::thread worker;
    std::atomic<bool> stopping{false};
    bool resetAtEnd = false;
};

inline long long msSince(std::chrono::steady_clock::time_point start)
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now() - start).count();
}

// One exchange of an HttpClient and a socket (short time-outs) with a scripted
// server: script `server`, then call run() or get(), which start the server,
// time the client call in `ms` and wait for the script to end.
struct Exchange
{
    explicit Exchange(int receiveMs = 3000)
    {
        client.SetTimeouts(1000, receiveMs);
        socket.SetTimeouts(1000, receiveMs);
    }

    bool run(const std::string& path, const std::function<bool()>& call)
    {
        server.start();
        request.url = server.url(path);
        const auto start = std::chrono::steady_clock::now();
        const bool result = call();
        ms = msSince(start);
        server.finish();
        return result;
    }
    bool get()
    {
        return run("/", [this] { return client.Get(request, response, body); });
    }

    ScriptedServer server;
    HttpClient client;
    TcpSocket socket; // for the streaming calls
    HttpRequest request;
    HttpResponse response;
    std::string body;
    long long ms = 0;
};
