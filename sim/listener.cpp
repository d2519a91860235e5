#include "listener.h"

#include "simlog.h"

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
    if (server.isListening())
        return true;
    return listen(boundAddress, boundPort, error);
}

void Listener::stopListening()
{
    if (!server.isListening())
        return;
    server.close();
    log("not listening");
}
