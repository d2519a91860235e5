#include "mainwindow.h"
#include "platformsocket.h"
#include "startoptions.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSettings>

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    if (merro::net::startup() != 0)
        return -1;

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("merro"));
    QApplication::setApplicationName(QStringLiteral("merro-download"));
    QApplication::setApplicationVersion(QStringLiteral(MERRO_VERSION));
    // A file, in the user's usual place for them, on every platform.
    QSettings settings(QSettings::IniFormat, QSettings::UserScope,
                       QApplication::organizationName(), QApplication::applicationName());
    StartOptions options;
    QString message;
    if (readStartOptions(QApplication::arguments(), settings, &options, &message)
        == StartChoice::Refused) {
        std::fprintf(stderr, "merro-download: %s\n", qPrintable(message));
        // Nobody would see a box without a screen; it would only wait for ever.
        if (QApplication::platformName() != QLatin1String("offscreen")
            && QApplication::platformName() != QLatin1String("minimal"))
            QMessageBox::critical(nullptr, QStringLiteral("MERRO-DownLoad"), message);
        return 2;
    }
    merro::deviceAddresses() = options.addresses;

    // On the heap: the window carries its fixed name and row tables (~330 KB).
    auto window = std::make_unique<MainWindow>();
    window->setWindowTitle(QStringLiteral("MERRO-DownLoad"));
    window->setWindowIcon(QIcon(QStringLiteral(":/Images/appicon.png")));
    window->setDownloadFolder(options.downloadFolder);
    window->show();
    const int result = app.exec();
    window.reset();
    return result;
}
