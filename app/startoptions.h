#pragma once

#include "deviceaddresses.h"

#include <QString>
#include <QStringList>

#include <memory>

class QSettings;

// What the tool is started with: the device's addresses, the download
// folder and whether each link downloads the new recordings. Each is the
// compiled-in default unless the settings file says otherwise, and the
// command line wins over both. The rest is for a sync without a window.
struct StartOptions
{
    merro::DeviceAddresses addresses;
    QString downloadFolder = QStringLiteral("DCIM/");
    bool syncOnLink = false;
    bool sync = false;
    bool freeCard = false;
    bool dryRun = false;
    bool quiet = false;
};

// The settings key of syncOnLink, which the window writes back.
constexpr char kSyncOnLinkKey[] = "sync/onLink";

enum class StartChoice { Run, Refused };

// Reads the settings, then `arguments` (the program name first). Refused,
// with what is wrong in *message, for an unknown option or a value that is
// not the IPv4 address of one host with a port from 1 to 65535; a wrong
// setting that the command line replaces does not count. --help and
// --version are answered here, and end the program.
StartChoice readStartOptions(const QStringList& arguments, QSettings& settings,
                             StartOptions* options, QString* message);

// The application's organisation, name and version, which the settings file
// and --version use.
void nameApplication();
// The settings file, in the user's usual place for them on every platform.
std::unique_ptr<QSettings> openSettings();
