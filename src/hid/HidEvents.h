#pragma once

#include "hid/HidHandler.h"

#include <cstdint>

namespace veska {

class TJvHidDevice;
class TJvHidDeviceController;

// 'Data' points at the bytes after the report ID and is valid only during the call.
using TJvHidDataEvent =
    HidHandler<void(TJvHidDevice& HidDev, std::uint8_t ReportID, const std::uint8_t* Data, std::uint16_t Size)>;
// 'Error' is an errno value.
using TJvHidDataErrorEvent = HidHandler<void(TJvHidDevice& HidDev, std::uint32_t Error)>;
using TJvHidPlugEvent = HidHandler<void(TJvHidDevice& HidDev)>;
// Answer true to go on with the next device.
using TJvHidEnumerateEvent = HidHandler<bool(TJvHidDevice& HidDev, int Idx)>;
using TJvHidNotifyEvent = HidHandler<void(TJvHidDeviceController& Sender)>;

}  // namespace veska
