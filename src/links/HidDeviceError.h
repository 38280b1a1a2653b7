#pragma once

#include <stdexcept>
#include <string>

namespace veska {

// Failures of the HID link's constructors: a device that cannot be opened or
// identified, or a second device controller.
class HidDeviceError : public std::runtime_error {
public:
    explicit HidDeviceError(const std::string& message);
};

}  // namespace veska
