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
    "usage: merro-devicesim --card DIR [options]\n"
    "       merro-devicesim --make-card DIR N [--max-size BYTES]\n"
    "\n"
    "Serves the device's control unit, ground unit and camera at once.\n"
    "  --card DIR               the camera's SD card folder\n"
    "  --control ADDR[:PORT]|off   control unit (default %1:%4)\n"
    "  --ground ADDR[:PORT]|off    ground unit (default %2:%4)\n"
    "  --camera ADDR[:PORT]|off    camera (default %3:%5)\n"
    "  --interval MS            heartbeat interval (1000)\n"
    "  --version-interval MS    version report interval of the control unit (3000)\n"
    "  --version T,HW,SW,PROTO,BOOT   version report values (2,260,1027,3,101)\n"
    "  --gap MS                 least time between two writes to a unit's client (100)\n"
    "  --command-port PORT      also take commands on 127.0.0.1:PORT (0: any free port)\n"
    "  --do COMMAND             run a command before the ready line (repeatable)\n"
    "  --exit-on-eof            exit when standard input ends\n"
    "Commands are read from standard input, one per line; see sim/README.md.\n";

void usage(FILE* to)
{
    const QString text = QString::fromLatin1(kUsage)
                             .arg(QLatin1String(merro::kControlHost),
                                  QLatin1String(merro::kGroundHost),
                                  QLatin1String(merro::kCameraHost))
                             .arg(merro::kUnitPort)
                             .arg(merro::kCameraPort);
    std::fputs(text.toLocal8Bit().constData(), to);
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
        usage(stderr);
        return 2;
    }
    qint64 maxSize = 24000000;
    const int sizeAt = args.indexOf(QStringLiteral("--max-size"));
    if (sizeAt >= 0) {
        maxSize = args.value(sizeAt + 1).toLongLong(&ok);
        if (!ok || maxSize < 1) {
            usage(stderr);
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
        usage(stdout);
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
            usage(stderr);
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
