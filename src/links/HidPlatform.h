#pragma once

#include "links/HidHandle.h"
#include "links/HidTypes.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veska {

// The operating system's side of the HID link: which interfaces are present, opening
// them, and a notice when devices come or go. Used from the UI thread, except open()
// for reading and the handles' readReport(), which reader threads call.
class HidPlatform {
public:
    enum class Access { ReadWrite, Read, QueryOnly };

    virtual ~HidPlatform() = default;

    // False when the HID support could not be set up: no devices, no notices.
    virtual bool available() const = 0;
    virtual std::vector<HidInterfaceInfo> enumerate() = 0;
    // Null on failure, with 'error' set to an errno value.
    virtual std::unique_ptr<HidHandle> open(const std::string& path, Access access, int& error) = 0;
    // Called on the UI thread once per change notice; an empty function removes it.
    virtual void setDeviceChangeHandler(std::function<void()> onChange) = 0;
};

}  // namespace veska
