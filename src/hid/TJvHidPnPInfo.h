#pragma once

#include <string>

namespace veska {

// Where a device is found: the interface path every handle opens, and the identity by
// which a later scan recognises the same plugged device.
class TJvHidPnPInfo {
public:
    TJvHidPnPInfo(std::string interfacePath, std::string deviceInstance, std::string portPath = {})
        : InterfacePath(std::move(interfacePath)), DeviceInstance(std::move(deviceInstance)),
          PortPath(std::move(portPath)) {}

    std::string InterfacePath;
    std::string DeviceInstance;
    // The USB port the device sits in: two identical cables without serial numbers differ
    // only here, and a cable plugged back into the same port is the same cable.
    std::string PortPath;
};

}  // namespace veska
