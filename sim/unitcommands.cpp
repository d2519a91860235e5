#include "unitcommands.h"

#include "unitserver.h"

QByteArray unitCommand(UnitServer* unit, const QList<QByteArray>& words)
{
    const QByteArray what = words.value(1);
    const QByteArray arg = words.value(2);
    bool on = false;
    int ms = 0;
    QByteArray result;
    if (what == "listen" && listenCommand(unit, arg, "this unit was started off", &result))
        return result;
    if (what == "heartbeat" && parseOnOff(arg, &on)) {
        unit->setHeartbeats(on);
        return {};
    }
    if (what == "reports" && parseOnOff(arg, &on)) {
        unit->setVersionReports(on);
        return {};
    }
    if (what == "interval" && parseMilliseconds(arg, &ms)) {
        unit->setHeartbeatInterval(ms);
        return {};
    }
    if (what == "report-interval" && parseMilliseconds(arg, &ms)) {
        unit->setVersionInterval(ms);
        return {};
    }
    if (what == "version") {
        VersionValues values;
        if (!parseVersionValues(arg, &values))
            return "expected T,HW,SW,PROTO,BOOT";
        unit->setVersion(values);
        unit->sendVersionNow();
        return {};
    }
    if (what == "frames") {
        static const QList<QPair<QByteArray, HeartbeatStyle>> styles = {
            {"normal", HeartbeatStyle::Normal},
            {"split", HeartbeatStyle::Split},
            {"double", HeartbeatStyle::Double},
            {"junk", HeartbeatStyle::Junk},
        };
        HeartbeatStyle style;
        if (!pick(styles, arg, &style))
            return "expected normal, split, double or junk";
        unit->setStyle(style);
        return {};
    }
    if (what == "accept") {
        static const QList<QPair<QByteArray, UnitServer::Accept>> modes = {
            {"normal", UnitServer::Accept::Normal},
            {"slow", UnitServer::Accept::Slow},
            {"none", UnitServer::Accept::None},
        };
        UnitServer::Accept mode;
        if (!pick(modes, arg, &mode))
            return "expected normal, slow or none";
        unit->setAccept(mode);
        return {};
    }
    if (what == "flood" && parseOnOff(arg, &on)) {
        unit->setFlood(on);
        return {};
    }
    if (what == "drop" && words.size() == 2) {
        unit->dropAll();
        return {};
    }
    if (what == "send") {
        const QByteArray hex = words.mid(2).join();
        const QByteArray bytes = QByteArray::fromHex(hex);
        if (bytes.isEmpty() || bytes.toHex() != hex.toLower())
            return "expected hex bytes";
        unit->sendRaw(bytes);
        return {};
    }
    return "unknown unit command";
}

QVector<HelpEntry> unitCommandHelp()
{
    return {
        {"UNIT listen on|off|deaf",
         "listen; stop listening (new connections are refused, open ones stay); or keep the"
         " port taken and leave every new connect unanswered, like a switched-off host"},
        {"UNIT heartbeat on|off", "send heartbeat frames, or stop"},
        {"UNIT reports on|off",
         "periodic version reports (at start on for control, off for ground)"},
        {"UNIT interval MS", "the heartbeat interval"},
        {"UNIT report-interval MS", "the version report interval"},
        {"UNIT version T,HW,SW,PROTO,BOOT", "new version values; one report goes out now"},
        {"UNIT frames normal|split|double|junk",
         "how each following heartbeat goes out: alone; in two writes (3 + 3 bytes, a gap"
         " apart); in one write with a version report; alone, then a junk frame"},
        {"UNIT accept normal|slow|none",
         "how new connections are taken off the queue: at once; one every 900 ms; never."
         " slow and none leave room for one waiting connection, and a connect that finds"
         " it taken is not answered"},
        {"UNIT flood on|off",
         "connections made from now on get a small receive buffer and small segments, are"
         " flooded with 4-byte heartbeat frames and are never read"},
        {"UNIT drop", "the unit closes every connection"},
        {"UNIT send HEX", "one write of exactly these bytes (spaces allowed)"},
    };
}
