#include "scriptedserver.h"

#include "platformsocket.h"

#include <chrono>

namespace net = merro::net;

namespace {

net::SocketHandle platform(std::intptr_t handle)
{
    return static_cast<net::SocketHandle>(handle);
}

constexpr int kSliceMs = 20;

} // namespace

ScriptedServer::ScriptedServer(int backlog)
{
    const net::SocketHandle s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (!net::isValid(s))
        return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    net::SockLen length = sizeof(address);
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0
        || ::listen(s, backlog) != 0
        || ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        net::closeSocket(s);
        return;
    }
    listener = static_cast<std::intptr_t>(s);
    listenPort = ntohs(address.sin_port);
}

ScriptedServer::~ScriptedServer()
{
    stopping = true;
    if (worker.joinable())
        worker.join();
    if (net::isValid(platform(connection)))
        net::closeSocket(platform(connection));
    if (net::isValid(platform(listener)))
        net::closeSocket(platform(listener));
}

bool ScriptedServer::isListening() const
{
    return net::isValid(platform(listener));
}

std::uint16_t ScriptedServer::port() const
{
    return listenPort;
}

std::string ScriptedServer::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(listenPort) + path;
}

ScriptedServer& ScriptedServer::receiveHead()
{
    steps.push_back([this] {
        const auto deadline = std::chrono::steady_clock::now()
                              + std::chrono::milliseconds(kStepLimitMs);
        while (receivedBytes.find("\r\n\r\n") == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline || !receiveSome(kSliceMs))
                return false;
        }
        return true;
    });
    return *this;
}

ScriptedServer& ScriptedServer::receiveTotal(std::size_t bytes)
{
    steps.push_back([this, bytes] {
        const auto deadline = std::chrono::steady_clock::now()
                              + std::chrono::milliseconds(kStepLimitMs);
        while (receivedBytes.size() < bytes) {
            if (std::chrono::steady_clock::now() > deadline || !receiveSome(kSliceMs))
                return false;
        }
        return true;
    });
    return *this;
}

ScriptedServer& ScriptedServer::send(const std::string& bytes)
{
    steps.push_back([this, bytes] {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const int n = net::sendBytes(platform(connection), bytes.data() + sent,
                                         static_cast<int>(bytes.size() - sent));
            if (n <= 0)
                return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    });
    return *this;
}

ScriptedServer& ScriptedServer::pause(int ms)
{
    steps.push_back([ms] {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return true;
    });
    return *this;
}

ScriptedServer& ScriptedServer::waitForClose()
{
    steps.push_back([this] {
        const auto deadline = std::chrono::steady_clock::now()
                              + std::chrono::milliseconds(kStepLimitMs);
        while (std::chrono::steady_clock::now() < deadline && !stopping) {
            if (!receiveSome(kSliceMs)) {
                closedByClient = true;
                return true;
            }
        }
        return false;
    });
    return *this;
}

ScriptedServer& ScriptedServer::reset()
{
    resetAtEnd = true;
    return *this;
}

void ScriptedServer::start()
{
    if (isListening())
        worker = std::thread([this] { run(); });
}

void ScriptedServer::finish()
{
    if (worker.joinable())
        worker.join();
}

void ScriptedServer::stop()
{
    stopping = true;
    finish();
}

const std::string& ScriptedServer::received() const
{
    return receivedBytes;
}

bool ScriptedServer::accepted() const
{
    return acceptedClient;
}

bool ScriptedServer::clientClosed() const
{
    return closedByClient;
}

bool ScriptedServer::receiveSome(int ms)
{
    const int ready = net::waitReadable(platform(connection), ms);
    if (ready <= 0)
        return ready == 0;
    char buffer[4096];
    const int n = net::recvBytes(platform(connection), buffer, sizeof(buffer));
    if (n <= 0)
        return false;
    receivedBytes.append(buffer, static_cast<std::size_t>(n));
    return true;
}

void ScriptedServer::run()
{
    const auto deadline = std::chrono::steady_clock::now()
                          + std::chrono::milliseconds(kStepLimitMs);
    while (!stopping && std::chrono::steady_clock::now() < deadline) {
        if (net::waitReadable(platform(listener), kSliceMs) > 0) {
            const net::SocketHandle s = ::accept(platform(listener), nullptr, nullptr);
            if (net::isValid(s)) {
                connection = static_cast<std::intptr_t>(s);
                acceptedClient = true;
                break;
            }
        }
    }
    if (!acceptedClient)
        return;
    for (const Step& step : steps) {
        if (stopping || !step())
            break;
    }
    if (resetAtEnd) {
        // Linger on with a zero time: the close sends a reset.
        linger option{};
        option.l_onoff = 1;
        option.l_linger = 0;
        ::setsockopt(platform(connection), SOL_SOCKET, SO_LINGER,
                     reinterpret_cast<const char*>(&option), sizeof(option));
    }
    net::closeSocket(platform(connection));
    connection = -1;
}
