#pragma once

#include "links/HidHandle.h"

#include <string>

struct hid_device_;
struct hid_device_info;

namespace veska {

// A handle of the hidapi platform. A query-only handle needs no access to the device
// node: it answers from what the last scan found. Reads give the report ID first, also
// for devices without numbered reports (then 0), as the rest of the link expects.
class HidapiHandle : public HidHandle {
public:
    struct Record {
        HidAttributes attributes;
        std::u16string product;
        std::u16string serial;
        HidCaps caps;
        bool numberedReports = false;
    };

    // 'device' may be null for a query-only handle; the handle closes it.
    HidapiHandle(hid_device_* device, Record record);
    ~HidapiHandle() override;
    HidapiHandle(const HidapiHandle&) = delete;
    HidapiHandle& operator=(const HidapiHandle&) = delete;

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
    void noteFailure();

    hid_device_* m_device;
    Record m_record;
    int m_error = 0;
};

}  // namespace veska
