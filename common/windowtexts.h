#pragma once

#include <QCoreApplication>

// Texts the user sees that code outside the window composes (the download
// queue, the card engine, a sync without a window): looked up in the window's
// catalogue context, so that one catalogue holds every text of the tool.
struct WindowTexts
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)
};
