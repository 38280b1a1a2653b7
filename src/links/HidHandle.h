#pragma once

#include "links/HidTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace veska {

// One open handle on a HID interface. Strings are written the way the HID class driver
// writes them: UTF-16 units into a buffer of a given number of units, zero-terminated
// when shorter. Every call may fail; errorCode() then tells why (an errno value).
class HidHandle {
public:
    virtual ~HidHandle() = default;

    virtual bool attributes(HidAttributes& out) = 0;
    virtual bool capabilities(HidCaps& out) = 0;
    virtual bool productString(std::vector<char16_t>& buffer) = 0;
    virtual bool serialNumberString(std::vector<char16_t>& buffer) = 0;
    // Index 0 is the device's language table.
    virtual bool indexedString(int index, std::vector<char16_t>& buffer) = 0;
    // 'data[0]' is the report ID (0 for a device without numbered reports).
    virtual bool sendFeatureReport(const std::uint8_t* data, std::size_t length) = 0;
    // Waits up to 'timeoutMs' for one input report and writes it with the report ID
    // first. Result: the byte count, 0 when nothing came, -1 on failure.
    virtual int readReport(std::uint8_t* buffer, std::size_t length, int timeoutMs) = 0;
    virtual int errorCode() const = 0;
};

}  // namespace veska
