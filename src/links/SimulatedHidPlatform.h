#pragma once

#include "links/HidPlatform.h"
#include "links/SimulatedHidDevice.h"

#include <QObject>

#include <memory>
#include <mutex>
#include <vector>

namespace veska {

// HID devices that exist only in this process: plugged and unplugged on command, each
// change announced on the UI thread as a real device change would be.
class SimulatedHidPlatform : public HidPlatform {
public:
    SimulatedHidPlatform();
    ~SimulatedHidPlatform() override;

    // The meter's "USB to Serial" cable.
    static SimulatedHidDevice::Spec bridge();
    // Any other HID device (a keyboard, say): never sends reports.
    static SimulatedHidDevice::Spec otherDevice(std::u16string product);

    std::shared_ptr<SimulatedHidDevice> plug(SimulatedHidDevice::Spec spec = bridge());
    void unplug(const std::shared_ptr<SimulatedHidDevice>& device);
    // Makes the platform unusable, as a system without HID support would be.
    void setAvailable(bool available) { m_available = available; }

    bool available() const override { return m_available; }
    std::vector<HidInterfaceInfo> enumerate() override;
    std::unique_ptr<HidHandle> open(const std::string& path, Access access, int& error) override;
    void setDeviceChangeHandler(std::function<void()> onChange) override;

private:
    void announceChange();

    bool m_available = true;
    mutable std::mutex m_mutex;  // readers open handles from their own threads
    std::vector<std::shared_ptr<SimulatedHidDevice>> m_devices;
    int m_nextNumber = 1;
    std::function<void()> m_onChange;
    QObject m_noticeContext;  // queued notices die with the platform
};

}  // namespace veska
