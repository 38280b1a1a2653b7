#pragma once

#include <string>

namespace veska {

// Where a device is found: the interface path every handle opens, and the identity by
// which a later scan recognises the same plugged device.
class TJvHidPnPInfo {
public:
    TJvHidPnPInfo(std::string interfacePath, std::string deviceInstance)
        : InterfacePath(std::move(interfacePath)), DeviceInstance(std::move(deviceInstance)) {}

    std::string InterfacePath;
    std::string DeviceInstance;
};

}  // namespace veska
