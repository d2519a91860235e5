#include "cameracommands.h"

#include "cameraserver.h"
#include "card.h"
#include "simlog.h"

namespace {

constexpr int kMaxLatencyMs = 60000;

// "camera grow|name|time NAME ...": a card file, by its name on disk, as the
// camera serves it.
QByteArray cardCommand(CameraServer* camera, const QList<QByteArray>& words)
{
    const QByteArray& what = words[1];
    const QByteArray name = unescapedWord(words.value(2));
    const QByteArray value = words.value(3);
    const QByteArray given = value == "off" ? QByteArray() : unescapedWord(value);
    if (words.size() != 4)
        return what == "grow" ? "expected NAME BYTES" : "expected NAME TEXT|off";
    if (what == "name")
        return camera->card()->setWireName(name, given);
    if (what == "time")
        return camera->card()->setCreatedText(name, given);
    bool ok = false;
    const qint64 bytes = value.toLongLong(&ok);
    if (!ok || bytes < 0)
        return "expected NAME BYTES";
    qint64 size = 0;
    const QByteArray error = camera->card()->grow(name, bytes, &size);
    if (error.isEmpty())
        camera->log("grew " + sim::escaped(name) + " to " + QByteArray::number(size) + " bytes");
    return error;
}

} // namespace

QByteArray cameraCommand(CameraServer* camera, const QList<QByteArray>& words)
{
    const QByteArray what = words.value(1);
    const QByteArray arg = words.value(2);
    QByteArray result;
    if (what == "listen" && listenCommand(camera, arg, "the camera was started off", &result))
        return result;
    // A card name may hold '='.
    if (what == "grow" || what == "name" || what == "time")
        return cardCommand(camera, words);
    ModeWord mode;
    if (!parseModeWord(arg, &mode))
        return "bad number";
    if (what == "list")
        return camera->cgi().listCommand(mode);
    if (what == "range")
        return camera->files().rangeCommand(words);
    if (what == "latency") {
        bool ok = false;
        const int ms = arg.toInt(&ok);
        if (!ok || ms < 0 || ms > kMaxLatencyMs || words.size() != 3)
            return "expected milliseconds, 0 to 60000";
        camera->setLatency(ms);
        return {};
    }
    if (what == "rate") {
        bool ok = false;
        const qlonglong bytes = arg.toLongLong(&ok);
        if (!ok || bytes < 0)
            return "expected bytes per second";
        camera->setRate(bytes);
        return {};
    }
    if (what == "body")
        return camera->cgi().bodyCommand(words);
    if (what == "fault")
        return camera->faults().command(mode, words.mid(3));
    return "unknown camera command";
}

QVector<HelpEntry> cameraCommandHelp()
{
    return {
        {"camera listen on|off|deaf", "as for the units"},
        {"camera fault MODE[=N] [TARGET] [once]",
         "bend the replies to the requests of TARGET (default all) as MODE says (below), until"
         " another fault is set, or with once for one request; unless noted, the request"
         " still takes effect"},
        {"camera list normal|hostile|huge[=N]|cut=N",
         "what count and list report: the card; eight hostile entries before the card's own;"
         " N made-up entries (default 10005); the first N entries, then half of the next"
         " one, without the line end"},
        {"camera range on|ignore|wrong",
         "byte ranges of file requests: served; ignored (200 and the whole file); served"
         " from one byte later than asked"},
        {"camera latency MS",
         "every reply starts MS ms after its request head has arrived (0 to 60000)"},
        {"camera rate BYTES", "cap every camera connection at BYTES per second (0: no cap)"},
        {"camera body TARGET TEXT|off",
         "every reply to one CGI request gets status 200 and the body TEXT, one word in"
         " which \\r, \\n, \\\\ and \\xNN stand for those bytes; off restores the reply"},
        {"camera grow NAME BYTES",
         "append BYTES bytes (the one at offset P is P mod 251) to the card file NAME,"
         " keeping its modification time, as a camera still writing it"},
        {"camera time NAME TEXT|off",
         "the details of the card file NAME give TEXT as its create value instead of its"
         " modification time; off restores it"},
        {"camera name NAME TEXT|off",
         "the card file NAME is listed and asked for under the bytes TEXT, no longer under"
         " NAME, until it is removed; off restores its name"},
    };
}

QVector<HelpEntry> faultModeHelp()
{
    QVector<HelpEntry> help;
    for (const FaultMode& mode : CameraFaults::modes()) {
        QByteArray term = mode.word;
        if (mode.number && mode.defaultNumber == FaultMode::kNeeded)
            term += QByteArray("=") + mode.number;
        else if (mode.number)
            term += QByteArray("[=") + mode.number + ']';
        QByteArray meaning = mode.help;
        if (mode.number && mode.defaultNumber >= 0)
            meaning += " (default " + QByteArray::number(mode.defaultNumber) + ')';
        help.append({term, meaning});
    }
    return help;
}
