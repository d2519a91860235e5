#pragma once

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
    QHostAddress boundAddress;
    quint16 boundPort = 0;
};
