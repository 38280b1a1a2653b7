#pragma once

#include "links/HidHandler.h"

#include <cstdint>

namespace veska {

class HidDevice;
class HidDeviceMonitor;

// 'Data' points at the bytes after the report ID and is valid only during the call.
using HidDataEvent =
    HidHandler<void(HidDevice& HidDev, std::uint8_t ReportID, const std::uint8_t* Data, std::uint16_t Size)>;
// 'Error' is an errno value.
using HidDataErrorEvent = HidHandler<void(HidDevice& HidDev, std::uint32_t Error)>;
using HidPlugEvent = HidHandler<void(HidDevice& HidDev)>;
// Answer true to go on with the next device.
using HidEnumerateEvent = HidHandler<bool(HidDevice& HidDev, int Idx)>;
using HidNotifyEvent = HidHandler<void(HidDeviceMonitor& Sender)>;

}  // namespace veska
