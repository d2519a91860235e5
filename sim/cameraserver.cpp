#include "cameraserver.h"

#include "card.h"
#include "simlog.h"

#include <QTcpSocket>

#include <algorithm>

namespace {

const QByteArray kCgiPrefix = "/cgi-bin/hi3510/";
const QByteArray kFolderPrefix = "/sd/DCIM/100TQCAM/";
const QByteArray kCardPath = "sd/DCIM/100TQCAM/";
constexpr int kMaxHead = 65536;
constexpr qint64 kWriteBacklog = 256 * 1024;
constexpr qint64 kWritePiece = 64 * 1024;
constexpr int kDripTickMs = 20;
constexpr int kMinEndlessLine = 32;
constexpr int kClosePieceMs = 3;

// Header line number `index` of a head that never ends, `size` bytes with CRLF.
QByteArray endlessLine(qint64 index, int size)
{
    QByteArray line = "X-Endless-" + QByteArray::number(index) + ": ";
    line += QByteArray(std::max(1, size - line.size() - 2), 'e');
    return line + "\r\n";
}

QByteArray reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 416: return "Range Not Satisfiable";
    case 431: return "Request Header Fields Too Large";
    default: return "Unknown";
    }
}

QByteArray errorPage(int status)
{
    const QByteArray title = QByteArray::number(status) + ' ' + reason(status);
    return "<html><head><title>" + title + "</title></head><body><h1>" + title
           + "</h1></body></html>\r\n";
}

// The value of "-key=" in a CGI query, up to the next '&'.
QByteArray queryValue(const QByteArray& query, const QByteArray& key)
{
    const QByteArray marker = '-' + key + '=';
    const int at = query.indexOf(marker);
    if (at < 0)
        return {};
    const int start = at + marker.size();
    const int end = query.indexOf('&', start);
    return query.mid(start, end < 0 ? -1 : end - start);
}

// Card names come last in the query and are sent unescaped, so they may hold
// '&', spaces or any byte: everything after "-name=" is the name.
bool cardName(const QByteArray& query, QByteArray* name)
{
    const QByteArray marker = "-name=";
    const int at = query.indexOf(marker);
    if (at < 0)
        return false;
    const QByteArray value = query.mid(at + marker.size());
    if (!value.startsWith(kCardPath))
        return false;
    *name = value.mid(kCardPath.size());
    return true;
}

// A plain decimal number, as a range bound must be.
bool decimal(const QByteArray& text, qint64* value)
{
    if (text.isEmpty() || text.size() > 18)
        return false;
    for (const char ch : text) {
        if (ch < '0' || ch > '9')
            return false;
    }
    *value = text.toLongLong();
    return true;
}

// "bytes=N-" or "bytes=N-M" (last -1 without M). Other forms are ignored as a
// server may ignore any Range it does not take.
bool parseRange(const QByteArray& value, qint64* first, qint64* last)
{
    if (!value.toLower().startsWith("bytes="))
        return false;
    const QByteArray set = value.mid(6).trimmed();
    const int dash = set.indexOf('-');
    if (dash < 0 || !decimal(set.left(dash), first))
        return false;
    *last = -1;
    const QByteArray end = set.mid(dash + 1);
    return end.isEmpty() || (decimal(end, last) && *last >= *first);
}

QByteArray contentTypeOf(const QByteArray& name)
{
    const QByteArray lower = name.toLower();
    if (lower.endsWith(".mp4"))
        return "video/mp4";
    if (lower.endsWith(".jpg") || lower.endsWith(".jpeg"))
        return "image/jpeg";
    return "application/octet-stream";
}

QByteArray faultName(CameraServer::Fault fault)
{
    switch (fault) {
    case CameraServer::Fault::None: return "none";
    case CameraServer::Fault::CloseEarly: return "close-early";
    case CameraServer::Fault::Stall: return "stall";
    case CameraServer::Fault::Hangup: return "hangup";
    case CameraServer::Fault::NotFound: return "404";
    case CameraServer::Fault::NoLength: return "no-length";
    case CameraServer::Fault::Chunked: return "chunked";
    case CameraServer::Fault::Drip: return "drip";
    case CameraServer::Fault::BigHeader: return "big-header";
    case CameraServer::Fault::Trickle: return "trickle";
    case CameraServer::Fault::EndlessHeader: return "endless-header";
    case CameraServer::Fault::ExtraBytes: return "extra-bytes";
    case CameraServer::Fault::CloseDelimited: return "close-delimited";
    case CameraServer::Fault::Cut: return "cut";
    }
    return {};
}

} // namespace

