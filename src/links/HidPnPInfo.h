#pragma once

#include <string>

namespace veska {

// Where a device is found: the interface path every handle opens, and the identity by
// which a later scan recognises the same plugged device.
class HidPnPInfo {
public:
    HidPnPInfo(std::string interfacePath, std::string deviceInstance, std::string portPath = {})
        : interfacePath(std::move(interfacePath)), deviceInstance(std::move(deviceInstance)),
          portPath(std::move(portPath)) {}

    std::string interfacePath;
    std::string deviceInstance;
    // The USB port the device sits in: two identical cables without serial numbers differ
    // only here, and a cable plugged back into the same port is the same cable.
    std::string portPath;
};

}  // namespace veska
