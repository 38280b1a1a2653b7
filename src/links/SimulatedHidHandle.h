#pragma once

#include "links/HidHandle.h"
#include "links/HidPlatform.h"
#include "links/SimulatedHidDevice.h"

#include <memory>

namespace veska {

// An open handle on a simulated device. It keeps answering from the device's record
// after an unplug, except reads and feature reports, which then fail.
class SimulatedHidHandle : public HidHandle {
public:
    SimulatedHidHandle(std::shared_ptr<SimulatedHidDevice> device, HidPlatform::Access access);

    bool attributes(HidAttributes& out) override;
    bool capabilities(HidCaps& out) override;
    bool productString(std::vector<char16_t>& buffer) override;
    bool serialNumberString(std::vector<char16_t>& buffer) override;
    bool indexedString(int index, std::vector<char16_t>& buffer) override;
    bool sendFeatureReport(const std::uint8_t* data, std::size_t length) override;
    int readReport(std::uint8_t* buffer, std::size_t length, int timeoutMs) override;
    int errorCode() const override { return m_error; }

private:
    static bool writeString(const std::u16string& text, std::vector<char16_t>& buffer);

    std::shared_ptr<SimulatedHidDevice> m_device;
    HidPlatform::Access m_access;
    int m_error = 0;
};

}  // namespace veska
