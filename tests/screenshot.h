#pragma once

#include <QDir>
#include <QString>
#include <QWidget>

// Saves a picture of the widget under the build tree, for a person to look at.
inline QString saveScreenshot(QWidget* widget, const QString& name)
{
    const QString dir = qEnvironmentVariable("MERRO_SCREENSHOT_DIR", QStringLiteral("."));
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    widget->grab().save(path);
    return path;
}
