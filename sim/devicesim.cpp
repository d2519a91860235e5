#include "devicesim.h"

#include "platformterminal.h"
#include "simlog.h"

#include <QCoreApplication>
#include <QTcpSocket>

#include <algorithm>

namespace {

// The value a command word names in a table of words and values.
template <typename T>
bool pick(const QList<QPair<QByteArray, T>>& table, const QByteArray& word, T* value)
{
    for (const auto& entry : table) {
        if (entry.first == word) {
            *value = entry.second;
            return true;
        }
    }
    return false;
}

QByteArray endpointText(bool on, const QHostAddress& address, quint16 port)
{
    if (!on)
        return "off";
    return address.toString().toLatin1() + ':' + QByteArray::number(port);
}

bool parseOnOff(const QByteArray& word, bool* on)
{
    if (word == "on" || word == "off") {
        *on = word == "on";
        return true;
    }
    return false;
}

bool parseMilliseconds(const QByteArray& word, int* ms)
{
    bool ok = false;
    const int value = word.toInt(&ok);
    if (!ok || value < 1 || value > 3600000)
        return false;
    *ms = value;
    return true;
}

} // namespace

DeviceSim::DeviceSim(const SimOptions& simOptions, QObject* parent)
    : QObject(parent),
      options(simOptions),
      card(simOptions.card),
      control("control", 0xaa),
      ground("ground", 0xbb),
      camera(&card)
{
    for (UnitServer* unit : {&control, &ground}) {
        unit->setHeartbeatInterval(options.interval);
        unit->setVersionInterval(options.versionInterval);
        unit->setGap(options.gap);
        unit->setVersion(options.version);
    }
    // Only the control unit's version report matters to the tool.
    control.setVersionReports(true);
    connect(&commandServer, &QTcpServer::newConnection, this, &DeviceSim::onCommandConnection);
}

DeviceSim::~DeviceSim() = default;

bool DeviceSim::start()
{
    QString error;
    const auto fail = [&](const QByteArray& what, const Endpoint& at) {
        sim::logLine("sim: error cannot listen for " + what + " on "
                     + endpointText(true, at.address, at.port) + ": " + error.toLocal8Bit());
        return false;
    };
    if (options.control.enabled
        && !control.listen(options.control.address, options.control.port, &error))
        return fail("control", options.control);
    if (options.ground.enabled
        && !ground.listen(options.ground.address, options.ground.port, &error))
        return fail("ground", options.ground);
    if (options.camera.enabled
        && !camera.listen(options.camera.address, options.camera.port, &error))
        return fail("camera", options.camera);
    if (options.commandPort >= 0
        && !commandServer.listen(QHostAddress::LocalHost,
                                 static_cast<quint16>(options.commandPort))) {
        error = commandServer.errorString();
        return fail("commands", {true, QHostAddress::LocalHost,
                                 static_cast<quint16>(options.commandPort)});
    }

    for (const QString& command : options.commands) {
        if (!runAndLog(command.toUtf8()).startsWith("ok"))
            return false;
    }

    // A background job reading its terminal would be stopped by the shell.
    if (!merro::term::inputIsAnotherJobsTerminal())
        merro::term::readInputLines(
            this, [this](const QByteArray& line) { runAndLog(line); },
            [this] {
                // Commands may still come over TCP.
                if (!options.exitOnEof)
                    return;
                sim::logLine("sim: end of input, exiting");
                QCoreApplication::quit();
            });

    sim::logLine("sim: ready control="
                 + endpointText(options.control.enabled, control.address(), control.port())
                 + " ground="
                 + endpointText(options.ground.enabled, ground.address(), ground.port())
                 + " camera="
                 + endpointText(options.camera.enabled, camera.address(), camera.port())
                 + " command="
                 + endpointText(commandServer.isListening(), QHostAddress::LocalHost,
                                commandServer.serverPort())
                 + " card=" + (options.card.isEmpty() ? "none" : card.dir().toLocal8Bit()));
    return true;
}

void DeviceSim::onCommandConnection()
{
    while (QTcpSocket* socket = commandServer.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine())
                socket->write(runAndLog(socket->readLine()) + '\n');
        });
    }
}

QByteArray DeviceSim::runAndLog(const QByteArray& line)
{
    const QByteArray answer = execute(line.trimmed());
    sim::logLine("sim: " + answer);
    return answer;
}

