#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// A raw TCP server on 127.0.0.1 with an ephemeral port for the HTTP client
// tests. It accepts one connection, runs a fixed script on it (receive until
// something arrived, send exact bytes, pause, close or reset), records every
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

    bool isListening() const;
    std::uint16_t port() const;
    // "http://127.0.0.1:<port>" followed by path.
    std::string url(const std::string& path) const;

    // Script steps, in order.
    ScriptedServer& receiveHead();
    ScriptedServer& receiveTotal(std::size_t bytes);
    ScriptedServer& send(const std::string& bytes);
    ScriptedServer& pause(int ms);
    // Keeps the connection open until the client closes it.
    ScriptedServer& waitForClose();
    // Ends the connection with a reset instead of an orderly close.
    ScriptedServer& reset();

    void start();
    // Waits for the script to end; then the accessors below are stable.
    void finish();
    // Gives up waiting for a client, for tests that expect none.
    void stop();

    const std::string& received() const;
    bool accepted() const;
    // The client closed its end while the script waited for it.
    bool clientClosed() const;

    static constexpr int kStepLimitMs = 5000;

private:
    using Step = std::function<bool()>;
    void run();
    // Receives what is there within ms; false when the client closed.
    bool receiveSome(int ms);

    std::intptr_t listener = -1;
    std::intptr_t connection = -1;
    std::uint16_t listenPort = 0;
    std::vector<Step> steps;
    std::thread worker;
    std::atomic<bool> stopping{false};
    std::string receivedBytes;
    bool acceptedClient = false;
    bool closedByClient = false;
    bool resetAtEnd = false;
};
