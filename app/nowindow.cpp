#include "windowstart.h"

#include "startoptions.h"

#include <QCoreApplication>

#include <cstdio>

int runWindow(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // A wrong value is told as in every build, before what this one lacks.
    if (readToolStart().refusal.isEmpty())
        std::fprintf(stderr, "merro-download: this build has no window; run it with --sync"
                             " (see --help).\n");
    return 2;
}
