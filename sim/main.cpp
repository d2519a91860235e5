#include "cameracommands.h"
#include "card.h"
#include "devicesim.h"
#include "deviceconfig.h"
#include "simlog.h"

#include <QCoreApplication>
#include <QNetworkInterface>
#include <QTextCodec>

#include <cstdio>

namespace {

const char kUsage[] =
    "Usage: merro-devicesim --card DIR [OPTION]...\n"
    "  or:  merro-devicesim --make-card DIR N [--max-size BYTES]\n";

const char kAbout[] =
    "Serves the camera device's control unit, ground unit and camera (an HTTP server\n"
    "on a card folder) in one process, for trying and testing merro-download without\n"
    "the device. The device addresses are served only where no network but the\n"
    "loopback is in sight (a private network namespace); loopback addresses\n"
    "anywhere. One line per event goes to standard output. Commands, one per line on\n"
    "standard input or on the command port, switch faults on and off while it runs;\n"
    "each is answered with one line, \"ok COMMAND\" or \"error COMMAND: REASON\".\n";

QVector<HelpEntry> optionHelp()
{
    const QByteArray unitPort = QByteArray::number(merro::kUnitPort);
    return {
        {"--card DIR",
         "the camera's SD card folder (must exist; needed unless --camera off)"},
        {"--make-card DIR N",
         "fill DIR with N sample recordings (0 to 9999), print them and exit"},
        {"--max-size BYTES", "the largest sample recording (default 24000000)"},
        {"--control ADDR[:PORT]|off", QByteArray("the control unit, or none (default ")
                                          + merro::kControlHost + ':' + unitPort + ')'},
        {"--ground ADDR[:PORT]|off", QByteArray("the ground unit, or none (default ")
                                         + merro::kGroundHost + ':' + unitPort + ')'},
        {"--camera ADDR[:PORT]|off",
         QByteArray("the camera, or none; port 0 picks a free one (default ")
             + merro::kCameraHost + ':' + QByteArray::number(merro::kCameraPort) + ')'},
        {"--interval MS", "the heartbeat interval of both units (default 1000)"},
        {"--version-interval MS",
         "the interval of the control unit's version reports (default 3000)"},
        {"--version T,HW,SW,PROTO,BOOT",
         "version report values, T from -128 to 255, the others from 0 to 65535 (default"
         " 2,260,1027,3,101)"},
        {"--gap MS", "the least time between two writes to one unit client (default 100)"},
        {"--command-port PORT", "also take commands on 127.0.0.1:PORT (0: any free port)"},
        {"--do COMMAND", "run a command before the ready line (repeatable)"},
        {"--exit-on-eof", "exit when standard input ends"},
        {"-h, --help", "print this help and exit"},
    };
}

void usage(FILE* to, bool full)
{
    QByteArray text = kUsage;
    if (full)
        text += kAbout;
    text += "\nOptions:\n";
    for (const HelpEntry& entry : optionHelp())
        text += helpLines(entry);
    if (full) {
        text += "\nCommands:\n";
        for (const HelpEntry& entry : DeviceSim::commandHelp())
            text += helpLines(entry);
        text += "UNIT is control or ground. TARGET is all, cgi, file (downloads) or one CGI\n"
                "request: count, list, info, delete, deleteall or format. In grow, time and\n"
                "name, NAME is a card file's name on disk, written as TEXT is.\n"
                "\nFault modes:\n";
        for (const HelpEntry& entry : faultModeHelp())
            text += helpLines(entry);
    }
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), to);
}

bool parseEndpoint(const QString& text, Endpoint* endpoint)
{
    if (text == QLatin1String("off")) {
        endpoint->enabled = false;
        return true;
    }
    QString host = text;
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        bool ok = false;
        const uint port = text.mid(colon + 1).toUInt(&ok);
        if (!ok || port > 65535)
            return false;
        endpoint->port = static_cast<quint16>(port);
        host = text.left(colon);
    }
    QHostAddress address;
    if (!address.setAddress(host) || address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    endpoint->address = address;
    endpoint->enabled = true;
    return true;
}

// The device addresses may only be served where nothing but the loopback
// exists, that is inside the private network namespace.
bool onlyLoopbackVisible(QByteArray* others)
{
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        if (!(interface.flags() & QNetworkInterface::IsLoopBack))
            *others += ' ' + interface.name().toLocal8Bit();
    }
    return others->isEmpty();
}

