#pragma once

#include "links/HidHandler.h"

#include <cstdint>

namespace veska {

class HidDevice;
class HidDeviceMonitor;

// 'Data' points at the bytes after the report ID and is valid only during the call.
using HidDataEvent =
    HidHandler<void(HidDevice& device, std::uint8_t reportId, const std::uint8_t* data, std::uint16_t size)>;
// 'Error' is an errno value.
using HidDataErrorEvent = HidHandler<void(HidDevice& device, std::uint32_t error)>;
using HidPlugEvent = HidHandler<void(HidDevice& device)>;
// Answer true to go on with the next device.
using HidEnumerateEvent = HidHandler<bool(HidDevice& device, int index)>;
using HidNotifyEvent = HidHandler<void(HidDeviceMonitor& monitor)>;

}  // namespace veska
