#pragma once

#include "hid/HidEvents.h"
#include "hid/HidPlatform.h"

#include <atomic>
#include <memory>
#include <vector>

namespace veska {

class TJvHidDevice;
class TJvHidPnPInfo;

// Knows which HID interfaces are present: one device object per interface in scan
// order, rescanned at every device-change notice, with arrival and removal reported as
// events. Hands devices out to the application (claiming); the application hands them
// back by destroying them. One per program; everything runs on the UI thread.
class TJvHidDeviceController {
public:
    // Scans at once. Throws EControllerError when another controller exists.
    explicit TJvHidDeviceController(std::shared_ptr<HidPlatform> platform);
    ~TJvHidDeviceController();
    TJvHidDeviceController(const TJvHidDeviceController&) = delete;
    TJvHidDeviceController& operator=(const TJvHidDeviceController&) = delete;

    // Rescans and reports: unplug handler and OnRemoval per vanished device (last listed
    // first), OnArrival per new device, then OnDeviceChange when anything changed.
    void DeviceChange();
    // Calls OnEnumerate for each plugged device until it answers false; the count of
    // devices visited.
    int EnumerateDevices();
    // The device at 'index', now claimed and owned by the caller; null when the index
    // is out of range or the device is already claimed.
    std::unique_ptr<TJvHidDevice> ClaimByIndex(int index);

    // Fresh, unclaimed device objects, one per present interface.
    std::vector<TJvHidDevice*> ScanDevices();
    const std::vector<TJvHidDevice*>& Devices() const { return m_devices; }

    int DevThreadSleepTime() const { return m_devThreadSleepTime; }
    void SetDevThreadSleepTime(int ms);
    const TJvHidPlugEvent& OnArrival() const { return m_onArrival; }
    void SetOnArrival(TJvHidPlugEvent handler) { m_onArrival = std::move(handler); }
    const TJvHidEnumerateEvent& OnEnumerate() const { return m_onEnumerate; }
    void SetOnEnumerate(TJvHidEnumerateEvent handler) { m_onEnumerate = std::move(handler); }
    const TJvHidNotifyEvent& OnDeviceChange() const { return m_onDeviceChange; }
    // A new handler is told at once, even when nothing changed.
    void SetOnDeviceChange(TJvHidNotifyEvent handler);
    const TJvHidDataEvent& OnDeviceData() const { return m_onDeviceData; }
    void SetOnDeviceData(TJvHidDataEvent handler);
    const TJvHidDataErrorEvent& OnDeviceDataError() const { return m_onDeviceDataError; }
    void SetOnDeviceDataError(TJvHidDataErrorEvent handler);
    const TJvHidPlugEvent& OnDeviceUnplug() const { return m_onDeviceUnplug; }
    void SetOnDeviceUnplug(TJvHidPlugEvent handler);
    const TJvHidPlugEvent& OnRemoval() const { return m_onRemoval; }
    void SetOnRemoval(TJvHidPlugEvent handler) { m_onRemoval = std::move(handler); }

    const std::shared_ptr<HidPlatform>& platform() const { return m_platform; }

private:
    friend class TJvHidDevice;

    void removalPass(const std::vector<TJvHidDevice*>& fresh, bool& changed);
    void arrivalPass(std::vector<TJvHidDevice*>& fresh, bool& changed);
    void dropDevice(TJvHidDevice* device);
    int indexOf(const TJvHidDevice* device) const;
    // Called by a device being destroyed.
    void handBack(TJvHidDevice& device, std::unique_ptr<TJvHidPnPInfo> info, bool plugged,
                  const TJvHidDataEvent& data, const TJvHidDataErrorEvent& dataError,
                  const TJvHidPlugEvent& unplug, int readSleepMs);

    static std::atomic<int> s_controllers;

    std::shared_ptr<HidPlatform> m_platform;
    int m_devThreadSleepTime = 100;
    TJvHidPlugEvent m_onArrival;
    TJvHidEnumerateEvent m_onEnumerate;
    TJvHidNotifyEvent m_onDeviceChange;
    TJvHidDataEvent m_onDeviceData;
    TJvHidDataErrorEvent m_onDeviceDataError;
    TJvHidPlugEvent m_onDeviceUnplug;
    TJvHidPlugEvent m_onRemoval;
    bool m_firstChangeDone = false;
    std::vector<TJvHidDevice*> m_devices;  // owns the unclaimed ones
};

}  // namespace veska
