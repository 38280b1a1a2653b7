#pragma once

#include "links/HidEvents.h"
#include "links/HidPlatform.h"

#include <atomic>
#include <memory>
#include <vector>

namespace veska {

class HidDevice;
class HidPnPInfo;

// Knows which HID interfaces are present: one device object per interface in scan
// order, rescanned at every device-change notice, with arrival and removal reported as
// events. Hands devices out to the application (claiming); the application hands them
// back by destroying them. A program makes one (it follows the platform's device-change
// notices) and hands it to every session that reads USB; everything runs on the UI thread.
class HidDeviceMonitor {
public:
    // Scans at once.
    explicit HidDeviceMonitor(std::shared_ptr<HidPlatform> platform);
    ~HidDeviceMonitor();
    HidDeviceMonitor(const HidDeviceMonitor&) = delete;
    HidDeviceMonitor& operator=(const HidDeviceMonitor&) = delete;

    // Rescans and reports: unplug handler and OnRemoval per vanished device (last listed
    // first), OnArrival per new device, then OnDeviceChange when anything changed.
    void rescan();
    // Calls OnEnumerate for each plugged device until it answers false; the count of
    // devices visited.
    int enumerateDevices();
    // The device at 'index', now claimed and owned by the caller; null when the index
    // is out of range or the device is already claimed.
    std::unique_ptr<HidDevice> claimByIndex(int index);

    // Fresh, unclaimed device objects, one per present interface.
    std::vector<HidDevice*> scanDevices();
    const std::vector<HidDevice*>& devices() const { return m_devices; }

    int readSleepTime() const { return m_devThreadSleepTime; }
    void setReadSleepTime(int ms);
    const HidPlugEvent& arrivalHandler() const { return m_onArrival; }
    void setArrivalHandler(HidPlugEvent handler) { m_onArrival = std::move(handler); }
    const HidEnumerateEvent& enumerateHandler() const { return m_onEnumerate; }
    void setEnumerateHandler(HidEnumerateEvent handler) { m_onEnumerate = std::move(handler); }
    const HidNotifyEvent& deviceChangeHandler() const { return m_onDeviceChange; }
    // A new handler is told at once, even when nothing changed.
    void setDeviceChangeHandler(HidNotifyEvent handler);
    const HidDataEvent& deviceDataHandler() const { return m_onDeviceData; }
    void setDeviceDataHandler(HidDataEvent handler);
    const HidDataErrorEvent& deviceDataErrorHandler() const { return m_onDeviceDataError; }
    void setDeviceDataErrorHandler(HidDataErrorEvent handler);
    const HidPlugEvent& deviceUnplugHandler() const { return m_onDeviceUnplug; }
    void setDeviceUnplugHandler(HidPlugEvent handler);
    const HidPlugEvent& removalHandler() const { return m_onRemoval; }
    void setRemovalHandler(HidPlugEvent handler) { m_onRemoval = std::move(handler); }

    const std::shared_ptr<HidPlatform>& platform() const { return m_platform; }

private:
    friend class HidDevice;

    void removalPass(const std::vector<HidDevice*>& fresh, bool& changed);
    void arrivalPass(std::vector<HidDevice*>& fresh, bool& changed);
    void dropDevice(HidDevice* device);
    int indexOf(const HidDevice* device) const;
    // Called by a device being destroyed.
    void handBack(HidDevice& device, std::unique_ptr<HidPnPInfo> info, bool plugged,
                  const HidDataEvent& data, const HidDataErrorEvent& dataError,
                  const HidPlugEvent& unplug, int readSleepMs);

    std::shared_ptr<HidPlatform> m_platform;
    int m_devThreadSleepTime = 100;
    HidPlugEvent m_onArrival;
    HidEnumerateEvent m_onEnumerate;
    HidNotifyEvent m_onDeviceChange;
    HidDataEvent m_onDeviceData;
    HidDataErrorEvent m_onDeviceDataError;
    HidPlugEvent m_onDeviceUnplug;
    HidPlugEvent m_onRemoval;
    bool m_firstChangeDone = false;
    std::vector<HidDevice*> m_devices;  // owns the unclaimed ones
};

}  // namespace veska
