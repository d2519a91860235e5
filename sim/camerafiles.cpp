#include "camerafiles.h"

#include "card.h"
#include "commandwords.h"

#include <algorithm>

namespace {

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

} // namespace

CameraFiles::CameraFiles(Card* cardFolder, sim::Logger logLine)
    : card(cardFolder), log(std::move(logLine))
{
}

QByteArray CameraFiles::rangeCommand(const QList<QByteArray>& words)
{
    static const QList<QPair<QByteArray, RangeMode>> modes = {
        {"on", RangeMode::On}, {"ignore", RangeMode::Ignore}, {"wrong", RangeMode::Wrong},
    };
    if (words.size() != 3 || !pick(modes, words.value(2), &rangeMode))
        return "expected on, ignore or wrong";
    return {};
}

Reply CameraFiles::answer(const CameraRequest& request, const QByteArray& tag) const
{
    const QByteArray& name = request.fileName;
    CardFile file;
    const Card::Lookup found = card->find(name, &file);
    if (found != Card::Lookup::Found) {
        log((found == Card::Lookup::Missing ? "no such file" : "refused") + tag + ' '
            + sim::escaped(name));
        return Reply::error(found == Card::Lookup::Missing ? 404 : 403);
    }
    Reply reply;
    reply.contentType = contentTypeOf(name);
    reply.filePath = file.path;
    reply.fileSize = file.size;
    const QByteArray total = QByteArray::number(file.size);
    qint64 first = 0;
    qint64 last = -1;
    if (rangeMode == RangeMode::Ignore || !parseRange(request.range, &first, &last)) {
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
        reply = Reply::error(416);
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
