#pragma once

#include "runreport.h"

#include <QObject>
#include <QString>

// A check of the archive without a window (merro-download --verify): every
// recording the download journal names as held is hashed again and compared
// with the checksum taken while it arrived. Exit 0 when all hold, 1 when
// any is missing or changed (or the check was stopped).
class VerifyRun : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString folder = QStringLiteral("DCIM/");
        bool json = false;
    };

    explicit VerifyRun(const Options& options, QObject* parent = nullptr);

    int run();

private:
    Options options;
    RunReport report;
};
