#pragma once

#include "deviceaddresses.h"
#include "localarchive.h"
#include "retention.h"

#include <QSettings>
#include <QString>
#include <QStringList>

#include <memory>

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
    bool json = false;   // the summary as one JSON document
    bool verify = false; // check the archive against its journal
    LocalArchive::Layout layout = LocalArchive::Layout::Flat;
    RetentionLimits limits;
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

// The start as the program makes it, once its application object exists:
// the application named (for the settings file and --version), the settings
// file open, the options read. A refusal is printed on the standard error.
struct ToolStart
{
    std::unique_ptr<QSettings> settings;
    StartOptions options;
    QString refusal; // empty unless the options were refused
};
ToolStart readToolStart();
