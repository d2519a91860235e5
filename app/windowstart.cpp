#include "windowstart.h"

#include "deviceaddresses.h"
#include "mainwindow.h"
#include "startoptions.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSettings>

#include <memory>

int runWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    const ToolStart start = readToolStart();
    if (!start.refusal.isEmpty()) {
        // Nobody would see a box without a screen; it would only wait for ever.
        if (QApplication::platformName() != QLatin1String("offscreen")
            && QApplication::platformName() != QLatin1String("minimal"))
            QMessageBox::critical(nullptr, QStringLiteral("MERRO-DownLoad"), start.refusal);
        return 2;
    }
    const StartOptions& options = start.options;
    merro::deviceAddresses() = options.addresses;

    // On the heap: the window carries its fixed row table.
    auto window = std::make_unique<MainWindow>();
    window->setWindowTitle(QStringLiteral("MERRO-DownLoad"));
    window->setWindowIcon(QIcon(QStringLiteral(":/Images/appicon.png")));
    window->setDownloadFolder(options.downloadFolder);
    window->setArchive(options.layout, options.limits);
    window->setSyncOnLink(options.syncOnLink, start.settings.get());
    window->show();
    const int result = app.exec();
    window.reset();
    return result;
}