CameraServer::CameraServer(Card* cardFolder, QObject* parent)
    : Listener("camera", parent), card(cardFolder)
{
    connect(&server, &QTcpServer::newConnection, this, &CameraServer::onNewConnection);
}

CameraServer::~CameraServer()
{
    for (auto& entry : connections)
        entry.second->socket->disconnect(this);
}

void CameraServer::setFault(Fault value, int parameter, Target target, bool once)
{
    fault = value;
    faultParameter = parameter;
    faultTarget = target;
    faultOnce = once;
}

void CameraServer::setListMode(ListMode mode, int count)
{
    listMode = mode;
    listCount = count;
}

void CameraServer::setBody(Target target, const QByteArray& body)
{
    if (body.isNull())
        bodies.erase(target);
    else
        bodies[target] = body;
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
        connect(&c->drip, &QTimer::timeout, this, [this, id] { dripTick(id); });
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { onReadyRead(id); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, id] { pump(id); });
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
    c->drip.stop();
    c->reply.reset();
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
        const Reply reply = errorReply(431);
        send(id, reply, Fault::None, 0, false, false);
        return;
    }
    if (end < 0)
        return;
    const QByteArray head = c->input.left(end + endLength);
    c->input.remove(0, end + endLength);
    handle(id, head);
}

CameraServer::Reply CameraServer::errorReply(int status)
{
    Reply reply;
    reply.status = status;
    reply.contentType = "text/html";
    reply.body = errorPage(status);
    return reply;
}

bool CameraServer::faultApplies(Kind kind) const
{
    return fault != Fault::None && targets(faultTarget, kind);
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
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    const QByteArray requestLine = lines.value(0);

    // Method, target and version: the target is everything between the first
    // and the last space, since card names may hold spaces.
    const int firstSpace = requestLine.indexOf(' ');
    const int lastSpace = requestLine.lastIndexOf(' ');
    if (firstSpace <= 0 || lastSpace == firstSpace) {
        const Reply reply = errorReply(400);
        send(id, reply, Fault::None, 0, false, false);
        return;
    }
    const QByteArray method = requestLine.left(firstSpace);
    QByteArray target = requestLine.mid(firstSpace + 1, lastSpace - firstSpace - 1);
    const QByteArray version = requestLine.mid(lastSpace + 1);

    QByteArray connectionHeader;
    QByteArray range;
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines[i].indexOf(':');
        const QByteArray field = lines[i].left(colon).trimmed().toLower();
        if (colon > 0 && field == "connection")
            connectionHeader = lines[i].mid(colon + 1).trimmed().toLower();
        else if (colon > 0 && field == "range")
            range = lines[i].mid(colon + 1).trimmed();
    }
    const bool keepAlive = version == "HTTP/1.1" ? !connectionHeader.contains("close")
                                                 : connectionHeader.contains("keep-alive");

    if (target.left(7).toLower() == "http://") {
        const int slash = target.indexOf('/', 7);
        target = slash < 0 ? QByteArray("/") : target.mid(slash);
    }

    Kind kind = Kind::Other;
    QByteArray query;
    if (target.startsWith(kFolderPrefix)) {
        kind = Kind::File;
    } else if (target.startsWith(kCgiPrefix)) {
        const int mark = target.indexOf('?');
        const QByteArray script = target.mid(kCgiPrefix.size(),
                                             mark < 0 ? -1 : mark - kCgiPrefix.size());
        query = mark < 0 ? QByteArray() : target.mid(mark + 1);
        if (script == "getfilecount.cgi")
            kind = Kind::Count;
        else if (script == "getfilelist.cgi")
            kind = Kind::List;
        else if (script == "getfileinfo.cgi")
            kind = Kind::Info;
        else if (script == "deletefile.cgi")
            kind = Kind::Delete;
        else if (script == "deleteallfiles.cgi")
            kind = Kind::DeleteAll;
        else if (script == "sdcommand.cgi" && query.contains("-format"))
            kind = Kind::Format;
    }

    Fault applied = Fault::None;
    int parameter = 0;
    if (faultApplies(kind)) {
        applied = fault;
        parameter = faultParameter;
        if (faultOnce)
            fault = Fault::None;
        log("fault " + faultName(applied) + tag);
    }
    // A request the camera never answers, or turns down, changes nothing.
    if (applied == Fault::Stall) {
        connection(id)->state = Connection::State::Stalled;
        return;
    }
    if (applied == Fault::Hangup) {
        closeConnection(id);
        return;
    }
    if (applied == Fault::NotFound) {
        const Reply reply = errorReply(404);
        send(id, reply, applied, parameter, keepAlive, method == "HEAD");
        return;
    }
    if (method != "GET" && method != "HEAD") {
        const Reply reply = errorReply(405);
        send(id, reply, Fault::None, 0, keepAlive, false);
        return;
    }
    Reply reply = answer(id, kind, target, query, range);
    for (const auto& entry : bodies) {
        if (targets(entry.first, kind)) {
            reply.status = 200;
            reply.body = entry.second;
            log("set body" + tag);
        }
    }
    send(id, reply, applied, parameter, keepAlive, method == "HEAD");
}

