#pragma once

#include "listener.h"
#include "replystream.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <map>
#include <memory>

class Card;
class QTcpSocket;

// The camera's HTTP/1.1 server: the SD card's CGI interface and its files.
// Accepts origin-form and absolute-form request targets, header lines with or
// without a space after the colon, and keeps a connection open between CGI
// replies unless the client asks to close; a file reply always ends with a
// close. File requests may ask for a byte range. A fault, when set, bends the
// replies of the requests it targets.
class CameraServer : public Listener
{
    Q_OBJECT

public:
    enum class Fault { None, CloseEarly, Stall, Hangup, NotFound, NoLength, Chunked, Drip,
                       BigHeader, Trickle, EndlessHeader, ExtraBytes, CloseDelimited, Cut };
    enum class Target { All, Cgi, File, Count, List, Info, Delete, DeleteAll, Format };
    enum class ListMode { Normal, Hostile, Huge, Cut };
    enum class RangeMode { On, Ignore, Wrong };

    explicit CameraServer(Card* card, QObject* parent = nullptr);
    ~CameraServer() override;

    // parameter: bytes per tick for Drip, filler bytes for BigHeader,
    // milliseconds per byte for Trickle, bytes per line for EndlessHeader,
    // bytes after the body for ExtraBytes, bytes per piece for CloseDelimited,
    // body bytes before the close for Cut.
    void setFault(Fault fault, int parameter, Target target, bool once);
    // count: entries for Huge, whole entries before the cut for Cut.
    void setListMode(ListMode mode, int count);
    void setRangeMode(RangeMode mode) { rangeMode = mode; }
    // Delays the start of every reply after its head has arrived.
    void setLatency(int ms) { latency = ms; }
    // Caps the bytes per second sent on each connection; 0: no cap.
    void setRate(qint64 bytesPerSecond) { rate = bytesPerSecond; }
    // Replaces the body of every reply to one kind of CGI request (the request
    // still takes effect); a null body goes back to the normal reply.
    void setBody(Target target, const QByteArray& body);
    int requestCount() const { return requests; }
    qint64 fileBytes() const { return fileBodyBytes; }
    int overlapCount() const { return overlaps; }

private:
    enum class Kind { Count, List, Info, Delete, DeleteAll, Format, File, Other };

    struct Reply
    {
        int status = 200;
        QByteArray contentType = "text/plain";
        QByteArray body;
        QString filePath; // a card file instead of body when set
        qint64 fileOffset = 0;
        qint64 fileSize = 0; // bytes served from fileOffset on
        QByteArray contentRange;
    };

    struct Connection
    {
        enum class State { Reading, Waiting, Writing, Stalled, Closing };
        QTcpSocket* socket = nullptr;
        QByteArray input;
        State state = State::Reading;
        std::unique_ptr<ReplyStream> reply;
        bool closeAfter = false;
        bool closedByCamera = false;
        bool busy = false; // a request is in progress
        bool fileReply = false;
        QTimer drip;
        int dripBytes = 0;
        int endlessLine = 0; // bytes per header line of a head without end
        qint64 endlessCount = 0;
        QElapsedTimer rateClock;
        qint64 rateSent = 0;
        bool rateWakeQueued = false;
    };

    static Reply errorReply(int status);
    void onNewConnection();
    void onReadyRead(int id);
    void onDisconnected(int id);
    void processInput(int id);
    void handle(int id, const QByteArray& head);
    void respond(int id, const QByteArray& head);
    void endRequest(Connection* c);
    Reply answer(int id, Kind kind, const QByteArray& target, const QByteArray& query,
                 const QByteArray& range);
    Reply fileAnswer(const QByteArray& tag, const QByteArray& name, const QByteArray& range);
    // Hands up to `max` bytes of the reply to the socket; returns how many.
    qint64 writeReply(Connection* c, qint64 max);
    void send(int id, const Reply& reply, Fault fault, int parameter, bool keepAlive,
              bool headOnly);
    void pump(int id);
    void dripTick(int id);
    void finishReply(int id);
    void closeConnection(int id);
    bool faultApplies(Kind kind) const;
    QVector<QByteArray> listEntries() const;
    static bool targets(Target target, Kind kind);
    Connection* connection(int id);

    Card* card;
    Fault fault = Fault::None;
    int faultParameter = 0;
    Target faultTarget = Target::All;
    bool faultOnce = false;
    ListMode listMode = ListMode::Normal;
    int listCount = 0;
    RangeMode rangeMode = RangeMode::On;
    int latency = 0;
    qint64 rate = 0;
    std::map<Target, QByteArray> bodies;
    std::map<int, std::unique_ptr<Connection>> connections;
    int nextId = 0;
    int requests = 0;
    int activeRequests = 0;
    int overlaps = 0;
    qint64 fileBodyBytes = 0;
};
