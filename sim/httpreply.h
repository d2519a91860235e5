#pragma once

#include <QByteArray>
#include <QString>

// One reply of the camera before it goes out: a status and a body, or a part
// of a card file.
struct Reply
{
    // How the head announces the body's end.
    enum class Framing { Length, Chunked, Close };

    int status = 200;
    QByteArray contentType = "text/plain";
    QByteArray body;
    QString filePath; // a card file instead of body when set
    qint64 fileOffset = 0;
    qint64 fileSize = 0; // bytes served from fileOffset on
    QByteArray contentRange;

    // An HTML page naming the status, as a small web server sends.
    static Reply error(int status);

    bool isFile() const { return !filePath.isEmpty(); }
    qint64 bodySize() const { return isFile() ? fileSize : body.size(); }
    // Status line and header lines up to the empty line; extraLines go last
    // before the Connection line.
    QByteArray head(Framing framing, const QByteArray& extraLines, bool close) const;
};

QByteArray reasonPhrase(int status);