bool CameraServer::targets(Target target, Kind kind)
{
    switch (target) {
    case Target::All: return true;
    case Target::Cgi: return kind != Kind::File && kind != Kind::Other;
    case Target::File: return kind == Kind::File;
    case Target::Count: return kind == Kind::Count;
    case Target::List: return kind == Kind::List;
    case Target::Info: return kind == Kind::Info;
    case Target::Delete: return kind == Kind::Delete;
    case Target::DeleteAll: return kind == Kind::DeleteAll;
    case Target::Format: return kind == Kind::Format;
    }
    return false;
}

QVector<QByteArray> CameraServer::listEntries() const
{
    QVector<QByteArray> entries;
    if (listMode == ListMode::Huge) {
        for (int i = 1; i <= listCount; ++i)
            entries.append(kCardPath + "HUGE" + QByteArray::number(i).rightJustified(5, '0')
                           + ".MP4;");
        return entries;
    }
    if (listMode == ListMode::Hostile) {
        entries = {
            kCardPath + "../../../etc/passwd;",
            kCardPath + "..\\..\\..\\Windows\\win.ini;",
            kCardPath + "..;",
            kCardPath + "/etc/shadow;",
            kCardPath + QByteArray("\x01\x1b[2Jbell\x07name\x7f.MP4;"),
            kCardPath + "VID_20250314_093012_far_too_long_a_name.MP4;",
            kCardPath + ";",
            "NO_FOLDER_IN_THIS_ENTRY.MP4;",
        };
    }
    for (const CardFile& file : card->files())
        entries.append(kCardPath + file.name + ';');
    return entries;
}

CameraServer::Reply CameraServer::answer(int id, Kind kind, const QByteArray& target,
                                         const QByteArray& query, const QByteArray& range)
{
    const QByteArray tag = " #" + QByteArray::number(id);
    Reply reply;
    QByteArray name;
    switch (kind) {
    case Kind::Count: {
        const int count = listEntries().size();
        reply.body = "var count=\"" + QByteArray::number(count) + "\";\r\n";
        log("served count" + tag + ' ' + QByteArray::number(count));
        return reply;
    }
    case Kind::List: {
        const QVector<QByteArray> entries = listEntries();
        bool ok = false;
        int start = queryValue(query, "start").toInt(&ok);
        if (!ok)
            start = 1;
        int end = queryValue(query, "end").toInt(&ok);
        if (!ok)
            end = entries.size();
        start = std::max(start, 1);
        end = std::min(end, static_cast<int>(entries.size()));
        const int count = std::max(0, end - start + 1);
        const bool cut = listMode == ListMode::Cut;
        const int whole = cut ? std::min(count, listCount) : count;
        for (int i = 0; i < whole; ++i)
            reply.body += entries[start - 1 + i];
        if (!cut) {
            reply.body += "\r\n";
        } else if (whole < count) {
            // Half of the next entry's name, as where a camera's output breaks off.
            const QByteArray next = entries[start - 1 + whole];
            reply.body += next.left((next.size() - 1) / 2);
        }
        log("served list" + tag + ' ' + QByteArray::number(whole) + " entries"
            + (cut ? " cut" : ""));
        return reply;
    }
    case Kind::Info:
    case Kind::Delete: {
        CardFile file;
        Card::Lookup found = Card::Lookup::Refused;
        if (cardName(query, &name))
            found = kind == Kind::Info ? card->find(name, &file) : card->remove(name);
        if (found == Card::Lookup::Found) {
            if (kind == Kind::Info) {
                reply.body = "var create=\""
                             + file.created.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1()
                             + "\";\r\nvar size=\"" + QByteArray::number(file.size)
                             + "\";\r\nvar time=\"" + QByteArray::number(file.duration)
                             + "\";\r\n";
                log("served info" + tag + ' ' + sim::escaped(name));
            } else {
                reply.body = "Success\r\n";
                log("deleted" + tag + ' ' + sim::escaped(name));
            }
            return reply;
        }
        reply.status = found == Card::Lookup::Missing ? 404 : 403;
        reply.body = "Failed\r\n";
        log((found == Card::Lookup::Missing ? "no such file" : "refused") + tag + ' '
            + sim::escaped(name.isNull() ? query : name));
        return reply;
    }
    case Kind::DeleteAll:
    case Kind::Format: {
        const int removed = card->removeAll();
        reply.body = "Success\r\n";
        log((kind == Kind::Format ? "formatted" : "deleted all") + tag + ' '
            + QByteArray::number(removed) + " files");
        return reply;
    }
    case Kind::File:
        return fileAnswer(tag, target.mid(kFolderPrefix.size()), range);
    case Kind::Other:
        break;
    }
    reply = errorReply(404);
    log("not found" + tag + ' ' + sim::escaped(target));
    return reply;
}

