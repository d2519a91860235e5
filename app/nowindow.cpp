#include "windowstart.h"

#include "startoptions.h"

#include <QCoreApplication>
#include <QSettings>

#include <cstdio>
#include <memory>

int runWindow(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    nameApplication();
    const std::unique_ptr<QSettings> settings = openSettings();
    StartOptions options;
    QString message;
    // A wrong value is told as in every build, before what this one lacks.
    if (readStartOptions(QCoreApplication::arguments(), *settings, &options, &message)
        == StartChoice::Refused) {
        std::fprintf(stderr, "merro-download: %s\n", qPrintable(message));
        return 2;
    }
    std::fprintf(stderr, "merro-download: this build has no window; run it with --sync"
                         " (see --help).\n");
    return 2;
}
