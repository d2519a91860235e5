#include "mainwindow.h"
#include "platformsocket.h"
#include "platformterminal.h"
#include "startoptions.h"
#include "syncrun.h"

#include <QApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QSettings>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// A sync, and the answers to --help and --version, need no window, and so
// no display: they run on a core application.
bool needsWindow(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"--sync", "--free-card", "--dry-run", "--quiet", "--help", "-h",
                                   "--help-all", "--version", "-v"}) {
            if (std::strcmp(argv[i], option) == 0)
                return false;
        }
    }
    return true;
}

void nameApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("merro"));
    QCoreApplication::setApplicationName(QStringLiteral("merro-download"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MERRO_VERSION));
}

// A file, in the user's usual place for them, on every platform.
std::unique_ptr<QSettings> openSettings()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QCoreApplication::organizationName(),
                                       QCoreApplication::applicationName());
}

int runWithoutWindow(int argc, char** argv)
{
    merro::term::useParentConsole();
    QCoreApplication app(argc, argv);
    // The window's diagnostic lines would bury what a sync tells.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    nameApplication();
    const std::unique_ptr<QSettings> settings = openSettings();
    StartOptions options;
    QString message;
    if (readStartOptions(QCoreApplication::arguments(), *settings, &options, &message)
        == StartChoice::Refused) {
        std::fprintf(stderr, "merro-download: %s\n", qPrintable(message));
        return SyncRun::BadOptions;
    }
    merro::deviceAddresses() = options.addresses;
    SyncRun::Options sync;
    sync.folder = options.downloadFolder;
    sync.freeCard = options.freeCard;
    sync.dryRun = options.dryRun;
    sync.quiet = options.quiet;
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

    QApplication app(argc, argv);
    nameApplication();
    const std::unique_ptr<QSettings> settings = openSettings();
    StartOptions options;
    QString message;
    if (readStartOptions(QApplication::arguments(), *settings, &options, &message)
        == StartChoice::Refused) {
        std::fprintf(stderr, "merro-download: %s\n", qPrintable(message));
        // Nobody would see a box without a screen; it would only wait for ever.
        if (QApplication::platformName() != QLatin1String("offscreen")
            && QApplication::platformName() != QLatin1String("minimal"))
            QMessageBox::critical(nullptr, QStringLiteral("MERRO-DownLoad"), message);
        return 2;
    }
    merro::deviceAddresses() = options.addresses;

    // On the heap: the window carries its fixed row table.
    auto window = std::make_unique<MainWindow>();
    window->setWindowTitle(QStringLiteral("MERRO-DownLoad"));
    window->setWindowIcon(QIcon(QStringLiteral(":/Images/appicon.png")));
    window->setDownloadFolder(options.downloadFolder);
    window->setSyncOnLink(options.syncOnLink, settings.get());
    window->show();
    const int result = app.exec();
    window.reset();
    return result;
}
