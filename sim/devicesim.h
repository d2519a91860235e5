#pragma once

#include "cameraserver.h"
#include "card.h"
#include "commandwords.h"
#include "unitserver.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <QVector>

struct Endpoint
{
    bool enabled = true;
    QHostAddress address;
    quint16 port = 0;
};

struct SimOptions
{
    QString card;
    Endpoint control;
    Endpoint ground;
    Endpoint camera;
    int interval = 1000;
    int versionInterval = 3000;
    int gap = 100;
    VersionValues version;
    int commandPort = -1; // none
    QStringList commands;
    bool exitOnEof = false;
};

// The whole device in one process: both units, the camera, and the command
// interface (standard input, and a line-based TCP port on 127.0.0.1 when
// asked for) through which tests switch faults during a run.
class DeviceSim : public QObject
{
    Q_OBJECT

public:
    explicit DeviceSim(const SimOptions& options, QObject* parent = nullptr);
    ~DeviceSim() override;

    // Starts every listener, runs the start-up commands and prints the ready
    // line; false (with the reason printed) when something cannot start.
    bool start();

    // One command line; the answer starts with "ok" or "error".
    QByteArray execute(const QByteArray& line);
    // Every command, for --help.
    static QVector<HelpEntry> commandHelp();

private:
    QByteArray stats() const;
    void onCommandConnection();
    QByteArray runAndLog(const QByteArray& line);

    SimOptions options;
    Card card;
    UnitServer control;
    UnitServer ground;
    CameraServer camera;
    QTcpServer commandServer;
};
