#pragma once

#include <QObject>
#include <QString>

class ControlClientThread;
class GroundClientThread;

// The link to the device's two units as the window makes it, for a run
// without a window: a probe of the ground unit, then of the control unit,
// then both channels, which keep the link and say whether it is alive.
class DeviceLink : public QObject
{
    Q_OBJECT

public:
    explicit DeviceLink(QObject* parent = nullptr);
    ~DeviceLink() override;

    // Whether a unit accepts a connection within timeoutMs.
    static bool unitAnswers(const QString& host, int port, int timeoutMs);
    // False when a unit did not answer its probe; the channels run otherwise.
    bool link();

signals:
    // From the control channel, whenever the unit's state changes.
    void linkChanged(bool up);

private:
    ControlClientThread* control = nullptr;
    GroundClientThread* ground = nullptr;
    bool up = false;
};
