#pragma once

#include "platformsocket.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

// One listening endpoint of the simulated device, named in its log lines.
// It can stop listening and take it up again where it was, so that tests can
// make a unit or the camera vanish and come back.
class Listener : public QObject
{
    Q_OBJECT

public:
    Listener(const QByteArray& name, QObject* parent);

    bool listen(const QHostAddress& address, quint16 port, QString* error);
    // Listens again where listen() did, after stopListening().
    bool relisten(QString* error);
    void stopListening();
    // Keeps the port taken but leaves every new connect unanswered, like a
    // host that is switched off; listen again or stop to end it.
    bool deafen(QString* error);
    bool isListening() const { return server.isListening(); }
    QHostAddress address() const { return boundAddress; }
    quint16 port() const { return boundPort; }

protected:
    // After every successful listen(), for settings of the listening socket.
    virtual void startedListening() {}
    // Writes "<name>: <text>" to the log.
    void log(const QByteArray& text) const;

    QByteArray name;
    QTcpServer server;

private:
    void endDeafness();

    QHostAddress boundAddress;
    quint16 boundPort = 0;
    // A listener with a full accept queue, and the connection that fills it.
    merro::net::SocketHandle deaf = merro::net::kInvalidSocket;
    merro::net::SocketHandle filler = merro::net::kInvalidSocket;
};
