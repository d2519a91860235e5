#include "startoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSettings>

#include <cstdio>

namespace {

struct EndpointOption
{
    const char* name;
    const char* key; // in the settings file
    merro::Endpoint merro::DeviceAddresses::*member;
};

const EndpointOption kEndpoints[] = {
    {"control", "device/control", &merro::DeviceAddresses::control},
    {"ground", "device/ground", &merro::DeviceAddresses::ground},
    {"camera", "device/camera", &merro::DeviceAddresses::camera},
};
const char kFolderKey[] = "download/dcim";
const char kLayoutKey[] = "download/layout";
const char kKeepDaysKey[] = "archive/keepDays";
const char kMaxSizeKey[] = "archive/maxSize";

// The archive's options: each from the settings, the command line winning.
// False, with what is wrong in *message, for a value that is none of theirs.
bool readArchiveOptions(const QCommandLineParser& parser, QSettings& settings,
                        StartOptions* options, QString* message)
{
    const auto value = [&](const char* option, const char* key, QString* where) {
        *where = parser.isSet(QLatin1String(option))
                     ? QStringLiteral("--") + QLatin1String(option)
                     : QStringLiteral("The setting %1 in %2").arg(QLatin1String(key),
                                                                  settings.fileName());
        return parser.isSet(QLatin1String(option)) ? parser.value(QLatin1String(option))
                                                   : settings.value(QLatin1String(key))
                                                         .toString();
    };
    QString where;
    const QString layout = value("layout", kLayoutKey, &where);
    if (!layout.isEmpty() && !LocalArchive::layoutNamed(layout, &options->layout)) {
        *message = QStringLiteral("%1: \"%2\" is not flat, day or month.").arg(where, layout);
        return false;
    }
    const QString days = value("keep-days", kKeepDaysKey, &where);
    bool whole = false;
    options->limits.keepDays = days.toInt(&whole);
    if (!days.isEmpty() && (!whole || options->limits.keepDays < 0)) {
        *message = QStringLiteral("%1: \"%2\" is not a number of days.").arg(where, days);
        return false;
    }
    const QString size = value("max-size", kMaxSizeKey, &where);
    if (!size.isEmpty() && !RetentionLimits::parseSize(size, &options->limits.maxBytes)) {
        *message = QStringLiteral("%1: \"%2\" is not a size in bytes, or with K, M, G or T.")
                       .arg(where, size);
        return false;
    }
    return true;
}

// HOST[:PORT], HOST a dotted IPv4 address of a single host; the port stays as
// it was when none is given. No octet has a leading zero: it would be read as
// octal, 072 as 58.
bool parseEndpoint(const QString& text, merro::Endpoint* endpoint)
{
    static const QRegularExpression form(QStringLiteral(
        "^((?:0|[1-9]\\d{0,2})(?:\\.(?:0|[1-9]\\d{0,2})){3})(?::(\\d{1,5}))?$"));
    const QRegularExpressionMatch match = form.match(text);
    QHostAddress address;
    if (!match.hasMatch() || !address.setAddress(match.captured(1))
        || address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    // Neither "any host" nor a multicast, reserved or broadcast address is a device.
    const quint32 value = address.toIPv4Address();
    if (value == 0 || value >= 0xE0000000u)
        return false;
    unsigned port = endpoint->port;
    if (!match.captured(2).isEmpty())
        port = match.captured(2).toUInt();
    if (port == 0 || port > 65535)
        return false;
    endpoint->host = address.toString().toStdString();
    endpoint->port = static_cast<unsigned short>(port);
    return true;
}

// Start-up texts are English: no language has been chosen yet.
QString badValue(const QString& where, const QString& value)
{
    return QStringLiteral("%1: \"%2\" is not HOST[:PORT] with HOST an IPv4 address and PORT"
                          " from 1 to 65535.").arg(where, value);
}

} // namespace

StartChoice readStartOptions(const QStringList& arguments, QSettings& settings,
                             StartOptions* options, QString* message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Lists, downloads and deletes the recordings on a networked camera's card."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const merro::DeviceAddresses defaults;
    for (const EndpointOption& option : kEndpoints) {
        const merro::Endpoint& fallback = defaults.*option.member;
        parser.addOption({QString::fromLatin1(option.name),
                          QStringLiteral("The %1 at HOST[:PORT] (default %2:%3; setting %4).")
                              .arg(QLatin1String(option.name),
                                   QString::fromStdString(fallback.host))
                              .arg(fallback.port)
                              .arg(QLatin1String(option.key)),
                          QStringLiteral("HOST[:PORT]")});
    }
    parser.addOption({QStringLiteral("dcim"),
                      QStringLiteral("Download into DIR (default DCIM in the working folder; "
                                     "setting %1).").arg(QLatin1String(kFolderKey)),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("sync-on-link"),
                      QStringLiteral("In the window: download the new recordings on each link "
                                     "(setting %1=true).").arg(QLatin1String(kSyncOnLinkKey))});
    parser.addOption({QStringLiteral("sync"),
                      QStringLiteral("No window: link, download every recording not yet in the "
                                     "download folder, oldest first, and end. Exit codes: 0 all "
                                     "new recordings arrived (or none was new), 1 some did not "
                                     "(named), 2 bad options, 3 the device, the camera or a "
                                     "whole listing could not be had, 4 another run holds the "
                                     "download folder or the camera.")});
    const QStringList syncOnly = {QStringLiteral("free-card"), QStringLiteral("dry-run"),
                                  QStringLiteral("quiet")};
    parser.addOption({syncOnly[0],
                      QStringLiteral("With --sync: then delete from the card the recordings "
                                     "verified in the download folder (after a whole listing "
                                     "only).")});
    parser.addOption({syncOnly[1],
                      QStringLiteral("With --sync: list what would be downloaded and deleted; "
                                     "send nothing but the listing.")});
    parser.addOption({syncOnly[2], QStringLiteral("With --sync: print failures only.")});
    parser.addOption({QStringLiteral("json"),
                      QStringLiteral("With --sync or --verify: print the summary as one JSON"
                                     " document on standard output, and all else on standard"
                                     " error.")});
    parser.addOption({QStringLiteral("verify"),
                      QStringLiteral("No window: hash every recording the download journal"
                                     " names again, and say which are missing or changed since"
                                     " they arrived. Exit code 0 when all hold, 1 otherwise.")});
    parser.addOption({QStringLiteral("layout"),
                      QStringLiteral("Where new recordings go in the download folder: flat,"
                                     " day (DCIM/2026-01-02/) or month (DCIM/2026-01/)"
                                     " (default flat; setting %1).").arg(QLatin1String(kLayoutKey)),
                      QStringLiteral("LAYOUT")});
    parser.addOption({QStringLiteral("keep-days"),
                      QStringLiteral("Keep recordings for N days after they were recorded: older"
                                     " ones that this tool saved are removed, oldest first, and"
                                     " not downloaded (setting %1).")
                          .arg(QLatin1String(kKeepDaysKey)),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("max-size"),
                      QStringLiteral("Keep the recordings this tool saved under SIZE (bytes, or"
                                     " 500M, 2G, 1T): the oldest go first, never the newest"
                                     " (setting %1).").arg(QLatin1String(kMaxSizeKey)),
                      QStringLiteral("SIZE")});
    if (!parser.parse(arguments)) {
        *message = parser.errorText();
        return StartChoice::Refused;
    }
    // Printed, or shown in a box where a program has no console; both end it.
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();

    for (const EndpointOption& option : kEndpoints) {
        merro::Endpoint* endpoint = &(options->addresses.*option.member);
        const QString key = QLatin1String(option.key);
        const QString name = QLatin1String(option.name);
        const QString fromSettings = settings.value(key).toString();
        // The command line wins, over a wrong setting too.
        if (settings.contains(key) && !parseEndpoint(fromSettings, endpoint)
            && !parser.isSet(name)) {
            *message = badValue(QStringLiteral("The setting %1 in %2")
                                    .arg(key, settings.fileName()), fromSettings);
            return StartChoice::Refused;
        }
        if (parser.isSet(name) && !parseEndpoint(parser.value(name), endpoint)) {
            *message = badValue(QStringLiteral("--") + name, parser.value(name));
            return StartChoice::Refused;
        }
    }
    options->sync = parser.isSet(QStringLiteral("sync"));
    options->verify = parser.isSet(QStringLiteral("verify"));
    options->json = parser.isSet(QStringLiteral("json"));
    for (const QString& name : syncOnly) {
        if (parser.isSet(name) && !options->sync) {
            *message = QStringLiteral("--%1 goes with --sync.").arg(name);
            return StartChoice::Refused;
        }
    }
    if (options->sync && options->verify) {
        *message = QStringLiteral("--sync and --verify are two runs: choose one.");
        return StartChoice::Refused;
    }
    if (options->json && !options->sync && !options->verify) {
        *message = QStringLiteral("--json goes with --sync or --verify.");
        return StartChoice::Refused;
    }
    if (!readArchiveOptions(parser, settings, options, message))
        return StartChoice::Refused;
    options->freeCard = parser.isSet(syncOnly[0]);
    options->dryRun = parser.isSet(syncOnly[1]);
    options->quiet = parser.isSet(syncOnly[2]);
    options->syncOnLink = parser.isSet(QStringLiteral("sync-on-link"))
                          || settings.value(QLatin1String(kSyncOnLinkKey)).toBool();
    QString folder = settings.value(QLatin1String(kFolderKey)).toString();
    if (parser.isSet(QStringLiteral("dcim")))
        folder = parser.value(QStringLiteral("dcim"));
    if (!folder.isEmpty())
        options->downloadFolder = folder;
    return StartChoice::Run;
}

ToolStart readToolStart()
{
    QCoreApplication::setOrganizationName(QStringLiteral("merro"));
    QCoreApplication::setApplicationName(QStringLiteral("merro-download"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MERRO_VERSION));
    ToolStart start;
    // A file, in the user's usual place for them, on every platform.
    start.settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                 QCoreApplication::organizationName(),
                                                 QCoreApplication::applicationName());
    if (readStartOptions(QCoreApplication::arguments(), *start.settings, &start.options,
                         &start.refusal) == StartChoice::Refused) {
        // Never empty: a refusal must be seen as one.
        if (start.refusal.isEmpty())
            start.refusal = QStringLiteral("refused");
        std::fprintf(stderr, "merro-download: %s\n", qPrintable(start.refusal));
    }
    return start;
}
