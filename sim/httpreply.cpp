#include "httpreply.h"

QByteArray reasonPhrase(int status)
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

Reply Reply::error(int status)
{
    const QByteArray title = QByteArray::number(status) + ' ' + reasonPhrase(status);
    Reply reply;
    reply.status = status;
    reply.contentType = "text/html";
    reply.body = "<html><head><title>" + title + "</title></head><body><h1>" + title
                 + "</h1></body></html>\r\n";
    return reply;
}

QByteArray Reply::head(Framing framing, const QByteArray& extraLines, bool close) const
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status)
                      + "\r\n";
    head += "Server: devicesim\r\n";
    head += "Content-Type: " + contentType + "\r\n";
    if (framing == Framing::Chunked)
        head += "Transfer-Encoding: chunked\r\n";
    else if (framing == Framing::Length)
        head += "Content-Length: " + QByteArray::number(bodySize()) + "\r\n";
    if (!contentRange.isEmpty())
        head += "Content-Range: " + contentRange + "\r\n";
    head += extraLines;
    head += close ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    return head + "\r\n";
}
