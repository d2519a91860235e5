#include "deviceaddresses.h"
#include "platformsocket.h"
#include "platformterminal.h"
#include "startoptions.h"
#include "syncrun.h"
#include "verifyrun.h"
#include "windowstart.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstring>

namespace {

// A sync, and the answers to --help and --version, need no window, and so
// no display: they run on a core application.
bool needsWindow(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"--sync", "--free-card", "--dry-run", "--quiet", "--json",
                                   "--verify", "--help", "-h", "--help-all", "--version",
                                   "-v"}) {
            if (std::strcmp(argv[i], option) == 0)
                return false;
        }
    }
    return true;
}

int runWithoutWindow(int argc, char** argv)
{
    merro::term::useParentConsole();
    QCoreApplication app(argc, argv);
    // The window's diagnostic lines would bury what a sync tells.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    const ToolStart start = readToolStart();
    if (!start.refusal.isEmpty())
        return SyncRun::BadOptions;
    const StartOptions& options = start.options;
    merro::deviceAddresses() = options.addresses;
    if (options.verify) {
        VerifyRun::Options verify;
        verify.folder = options.downloadFolder;
        verify.json = options.json;
        return VerifyRun(verify).run();
    }
    SyncRun::Options sync;
    sync.folder = options.downloadFolder;
    sync.freeCard = options.freeCard;
    sync.dryRun = options.dryRun;
    sync.quiet = options.quiet;
    sync.json = options.json;
    sync.layout = options.layout;
    sync.limits = options.limits;
    SyncRun run(sync);
    return run.run();
}

} // namespace

int main(int argc, char** argv)
{
    if (merro::net::startup() != 0)
        return -1;
    if (!needsWindow(argc, argv))
        return runWithoutWindow(argc, argv);
    return runWindow(argc, argv);
}
