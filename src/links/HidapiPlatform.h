#pragma once

#include "links/HidPlatform.h"
#include "links/HidapiHandle.h"

#include <map>
#include <memory>
#include <mutex>

namespace veska {

class UdevMonitor;

// Real HID devices through hidapi (hidraw), with device-change notices from udev.
// Without HID support on the machine it lists no devices and reports no failure.
class HidapiPlatform : public HidPlatform {
public:
    HidapiPlatform();
    ~HidapiPlatform() override;

    bool available() const override { return m_initialised; }
    std::vector<HidInterfaceInfo> enumerate() override;
    std::unique_ptr<HidHandle> open(const std::string& path, Access access, int& error) override;
    void setDeviceChangeHandler(std::function<void()> onChange) override;

private:
    static HidapiHandle::Record describe(const ::hid_device_info& info);
    static std::string identityOf(const std::string& path);
    static std::string portPathOf(const std::string& path);

    bool m_initialised = false;
    std::mutex m_mutex;  // hidapi keeps its last error in shared state
    std::map<std::string, HidapiHandle::Record> m_records;
    std::function<void()> m_onChange;
    std::unique_ptr<UdevMonitor> m_monitor;
};

}  // namespace veska