QByteArray DeviceSim::stats() const
{
    const auto unitStats = [](const UnitServer& unit) {
        return " good=" + QByteArray::number(unit.good()) + " bad="
               + QByteArray::number(unit.bad()) + " connections="
               + QByteArray::number(unit.connectionCount());
    };
    return "control" + unitStats(control) + " ground" + unitStats(ground)
           + " camera requests=" + QByteArray::number(camera.requestCount())
           + " files=" + QByteArray::number(options.card.isEmpty() ? 0 : card.files().size())
           + " filebytes=" + QByteArray::number(camera.fileBytes())
           + " overlaps=" + QByteArray::number(camera.overlapCount());
}

QByteArray DeviceSim::execute(const QByteArray& line)
{
    const QList<QByteArray> words = line.simplified().split(' ');
    const QByteArray& first = words.first();
    QByteArray result;
    if (line.isEmpty() || first == "help") {
        result = "ok commands: stats | quit | control|ground listen|heartbeat|reports on|off"
                 " | control|ground interval|report-interval MS"
                 " | control|ground version T,HW,SW,PROTO,BOOT"
                 " | control|ground frames normal|split|double|junk"
                 " | control|ground drop | control|ground send HEX"
                 " | control|ground accept normal|slow|none | control|ground flood on|off"
                 " | camera listen on|off | camera fault MODE[=N] [TARGET] [once]"
                 " | camera list normal|hostile|huge[=N]|cut=N | camera rate BYTES"
                 " | camera range on|ignore|wrong | camera latency MS"
                 " | camera body count|list|info|delete|deleteall|format TEXT|off";
        return result;
    }
    if (first == "stats")
        return "ok stats " + stats();
    if (first == "quit") {
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        return "ok quit";
    }
    if (first == "control")
        result = unitCommand(&control, words);
    else if (first == "ground")
        result = unitCommand(&ground, words);
    else if (first == "camera")
        result = cameraCommand(words);
    else
        result = "unknown command";
    if (result.isEmpty())
        return "ok " + line.simplified();
    return "error " + line.simplified() + ": " + result;
}

