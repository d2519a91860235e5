#include "scriptedserver.h"

namespace net = merro::net;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kSliceMs = 20;

Clock::time_point stepDeadline()
{
    return Clock::now() + std::chrono::milliseconds(5000);
}

} // namespace

ScriptedServer::ScriptedServer(int backlog)
{
    const net::SocketHandle s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    net::SockLen length = sizeof(address);
    if (!net::isValid(s))
        return;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0
        || ::listen(s, backlog) != 0
        || ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        net::closeSocket(s);
        return;
    }
    listener = s;
    listenPort = ntohs(address.sin_port);
}

ScriptedServer::~ScriptedServer()
{
    stop(); // the script has closed the connection
    if (net::isValid(listener))
        net::closeSocket(listener);
}

ScriptedServer& ScriptedServer::receiveUntil(std::function<bool()> done)
{
    steps.push_back([this, done] {
        const auto deadline = stepDeadline();
        while (!done()) {
            if (stopping || Clock::now() > deadline)
                return false;
            const int ready = net::waitReadable(connection, kSliceMs);
            if (ready == 0)
                continue;
            char buffer[4096];
            const int n = ready < 0 ? -1 : net::recvBytes(connection, buffer, sizeof(buffer));
            if (n <= 0) {
                clientClosed = true;
                return false;
            }
            received.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    });
    return *this;
}

ScriptedServer& ScriptedServer::receiveHead()
{
    return receiveUntil([this] { return received.find("\r\n\r\n") != std::string::npos; });
}

ScriptedServer& ScriptedServer::receiveTotal(std::size_t bytes)
{
    return receiveUntil([this, bytes] { return received.size() >= bytes; });
}

ScriptedServer& ScriptedServer::waitForClose()
{
    return receiveUntil([] { return false; });
}

ScriptedServer& ScriptedServer::send(const std::string& bytes, int pauseMs)
{
    steps.push_back([this, bytes, pauseMs] {
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        for (std::size_t sent = 0; sent < bytes.size();) {
            const int n = net::sendBytes(connection, bytes.data() + sent,
                                         static_cast<int>(bytes.size() - sent));
            if (n <= 0)
                return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    });
    return *this;
}

void ScriptedServer::start()
{
    if (net::isValid(listener))
        worker = std::thread([this] { run(); });
}

void ScriptedServer::run()
{
    const auto deadline = stepDeadline();
    while (!accepted && !stopping && Clock::now() < deadline) {
        if (net::waitReadable(listener, kSliceMs) > 0) {
            connection = ::accept(listener, nullptr, nullptr);
            accepted = net::isValid(connection);
        }
    }
    if (!accepted)
        return;
    for (const auto& step : steps) {
        if (stopping || !step())
            break;
    }
    if (resetAtEnd) {
        // Linger on with a zero time: the close sends a reset.
        linger option{1, 0};
        ::setsockopt(connection, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option),
                     sizeof(option));
    }
    net::closeSocket(connection);
}
