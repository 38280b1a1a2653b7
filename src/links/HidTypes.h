#pragma once

#include <cstdint>
#include <string>

namespace veska {

// The identification record of a HID interface, read once when its object is made.
struct HidAttributes {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;
};

// What the system needs of a HID interface's capabilities.
struct HidCaps {
    // Longest input report in bytes, the report ID byte included (also for devices
    // without numbered reports, where that byte is 0).
    std::uint16_t inputReportByteLength = 0;
};

// One present HID interface as a scan lists it.
struct HidInterfaceInfo {
    std::string path;      // what every handle is opened on
    std::string identity;  // the same while the device stays plugged; new for a new plug-in
    std::string portPath;  // the USB port it is plugged into ("1-1.2"); empty when unknown
    HidAttributes attributes;
};

}  // namespace veska