CameraServer::Reply CameraServer::fileAnswer(const QByteArray& tag, const QByteArray& name,
                                             const QByteArray& range)
{
    CardFile file;
    const Card::Lookup found = card->find(name, &file);
    if (found != Card::Lookup::Found) {
        log((found == Card::Lookup::Missing ? "no such file" : "refused") + tag + ' '
            + sim::escaped(name));
        return errorReply(found == Card::Lookup::Missing ? 404 : 403);
    }
    Reply reply;
    reply.contentType = contentTypeOf(name);
    reply.filePath = card->pathOf(name);
    reply.fileSize = file.size;
    const QByteArray total = QByteArray::number(file.size);
    qint64 first = 0;
    qint64 last = -1;
    if (rangeMode == RangeMode::Ignore || !parseRange(range, &first, &last)) {
        log("served file" + tag + ' ' + sim::escaped(name) + ' ' + total + " bytes");
        return reply;
    }
    if (rangeMode == RangeMode::Wrong) {
        ++first;
        last = last < 0 ? last : std::max(last, first);
    }
    if (first >= file.size) {
        log("range not satisfiable" + tag + ' ' + sim::escaped(name) + " start "
            + QByteArray::number(first) + " size " + total);
        reply = errorReply(416);
        reply.contentRange = "bytes */" + total;
        return reply;
    }
    last = last < 0 ? file.size - 1 : std::min(last, file.size - 1);
    const QByteArray bytes = QByteArray::number(first) + '-' + QByteArray::number(last) + '/'
                             + total;
    reply.status = 206;
    reply.fileOffset = first;
    reply.fileSize = last - first + 1;
    reply.contentRange = "bytes " + bytes;
    log("served file" + tag + ' ' + sim::escaped(name) + " bytes " + bytes);
    return reply;
}