int makeCard(const QStringList& args)
{
    const int at = args.indexOf(QStringLiteral("--make-card"));
    bool ok = false;
    const int count = args.value(at + 2).toInt(&ok);
    if (args.value(at + 1).isEmpty() || !ok || count < 0 || count > 9999) {
        usage(stderr, false);
        return 2;
    }
    qint64 maxSize = 24000000;
    const int sizeAt = args.indexOf(QStringLiteral("--max-size"));
    if (sizeAt >= 0) {
        maxSize = args.value(sizeAt + 1).toLongLong(&ok);
        if (!ok || maxSize < 1) {
            usage(stderr, false);
            return 2;
        }
    }
    QString error;
    if (!Card::make(args.value(at + 1), count, maxSize, &error)) {
        sim::logLine("sim: error " + error.toLocal8Bit());
        return 1;
    }
    const Card card(args.value(at + 1));
    qint64 total = 0;
    for (const CardFile& file : card.files()) {
        sim::logLine("sim: card " + file.name + ' ' + QByteArray::number(file.size) + " bytes "
                     + QByteArray::number(file.duration) + " s");
        total += file.size;
    }
    sim::logLine("sim: made card " + card.dir().toLocal8Bit() + ' '
                 + QByteArray::number(card.files().size()) + " files "
                 + QByteArray::number(total) + " bytes");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Card names travel as UTF-8 whatever the locale of the test run.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));

    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        usage(stdout, true);
        return 0;
    }
    if (args.contains(QStringLiteral("--make-card")))
        return makeCard(args);

    SimOptions options;
    options.control = {true, QHostAddress(QLatin1String(merro::kControlHost)), merro::kUnitPort};
    options.ground = {true, QHostAddress(QLatin1String(merro::kGroundHost)), merro::kUnitPort};
    options.camera = {true, QHostAddress(QLatin1String(merro::kCameraHost)), merro::kCameraPort};

    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        const QString value = hasValue ? args[i + 1] : QString();
        bool ok = hasValue;
        if (arg == QLatin1String("--exit-on-eof")) {
            options.exitOnEof = true;
            continue;
        }
        if (arg == QLatin1String("--card")) {
            options.card = value;
        } else if (arg == QLatin1String("--control")) {
            ok = ok && parseEndpoint(value, &options.control);
        } else if (arg == QLatin1String("--ground")) {
            ok = ok && parseEndpoint(value, &options.ground);
        } else if (arg == QLatin1String("--camera")) {
            ok = ok && parseEndpoint(value, &options.camera);
        } else if (arg == QLatin1String("--interval")) {
            options.interval = value.toInt(&ok);
            ok = ok && options.interval > 0;
        } else if (arg == QLatin1String("--version-interval")) {
            options.versionInterval = value.toInt(&ok);
            ok = ok && options.versionInterval > 0;
        } else if (arg == QLatin1String("--gap")) {
            options.gap = value.toInt(&ok);
            ok = ok && options.gap >= 0;
        } else if (arg == QLatin1String("--version")) {
            ok = ok && parseVersionValues(value.toLatin1(), &options.version);
        } else if (arg == QLatin1String("--command-port")) {
            options.commandPort = value.toInt(&ok);
            ok = ok && options.commandPort >= 0 && options.commandPort <= 65535;
        } else if (arg == QLatin1String("--do")) {
            options.commands.append(value);
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "merro-devicesim: bad option or value: %s\n",
                         arg.toLocal8Bit().constData());
            usage(stderr, false);
            return 2;
        }
        ++i;
    }

    if (options.camera.enabled) {
        if (options.card.isEmpty() || !Card(options.card).exists()) {
            sim::logLine("sim: error the camera needs --card DIR, an existing folder"
                         " (or --camera off)");
            return 2;
        }
    }

    QByteArray others;
    for (const Endpoint* endpoint : {&options.control, &options.ground, &options.camera}) {
        if (endpoint->enabled && !endpoint->address.isLoopback()
            && !onlyLoopbackVisible(&others)) {
            sim::logLine("sim: error refusing to serve " + endpoint->address.toString().toLatin1()
                         + " here: other interfaces are visible (" + others.trimmed()
                         + "); run inside scripts/netns-run, or serve 127.0.0.1");
            return 3;
        }
    }

    DeviceSim device(options);
    if (!device.start())
        return 1;
    return app.exec();
}
