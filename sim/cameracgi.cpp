#include "cameracgi.h"

#include "card.h"

#include <algorithm>

namespace {

const QByteArray kCardPath = "sd/DCIM/100TQCAM/";
constexpr int kDefaultHuge = 10005;

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

} // namespace

CameraCgi::CameraCgi(Card* cardFolder, sim::Logger logLine)
    : card(cardFolder), log(std::move(logLine))
{
}

QByteArray CameraCgi::listCommand(const ModeWord& word)
{
    if (word.mode == "normal" && !word.hasNumber)
        listMode = ListMode::Normal;
    else if (word.mode == "hostile" && !word.hasNumber)
        listMode = ListMode::Hostile;
    else if (word.mode == "huge")
        listMode = ListMode::Huge;
    else if (word.mode == "cut" && word.hasNumber)
        listMode = ListMode::Cut;
    else
        return "expected normal, hostile, huge[=N] or cut=N";
    listCount = 0;
    if (listMode == ListMode::Huge)
        listCount = word.hasNumber ? word.number : kDefaultHuge;
    else if (listMode == ListMode::Cut)
        listCount = word.number;
    return {};
}

QByteArray CameraCgi::bodyCommand(const QList<QByteArray>& words)
{
    const QByteArray text = words.value(3);
    if (words.size() != 4)
        return "expected TARGET TEXT|off";
    RequestTarget target;
    if (!parseTarget(words[2], true, &target))
        return "unknown target " + words.value(2);
    if (text == "off")
        bodies.erase(target);
    else
        bodies[target] = unescapedWord(text);
    return {};
}

void CameraCgi::replaceBody(RequestKind kind, Reply* reply, const QByteArray& tag) const
{
    for (const auto& entry : bodies) {
        if (targets(entry.first, kind)) {
            reply->status = 200;
            reply->body = entry.second;
            log("set body" + tag);
        }
    }
}

QVector<QByteArray> CameraCgi::listEntries() const
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

Reply CameraCgi::answer(const CameraRequest& request, const QByteArray& tag)
{
    Reply reply;
    switch (request.kind) {
    case RequestKind::Count: {
        const int count = listEntries().size();
        reply.body = "var count=\"" + QByteArray::number(count) + "\";\r\n";
        log("served count" + tag + ' ' + QByteArray::number(count));
        return reply;
    }
    case RequestKind::List:
        return list(request.query, tag);
    case RequestKind::Info:
    case RequestKind::Delete:
        return infoOrDelete(request, tag);
    case RequestKind::DeleteAll:
    case RequestKind::Format: {
        const int removed = card->removeAll();
        reply.body = "Success\r\n";
        log((request.kind == RequestKind::Format ? "formatted" : "deleted all") + tag + ' '
            + QByteArray::number(removed) + " files");
        return reply;
    }
    case RequestKind::File:
    case RequestKind::Other:
        break;
    }
    return Reply::error(404);
}

Reply CameraCgi::list(const QByteArray& query, const QByteArray& tag) const
{
    Reply reply;
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

Reply CameraCgi::infoOrDelete(const CameraRequest& request, const QByteArray& tag)
{
    const bool info = request.kind == RequestKind::Info;
    QByteArray name;
    CardFile file;
    Card::Lookup found = Card::Lookup::Refused;
    if (cardName(request.query, &name))
        found = info ? card->find(name, &file) : card->remove(name);
    Reply reply;
    if (found == Card::Lookup::Found && info) {
        const QByteArray created =
            file.createdText.isNull()
                ? file.created.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1()
                : file.createdText;
        reply.body = "var create=\"" + created + "\";\r\nvar size=\""
                     + QByteArray::number(file.size) + "\";\r\nvar time=\""
                     + QByteArray::number(file.duration) + "\";\r\n";
        log("served info" + tag + ' ' + sim::escaped(name));
        return reply;
    }
    if (found == Card::Lookup::Found) {
        reply.body = "Success\r\n";
        log("deleted" + tag + ' ' + sim::escaped(name));
        return reply;
    }
    reply.status = found == Card::Lookup::Missing ? 404 : 403;
    reply.body = "Failed\r\n";
    log((found == Card::Lookup::Missing ? "no such file" : "refused") + tag + ' '
        + sim::escaped(name.isNull() ? request.query : name));
    return reply;
}
