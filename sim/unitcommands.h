#pragma once

#include "commandwords.h"

#include <QByteArray>
#include <QList>
#include <QVector>

class UnitServer;

// "control ..." and "ground ..." (all the words): empty when done, the reason
// otherwise.
QByteArray unitCommand(UnitServer* unit, const QList<QByteArray>& words);
QVector<HelpEntry> unitCommandHelp();
