#pragma once

#include "commandwords.h"

#include <QByteArray>
#include <QList>
#include <QVector>

class CameraServer;

// "camera ..." (all the words): empty when done, the reason otherwise.
QByteArray cameraCommand(CameraServer* camera, const QList<QByteArray>& words);
// The camera's commands, then its fault modes.
QVector<HelpEntry> cameraCommandHelp();
QVector<HelpEntry> faultModeHelp();
