#include "listener.h"

#include "simlog.h"

#include <cstring>

Listener::Listener(const QByteArray& endpointName, QObject* parent)
    : QObject(parent), name(endpointName)
{
}

void Listener::log(const QByteArray& text) const
{
    sim::logLine(name + ": " + text);
}

bool Listener::listen(const QHostAddress& address, quint16 port, QString* error)
{
    if (!server.listen(address, port)) {
        *error = server.errorString();
        return false;
    }
    boundAddress = address;
    boundPort = server.serverPort();
    log("listening " + address.toString().toLatin1() + ':' + QByteArray::number(boundPort));
    startedListening();
    return true;
}

bool Listener::relisten(QString* error)
{
    endDeafness();
    if (server.isListening())
        return true;
    return listen(boundAddress, boundPort, error);
}

void Listener::stopListening()
{
    endDeafness();
    if (!server.isListening())
        return;
    server.close();
    log("not listening");
}

bool Listener::deafen(QString* error)
{
    stopListening();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(boundPort);
    address.sin_addr.s_addr = htonl(boundAddress.toIPv4Address());
    const auto* to = reinterpret_cast<const sockaddr*>(&address);
    const int one = 1;
    deaf = ::socket(AF_INET, SOCK_STREAM, 0);
    filler = ::socket(AF_INET, SOCK_STREAM, 0);
    // A backlog of 0 holds the filler's connection alone; the system drops
    // the opening packets of every later one without an answer.
    if (::setsockopt(deaf, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one)) != 0
        || ::bind(deaf, to, sizeof(address)) != 0 || ::listen(deaf, 0) != 0
        || ::connect(filler, to, sizeof(address)) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        endDeafness();
        return false;
    }
    log("deaf");
    return true;
}

void Listener::endDeafness()
{
    for (merro::net::SocketHandle* s : {&filler, &deaf}) {
        if (merro::net::isValid(*s))
            merro::net::closeSocket(*s);
        *s = merro::net::kInvalidSocket;
    }
}
