#pragma once

#include "cameracgi.h"
#include "camerafaults.h"
#include "camerafiles.h"
#include "listener.h"
#include "replysender.h"

#include <QByteArray>
#include <QObject>

#include <map>
#include <memory>

class Card;
class QTcpSocket;

// The camera's HTTP/1.1 server: its connections and the requests on them.
// A connection stays open between CGI replies unless the client asks to
// close; a file reply always ends with a close. What a request gets is up to
// the CGI replies, the file replies and the fault that may bend them; when
// its reply starts is up to the latency.
class CameraServer : public Listener
{
    Q_OBJECT

public:
    explicit CameraServer(Card* card, QObject* parent = nullptr);
    ~CameraServer() override;

    CameraCgi& cgi() { return cgiReplies; }
    CameraFiles& files() { return fileReplies; }
    CameraFaults& faults() { return faultModes; }
    Card* card() const { return cardFolder; }
    // For the lines of the commands that change the card.
    using Listener::log;
    // Delays the start of every reply after its head has arrived.
    void setLatency(int ms) { latency = ms; }
    // Caps the bytes per second sent on each connection; 0: no cap.
    void setRate(qint64 bytesPerSecond) { rate = bytesPerSecond; }

    int requestCount() const { return requests; }
    qint64 fileBytes() const { return fileBodyBytes; }
    int overlapCount() const { return overlaps; }

private:
    struct Connection
    {
        enum class State { Reading, Waiting, Writing, Stalled, Closing };
        QTcpSocket* socket = nullptr;
        std::unique_ptr<ReplySender> sender;
        QByteArray input;
        State state = State::Reading;
        bool closeAfter = false;
        bool closedByCamera = false;
        bool busy = false; // a request is in progress
    };

    void onNewConnection();
    void onReadyRead(int id);
    void onDisconnected(int id);
    void processInput(int id);
    void handle(int id, const QByteArray& head);
    void respond(int id, const QByteArray& head);
    void endRequest(Connection* c);
    void send(int id, const Reply& reply, const ReplyShape& shape, bool keepAlive,
              bool headOnly);
    void finishReply(int id);
    void closeConnection(int id);
    Connection* connection(int id);

    Card* cardFolder;
    CameraCgi cgiReplies;
    CameraFiles fileReplies;
    CameraFaults faultModes;
    int latency = 0;
    qint64 rate = 0;
    std::map<int, std::unique_ptr<Connection>> connections;
    int nextId = 0;
    int requests = 0;
    int activeRequests = 0;
    int overlaps = 0;
    qint64 fileBodyBytes = 0;
};
