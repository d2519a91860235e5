#include "camerarequest.h"

#include <QList>

namespace {

const QByteArray kCgiPrefix = "/cgi-bin/hi3510/";
const QByteArray kFolderPrefix = "/sd/DCIM/100TQCAM/";

struct TargetWord
{
    const char* word;
    RequestTarget target;
    bool cgi; // names one CGI request
};

const TargetWord kTargetWords[] = {
    {"all", RequestTarget::All, false},
    {"cgi", RequestTarget::Cgi, false},
    {"file", RequestTarget::File, false},
    {"count", RequestTarget::Count, true},
    {"list", RequestTarget::List, true},
    {"info", RequestTarget::Info, true},
    {"delete", RequestTarget::Delete, true},
    {"deleteall", RequestTarget::DeleteAll, true},
    {"format", RequestTarget::Format, true},
};

RequestKind cgiKind(const QByteArray& script, const QByteArray& query)
{
    if (script == "getfilecount.cgi")
        return RequestKind::Count;
    if (script == "getfilelist.cgi")
        return RequestKind::List;
    if (script == "getfileinfo.cgi")
        return RequestKind::Info;
    if (script == "deletefile.cgi")
        return RequestKind::Delete;
    if (script == "deleteallfiles.cgi")
        return RequestKind::DeleteAll;
    if (script == "sdcommand.cgi" && query.contains("-format"))
        return RequestKind::Format;
    return RequestKind::Other;
}

} // namespace

bool targets(RequestTarget target, RequestKind kind)
{
    switch (target) {
    case RequestTarget::All: return true;
    case RequestTarget::Cgi: return kind != RequestKind::File && kind != RequestKind::Other;
    case RequestTarget::File: return kind == RequestKind::File;
    case RequestTarget::Count: return kind == RequestKind::Count;
    case RequestTarget::List: return kind == RequestKind::List;
    case RequestTarget::Info: return kind == RequestKind::Info;
    case RequestTarget::Delete: return kind == RequestKind::Delete;
    case RequestTarget::DeleteAll: return kind == RequestKind::DeleteAll;
    case RequestTarget::Format: return kind == RequestKind::Format;
    }
    return false;
}

bool parseTarget(const QByteArray& word, bool cgiOnly, RequestTarget* target)
{
    for (const TargetWord& entry : kTargetWords) {
        if (word == entry.word && (entry.cgi || !cgiOnly)) {
            *target = entry.target;
            return true;
        }
    }
    return false;
}

CameraRequest CameraRequest::parse(const QByteArray& head)
{
    CameraRequest request;
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
    if (firstSpace <= 0 || lastSpace == firstSpace)
        return request;
    request.valid = true;
    request.method = requestLine.left(firstSpace);
    QByteArray target = requestLine.mid(firstSpace + 1, lastSpace - firstSpace - 1);
    const QByteArray version = requestLine.mid(lastSpace + 1);

    QByteArray connectionHeader;
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines[i].indexOf(':');
        const QByteArray field = lines[i].left(colon).trimmed().toLower();
        if (colon > 0 && field == "connection")
            connectionHeader = lines[i].mid(colon + 1).trimmed().toLower();
        else if (colon > 0 && field == "range")
            request.range = lines[i].mid(colon + 1).trimmed();
    }
    request.keepAlive = version == "HTTP/1.1" ? !connectionHeader.contains("close")
                                              : connectionHeader.contains("keep-alive");

    if (target.left(7).toLower() == "http://") {
        const int slash = target.indexOf('/', 7);
        target = slash < 0 ? QByteArray("/") : target.mid(slash);
    }
    request.target = target;
    if (target.startsWith(kFolderPrefix)) {
        request.kind = RequestKind::File;
        request.fileName = target.mid(kFolderPrefix.size());
    } else if (target.startsWith(kCgiPrefix)) {
        const int mark = target.indexOf('?');
        const QByteArray script = target.mid(kCgiPrefix.size(),
                                             mark < 0 ? -1 : mark - kCgiPrefix.size());
        request.query = mark < 0 ? QByteArray() : target.mid(mark + 1);
        request.kind = cgiKind(script, request.query);
    }
    return request;
}
