#include "cameraserver.h"

#include "simlog.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr int kMaxHead = 65536;

} // namespace

CameraServer::CameraServer(Card* card, QObject* parent)
    : Listener("camera", parent),
      cardFolder(card),
      cgiReplies(card, [this](const QByteArray& text) { log(text); }),
      fileReplies(card, [this](const QByteArray& text) { log(text); })
{
    connect(&server, &QTcpServer::newConnection, this, &CameraServer::onNewConnection);
}

CameraServer::~CameraServer()
{
    for (auto& entry : connections)
        entry.second->socket->disconnect(this);
}

CameraServer::Connection* CameraServer::connection(int id)
{
    const auto it = connections.find(id);
    return it == connections.end() ? nullptr : it->second.get();
}

void CameraServer::onNewConnection()
{
    while (QTcpSocket* socket = server.nextPendingConnection()) {
        const int id = ++nextId;
        auto c = std::make_unique<Connection>();
        c->socket = socket;
        socket->setParent(this);
        c->sender = std::make_unique<ReplySender>(socket, rate);
        connect(c->sender.get(), &ReplySender::finished, this, [this, id] { finishReply(id); });
        connect(c->sender.get(), &ReplySender::fileBodySent, this,
                [this](qint64 bytes) { fileBodyBytes += bytes; });
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { onReadyRead(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { onDisconnected(id); });
        connections.emplace(id, std::move(c));
        log("accepted #" + QByteArray::number(id) + " from "
            + socket->peerAddress().toString().toLatin1() + ':'
            + QByteArray::number(socket->peerPort()));
    }
}

void CameraServer::onReadyRead(int id)
{
    Connection* c = connection(id);
    if (!c)
        return;
    c->input += c->socket->readAll();
    if (c->state == Connection::State::Reading)
        processInput(id);
}

void CameraServer::onDisconnected(int id)
{
    Connection* c = connection(id);
    if (!c)
        return;
    log("closed #" + QByteArray::number(id) + (c->closedByCamera ? " by camera" : " by peer"));
    c->sender->stop();
    endRequest(c);
    c->state = Connection::State::Closing;
    c->socket->deleteLater();
    // Signals of this socket may still be on the call stack.
    QTimer::singleShot(0, this, [this, id] { connections.erase(id); });
}

void CameraServer::closeConnection(int id)
{
    Connection* c = connection(id);
    if (!c || c->state == Connection::State::Closing)
        return;
    endRequest(c);
    c->state = Connection::State::Closing;
    c->closedByCamera = true;
    c->socket->disconnectFromHost();
}

void CameraServer::processInput(int id)
{
    Connection* c = connection(id);
    if (!c || c->state != Connection::State::Reading)
        return;
    int end = c->input.indexOf("\r\n\r\n");
    int endLength = 4;
    const int bare = c->input.indexOf("\n\n");
    if (bare >= 0 && (end < 0 || bare < end)) {
        end = bare;
        endLength = 2;
    }
    if ((end < 0 ? c->input.size() : end) > kMaxHead) {
        log("head too large #" + QByteArray::number(id));
        c->input.clear();
        send(id, Reply::error(431), ReplyShape(), false, false);
        return;
    }
    if (end < 0)
        return;
    const QByteArray head = c->input.left(end + endLength);
    c->input.remove(0, end + endLength);
    handle(id, head);
}

void CameraServer::handle(int id, const QByteArray& head)
{
    Connection* c = connection(id);
    ++requests;
    const QByteArray tag = " #" + QByteArray::number(id);
    QByteArray requestLine = head.left(head.indexOf('\n'));
    if (requestLine.endsWith('\r'))
        requestLine.chop(1);
    log(sim::escaped(requestLine));
    log("head" + tag + ' ' + sim::escaped(head));
    // Tests count these to prove that a client never has two requests out at once.
    if (activeRequests > 0) {
        ++overlaps;
        log("overlap" + tag);
    }
    c->busy = true;
    ++activeRequests;
    if (latency <= 0) {
        respond(id, head);
        return;
    }
    c->state = Connection::State::Waiting;
    QTimer::singleShot(latency, Qt::PreciseTimer, this, [this, id, head] {
        const Connection* waiting = connection(id);
        if (waiting && waiting->state == Connection::State::Waiting)
            respond(id, head);
    });
}

void CameraServer::endRequest(Connection* c)
{
    if (c->busy) {
        c->busy = false;
        --activeRequests;
    }
}

void CameraServer::respond(int id, const QByteArray& head)
{
    const QByteArray tag = " #" + QByteArray::number(id);
    const CameraRequest request = CameraRequest::parse(head);
    if (!request.valid) {
        send(id, Reply::error(400), ReplyShape(), false, false);
        return;
    }
    const bool headOnly = request.method == "HEAD";
    ReplyShape shape;
    if (const FaultMode* mode = faultModes.take(request.kind, &shape))
        log("fault " + mode->word + tag);
    // A request the camera never answers, or turns down, changes nothing.
    switch (shape.start) {
    case ReplyShape::Start::Stall:
        connection(id)->state = Connection::State::Stalled;
        return;
    case ReplyShape::Start::Hangup:
        closeConnection(id);
        return;
    case ReplyShape::Start::NotFound:
        send(id, Reply::error(404), shape, request.keepAlive, headOnly);
        return;
    case ReplyShape::Start::Refuse: {
        Reply failed;
        failed.body = "Failed\r\n";
        send(id, failed, shape, request.keepAlive, headOnly);
        return;
    }
    case ReplyShape::Start::Answer:
        break;
    }
    if (request.method != "GET" && !headOnly) {
        send(id, Reply::error(405), ReplyShape(), request.keepAlive, false);
        return;
    }
    Reply reply;
    if (request.kind == RequestKind::File) {
        reply = fileReplies.answer(request, tag);
    } else if (request.kind == RequestKind::Other) {
        reply = Reply::error(404);
        log("not found" + tag + ' ' + sim::escaped(request.target));
    } else {
        reply = cgiReplies.answer(request, tag);
    }
    cgiReplies.replaceBody(request.kind, &reply, tag);
    send(id, reply, shape, request.keepAlive, headOnly);
}

void CameraServer::send(int id, const Reply& reply, const ReplyShape& shape, bool keepAlive,
                        bool headOnly)
{
    Connection* c = connection(id);
    if (!c)
        return;
    if (shape.endlessHead) {
        c->state = Connection::State::Writing;
        c->sender->sendEndless(shape.endlessHead);
        return;
    }
    c->closeAfter = !keepAlive || reply.isFile() || shape.close;
    const Reply::Framing framing = shape.chunked    ? Reply::Framing::Chunked
                                   : shape.noLength ? Reply::Framing::Close
                                                    : Reply::Framing::Length;
    const QByteArray head = reply.head(framing, shape.extraHead, c->closeAfter);

    // A head sent apart goes out whole at once; the stream then holds the body only.
    const QByteArray streamHead = shape.segments ? QByteArray() : head;
    std::unique_ptr<ReplyStream> stream;
    if (reply.isFile())
        stream = std::make_unique<ReplyStream>(streamHead, reply.filePath, reply.fileOffset,
                                               reply.fileSize);
    else
        stream = std::make_unique<ReplyStream>(streamHead, reply.body);
    stream->setChunked(shape.chunked && !headOnly);
    if (headOnly)
        stream->setBodyLimit(0);
    else if (shape.halfBody)
        stream->setBodyLimit(reply.bodySize() / 2);
    else if (shape.bodyLimit >= 0)
        stream->setBodyLimit(shape.bodyLimit);
    else if (!shape.trailer.isEmpty())
        stream->setTrailer(shape.trailer);

    c->state = Connection::State::Writing;
    c->sender->send(std::move(stream), reply.isFile(),
                    {shape.pieceBytes, shape.pieceMs, shape.segments}, head);
}

void CameraServer::finishReply(int id)
{
    Connection* c = connection(id);
    if (!c)
        return;
    endRequest(c);
    if (c->closeAfter) {
        closeConnection(id);
        return;
    }
    c->state = Connection::State::Reading;
    if (!c->input.isEmpty())
        processInput(id);
}
