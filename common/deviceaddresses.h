#pragma once

#include "deviceconfig.h"

#include <string>

namespace merro {

struct Endpoint
{
    std::string host; // dotted IPv4 address
    unsigned short port = 0;

    bool operator==(const Endpoint& other) const
    {
        return host == other.host && port == other.port;
    }
    bool operator!=(const Endpoint& other) const { return !(*this == other); }
    // "HOST:PORT"
    std::string text() const { return host + ':' + std::to_string(port); }
};

// Where the device's units and camera are. The compiled-in addresses unless
// the start-up chose others (command line, settings); set before any window
// or thread exists and only read afterwards.
struct DeviceAddresses
{
    Endpoint control{kControlHost, kUnitPort};
    Endpoint ground{kGroundHost, kUnitPort};
    Endpoint camera{kCameraHost, kCameraPort};
};

inline DeviceAddresses& deviceAddresses()
{
    static DeviceAddresses addresses;
    return addresses;
}

} // namespace merro
