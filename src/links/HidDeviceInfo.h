#pragma once

#include <QString>

#include <cstdint>

namespace veska {

// What the Info command shows about the selected device.
struct HidDeviceInfo {
    QString caption;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t version = 0;
    QString serialNumber;
    bool readWrite = false;
    QString path;

    // Several lines of "Name: value".
    QString toText() const;
};

}  // namespace veska
