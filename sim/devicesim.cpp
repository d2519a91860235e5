#include "devicesim.h"

#include "cameracommands.h"
#include "platformterminal.h"
#include "simlog.h"
#include "unitcommands.h"

#include <QCoreApplication>
#include <QTcpSocket>

namespace {

QByteArray endpointText(bool on, const QHostAddress& address, quint16 port)
{
    if (!on)
        return "off";
    return address.toString().toLatin1() + ':' + QByteArray::number(port);
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
    if (line.isEmpty() || first == "help") {
        return "ok commands: stats | quit | control|ground listen|heartbeat|reports on|off"
               " | control|ground interval|report-interval MS"
               " | control|ground version T,HW,SW,PROTO,BOOT"
               " | control|ground frames normal|split|double|junk"
               " | control|ground drop | control|ground send HEX"
               " | control|ground accept normal|slow|none | control|ground flood on|off"
               " | camera listen on|off | camera fault MODE[=N] [TARGET] [once]"
               " | camera list normal|hostile|huge[=N]|cut=N | camera rate BYTES"
               " | camera range on|ignore|wrong | camera latency MS"
               " | camera body count|list|info|delete|deleteall|format TEXT|off"
               " | camera grow NAME BYTES | camera time|name NAME TEXT|off";
    }
    if (first == "stats")
        return "ok stats " + stats();
    if (first == "quit") {
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        return "ok quit";
    }
    QByteArray result;
    if (first == "control")
        result = unitCommand(&control, words);
    else if (first == "ground")
        result = unitCommand(&ground, words);
    else if (first == "camera")
        result = cameraCommand(&camera, words);
    else
        result = "unknown command";
    if (result.isEmpty())
        return "ok " + line.simplified();
    return "error " + line.simplified() + ": " + result;
}

QVector<HelpEntry> DeviceSim::commandHelp()
{
    QVector<HelpEntry> help = {
        {"stats",
         "one line of counts: for each unit good and bad replies and open connections; for"
         " the camera requests, card files, file body bytes sent and overlapping requests"},
        {"quit", "exit"},
        {"help", "list the commands on one line"},
    };
    return help + unitCommandHelp() + cameraCommandHelp();
}