void CameraServer::send(int id, const Reply& reply, Fault applied, int parameter,
                        bool keepAlive, bool headOnly)
{
    Connection* c = connection(id);
    if (!c)
        return;
    if (applied == Fault::EndlessHeader) {
        // Made line by line as the client takes them, never all at once.
        c->endlessLine = std::max(kMinEndlessLine, parameter);
        c->state = Connection::State::Writing;
        c->socket->write("HTTP/1.1 200 OK\r\nServer: devicesim\r\n");
        pump(id);
        return;
    }
    const bool isFile = !reply.filePath.isEmpty();
    const qint64 bodySize = isFile ? reply.fileSize : reply.body.size();
    const bool closeDelimited = applied == Fault::CloseDelimited;
    c->closeAfter = !keepAlive || isFile || applied == Fault::CloseEarly
                    || applied == Fault::NoLength || closeDelimited || applied == Fault::Cut;
    c->fileReply = isFile;

    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' '
                      + reason(reply.status) + "\r\n";
    head += "Server: devicesim\r\n";
    head += "Content-Type: " + reply.contentType + "\r\n";
    if (applied == Fault::Chunked)
        head += "Transfer-Encoding: chunked\r\n";
    else if (applied != Fault::NoLength && !closeDelimited)
        head += "Content-Length: " + QByteArray::number(bodySize) + "\r\n";
    if (!reply.contentRange.isEmpty())
        head += "Content-Range: " + reply.contentRange + "\r\n";
    if (applied == Fault::BigHeader) {
        // Many long lines rather than one: the whole head outgrows any small
        // fixed buffer while each line stays a plausible length.
        const int lineSize = 8000;
        int added = 0;
        for (int line = 1; added < parameter; ++line) {
            const int fill = std::min(lineSize, parameter - added);
            head += "X-Filler-" + QByteArray::number(line) + ": " + QByteArray(fill, 'x')
                    + "\r\n";
            added += fill;
        }
    }
    head += c->closeAfter ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    head += "\r\n";

    // A close-delimited head goes out whole; the stream then holds the body only.
    const QByteArray streamHead = closeDelimited ? QByteArray() : head;
    if (isFile)
        c->reply = std::make_unique<ReplyStream>(streamHead, reply.filePath, reply.fileOffset,
                                                 reply.fileSize);
    else
        c->reply = std::make_unique<ReplyStream>(streamHead, reply.body);
    c->reply->setChunked(applied == Fault::Chunked && !headOnly);
    if (headOnly)
        c->reply->setBodyLimit(0);
    else if (applied == Fault::CloseEarly)
        c->reply->setBodyLimit(bodySize / 2);
    else if (applied == Fault::Cut)
        c->reply->setBodyLimit(parameter);
    else if (applied == Fault::ExtraBytes)
        c->reply->setTrailer(QByteArray(std::max(1, parameter), 'X'));
    c->rateClock.start();
    c->rateSent = 0;

    c->state = Connection::State::Writing;
    if (closeDelimited) {
        // Small pieces, each in a segment of its own, as a camera's CGI
        // script writes its output. The timer runs first: flush() emits
        // bytesWritten at once, and pump() leaves a dripping reply alone.
        c->dripBytes = std::max(1, parameter);
        c->drip.setTimerType(Qt::PreciseTimer);
        c->drip.start(kClosePieceMs);
        c->socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        c->socket->write(head);
        c->socket->flush();
    } else if (applied == Fault::Drip || applied == Fault::Trickle) {
        c->dripBytes = applied == Fault::Drip ? std::max(1, parameter) : 1;
        c->drip.start(applied == Fault::Drip ? kDripTickMs : std::max(1, parameter));
    } else {
        pump(id);
    }
}

void CameraServer::pump(int id)
{
    Connection* c = connection(id);
    if (c && c->endlessLine > 0 && c->state == Connection::State::Writing) {
        while (c->socket->bytesToWrite() < kWriteBacklog)
            c->socket->write(endlessLine(++c->endlessCount, c->endlessLine));
        return;
    }
    if (!c || c->state != Connection::State::Writing || !c->reply || c->drip.isActive())
        return;
    while (!c->reply->atEnd() && c->socket->bytesToWrite() < kWriteBacklog) {
        qint64 piece = kWritePiece;
        if (rate > 0) {
            piece = std::min(piece, rate * c->rateClock.elapsed() / 1000 - c->rateSent);
            if (piece <= 0) {
                if (!c->rateWakeQueued) {
                    c->rateWakeQueued = true;
                    QTimer::singleShot(1, Qt::PreciseTimer, this, [this, id] {
                        if (Connection* again = connection(id)) {
                            again->rateWakeQueued = false;
                            pump(id);
                        }
                    });
                }
                return;
            }
        }
        c->rateSent += writeReply(c, piece);
    }
    if (c->reply->atEnd())
        finishReply(id);
}

void CameraServer::dripTick(int id)
{
    Connection* c = connection(id);
    if (!c || !c->reply)
        return;
    writeReply(c, c->dripBytes);
    c->socket->flush();
    if (c->reply->atEnd()) {
        c->drip.stop();
        finishReply(id);
    }
}

qint64 CameraServer::writeReply(Connection* c, qint64 max)
{
    const qint64 before = c->reply->bodyBytesOut();
    const QByteArray data = c->reply->read(max);
    c->socket->write(data);
    if (c->fileReply)
        fileBodyBytes += c->reply->bodyBytesOut() - before;
    return data.size();
}

void CameraServer::finishReply(int id)
{
    Connection* c = connection(id);
    if (!c)
        return;
    endRequest(c);
    c->reply.reset();
    if (c->closeAfter) {
        closeConnection(id);
        return;
    }
    c->state = Connection::State::Reading;
    if (!c->input.isEmpty())
        processInput(id);
}
