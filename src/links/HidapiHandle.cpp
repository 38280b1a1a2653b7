#include "links/HidapiHandle.h"

#include <hidapi.h>

#include <algorithm>
#include <cerrno>

namespace veska {

HidapiHandle::HidapiHandle(hid_device_* device, Record record) : m_device(device), m_record(std::move(record)) {}

HidapiHandle::~HidapiHandle() {
    if (m_device) hid_close(m_device);
}

bool HidapiHandle::attributes(HidAttributes& out) {
    out = m_record.attributes;
    return true;
}

bool HidapiHandle::capabilities(HidCaps& out) {
    out = m_record.caps;
    return m_record.caps.inputReportByteLength > 0;
}

bool HidapiHandle::writeString(const std::u16string& text, std::vector<char16_t>& buffer) {
    const std::size_t n = std::min(text.size(), buffer.size());
    std::copy_n(text.begin(), n, buffer.begin());
    if (n < buffer.size()) buffer[n] = 0;
    return true;
}

bool HidapiHandle::productString(std::vector<char16_t>& buffer) { return writeString(m_record.product, buffer); }

bool HidapiHandle::serialNumberString(std::vector<char16_t>& buffer) { return writeString(m_record.serial, buffer); }

bool HidapiHandle::indexedString(int index, std::vector<char16_t>& buffer) {
    // hidraw does not expose string 0. The kernel reads every string in the device's
    // first language, which is US English on practically every device; a serial number
    // that merely echoes that table is then still recognised.
    if (index == 0) return writeString(u"\u0409", buffer);
    m_error = ENOSYS;
    return false;
}

bool HidapiHandle::sendFeatureReport(const std::uint8_t* data, std::size_t length) {
    if (!m_device) {
        m_error = EBADF;
        return false;
    }
    errno = 0;
    if (hid_send_feature_report(m_device, data, length) < 0) {
        noteFailure();
        return false;
    }
    return true;
}

int HidapiHandle::readReport(std::uint8_t* buffer, std::size_t length, int timeoutMs) {
    if (!m_device || length < 2) {
        m_error = m_device ? EMSGSIZE : EBADF;
        return -1;
    }
    errno = 0;
    if (m_record.numberedReports) {
        const int n = hid_read_timeout(m_device, buffer, length, timeoutMs);
        if (n < 0) noteFailure();
        return n;
    }
    buffer[0] = 0;  // unnumbered: the report ID the rest of the link expects
    const int n = hid_read_timeout(m_device, buffer + 1, length - 1, timeoutMs);
    if (n < 0) noteFailure();
    return n > 0 ? n + 1 : n;
}

void HidapiHandle::noteFailure() { m_error = errno != 0 ? errno : EIO; }

}  // namespace veska
