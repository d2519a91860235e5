#include "mainwindow.h"
#include "platformsocket.h"

#include <QApplication>
#include <QIcon>

#include <memory>

int main(int argc, char** argv)
{
    if (merro::net::startup() != 0)
        return -1;

    QApplication app(argc, argv);
    // On the heap: the window carries its fixed name and row tables (~330 KB).
    auto window = std::make_unique<MainWindow>();
    window->setWindowTitle(QStringLiteral("MERRO-DownLoad"));
    window->setWindowIcon(QIcon(QStringLiteral(":/Images/appicon.png")));
    window->show();
    const int result = app.exec();
    window.reset();
    return result;
}