// Returns an empty text on success, the reason otherwise.
QByteArray DeviceSim::unitCommand(UnitServer* unit, const QList<QByteArray>& words)
{
    const QByteArray what = words.value(1);
    const QByteArray arg = words.value(2);
    bool on = false;
    int ms = 0;
    if (what == "listen" && arg == "deaf") {
        QString error;
        return unit->deafen(&error) ? QByteArray() : error.toLocal8Bit();
    }
    if (what == "listen" && parseOnOff(arg, &on)) {
        if (!on) {
            unit->stopListening();
            return {};
        }
        QString error;
        if (unit->port() == 0)
            return "this unit was started off";
        return unit->relisten(&error) ? QByteArray() : error.toLocal8Bit();
    }
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
        static const QList<QPair<QByteArray, UnitServer::Style>> styles = {
            {"normal", UnitServer::Style::Normal},
            {"split", UnitServer::Style::Split},
            {"double", UnitServer::Style::Double},
            {"junk", UnitServer::Style::Junk},
        };
        UnitServer::Style style;
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

// "camera body TARGET TEXT|off": TEXT is one word in which \\r, \\n, \\\\ and
// \\xNN stand for those bytes (\\x20 for a space).
QByteArray DeviceSim::cameraBody(const QList<QByteArray>& words)
{
    using T = CameraServer::Target;
    static const QList<QPair<QByteArray, T>> targets = {
        {"count", T::Count}, {"list", T::List}, {"info", T::Info}, {"delete", T::Delete},
        {"deleteall", T::DeleteAll}, {"format", T::Format},
    };
    const QByteArray text = words.value(3);
    if (words.size() != 4)
        return "expected TARGET TEXT|off";
    for (const auto& entry : targets) {
        if (entry.first != words[2])
            continue;
        if (text == "off") {
            camera.setBody(entry.second, QByteArray());
            return {};
        }
        QByteArray body("");
        for (int i = 0; i < text.size(); ++i) {
            if (text[i] != '\\' || i + 1 == text.size()) {
                body += text[i];
                continue;
            }
            const char next = text[++i];
            if (next == 'r') {
                body += '\r';
            } else if (next == 'n') {
                body += '\n';
            } else if (next == 'x' && i + 2 < text.size()) {
                body += QByteArray::fromHex(text.mid(i + 1, 2));
                i += 2;
            } else {
                body += next;
            }
        }
        camera.setBody(entry.second, body);
        return {};
    }
    return "unknown target " + words.value(2);
}

QByteArray DeviceSim::cameraCommand(const QList<QByteArray>& words)
{
    const QByteArray what = words.value(1);
    const QByteArray arg = words.value(2);
    bool on = false;
    if (what == "listen" && arg == "deaf") {
        QString error;
        return camera.deafen(&error) ? QByteArray() : error.toLocal8Bit();
    }
    if (what == "listen" && parseOnOff(arg, &on)) {
        if (!on) {
            camera.stopListening();
            return {};
        }
        if (camera.port() == 0)
            return "the camera was started off";
        QString error;
        return camera.relisten(&error) ? QByteArray() : error.toLocal8Bit();
    }
    // MODE or MODE=N
    const int equals = arg.indexOf('=');
    const QByteArray mode = equals < 0 ? arg : arg.left(equals);
    bool numberOk = true;
    const int number = equals < 0 ? 0 : arg.mid(equals + 1).toInt(&numberOk);
    if (!numberOk || number < 0)
        return "bad number";

    if (what == "list") {
        if (mode == "normal" && equals < 0)
            camera.setListMode(CameraServer::ListMode::Normal, 0);
        else if (mode == "hostile" && equals < 0)
            camera.setListMode(CameraServer::ListMode::Hostile, 0);
        else if (mode == "huge")
            camera.setListMode(CameraServer::ListMode::Huge, equals < 0 ? 10005 : number);
        else if (mode == "cut" && equals >= 0)
            camera.setListMode(CameraServer::ListMode::Cut, number);
        else
            return "expected normal, hostile, huge[=N] or cut=N";
        return {};
    }
    if (what == "range") {
        using R = CameraServer::RangeMode;
        static const QList<QPair<QByteArray, R>> modes = {
            {"on", R::On}, {"ignore", R::Ignore}, {"wrong", R::Wrong},
        };
        R range;
        if (words.size() != 3 || !pick(modes, arg, &range))
            return "expected on, ignore or wrong";
        camera.setRangeMode(range);
        return {};
    }
    if (what == "latency") {
        bool ok = false;
        const int ms = arg.toInt(&ok);
        if (!ok || ms < 0 || ms > 60000 || words.size() != 3)
            return "expected milliseconds, 0 to 60000";
        camera.setLatency(ms);
        return {};
    }
    if (what == "rate") {
        bool ok = false;
        const qlonglong bytes = arg.toLongLong(&ok);
        if (!ok || bytes < 0)
            return "expected bytes per second";
        camera.setRate(bytes);
        return {};
    }
    if (what == "body")
        return cameraBody(words);
    if (what != "fault")
        return "unknown camera command";

    using F = CameraServer::Fault;
    static const QList<QPair<QByteArray, F>> faults = {
        {"none", F::None}, {"close-early", F::CloseEarly}, {"stall", F::Stall},
        {"hangup", F::Hangup}, {"404", F::NotFound}, {"no-length", F::NoLength},
        {"chunked", F::Chunked}, {"drip", F::Drip}, {"big-header", F::BigHeader},
        {"trickle", F::Trickle}, {"endless-header", F::EndlessHeader},
        {"extra-bytes", F::ExtraBytes}, {"close-delimited", F::CloseDelimited}, {"cut", F::Cut},
    };
    using T = CameraServer::Target;
    static const QList<QPair<QByteArray, T>> targets = {
        {"all", T::All}, {"cgi", T::Cgi}, {"file", T::File}, {"count", T::Count},
        {"list", T::List}, {"info", T::Info}, {"delete", T::Delete},
        {"deleteall", T::DeleteAll}, {"format", T::Format},
    };
    int faultIndex = -1;
    for (int i = 0; i < faults.size(); ++i) {
        if (faults[i].first == mode)
            faultIndex = i;
    }
    if (faultIndex < 0)
        return "unknown fault";
    const F fault = faults[faultIndex].second;
    static const QList<QPair<F, int>> defaults = {
        {F::Drip, 256}, {F::BigHeader, 16384}, {F::Trickle, 700}, {F::EndlessHeader, 64},
        {F::ExtraBytes, 4096}, {F::CloseDelimited, 100},
    };
    int parameter = -1;
    for (const auto& entry : defaults) {
        if (entry.first == fault)
            parameter = equals < 0 ? entry.second : number;
    }
    if (fault == F::Cut) {
        if (equals < 0)
            return "expected cut=N";
        parameter = number;
    }
    if (parameter < 0 && equals >= 0)
        return "this fault takes no number";
    parameter = std::max(parameter, 0);

    T target = T::All;
    bool once = false;
    for (int i = 3; i < words.size(); ++i) {
        if (words[i] == "once") {
            once = true;
            continue;
        }
        bool known = false;
        for (const auto& entry : targets) {
            if (entry.first == words[i]) {
                target = entry.second;
                known = true;
            }
        }
        if (!known)
            return "unknown target " + words[i];
    }
    camera.setFault(fault, parameter, target, once);
    return {};
}
