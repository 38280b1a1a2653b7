#include "links/SimulatedHidHandle.h"

#include <algorithm>
#include <cerrno>

namespace veska {

SimulatedHidHandle::SimulatedHidHandle(std::shared_ptr<SimulatedHidDevice> device, HidPlatform::Access access)
    : m_device(std::move(device)), m_access(access) {}

bool SimulatedHidHandle::attributes(HidAttributes& out) {
    if (!m_device->spec().identifiable) {
        m_error = EIO;
        return false;
    }
    out = m_device->attributes();
    return true;
}

bool SimulatedHidHandle::capabilities(HidCaps& out) {
    out.inputReportByteLength = m_device->spec().inputReportLength;
    return true;
}

bool SimulatedHidHandle::writeString(const std::u16string& text, std::vector<char16_t>& buffer) {
    const std::size_t n = std::min(text.size(), buffer.size());
    std::copy_n(text.begin(), n, buffer.begin());
    if (n < buffer.size()) buffer[n] = 0;
    return true;
}

bool SimulatedHidHandle::productString(std::vector<char16_t>& buffer) {
    return writeString(m_device->spec().product, buffer);
}

bool SimulatedHidHandle::serialNumberString(std::vector<char16_t>& buffer) {
    return writeString(m_device->spec().serial, buffer);
}

bool SimulatedHidHandle::indexedString(int index, std::vector<char16_t>& buffer) {
    if (index == 0) return writeString(u"\u0409", buffer);  // US English only
    if (index == 3) return writeString(m_device->spec().serial, buffer);
    m_error = EINVAL;
    return false;
}

bool SimulatedHidHandle::sendFeatureReport(const std::uint8_t* data, std::size_t length) {
    if (m_access != HidPlatform::Access::ReadWrite) {
        m_error = EBADF;
        return false;
    }
    return m_device->sendFeatureReport(data, length, m_error);
}

int SimulatedHidHandle::readReport(std::uint8_t* buffer, std::size_t length, int timeoutMs) {
    if (m_access == HidPlatform::Access::QueryOnly) {
        m_error = EBADF;
        return -1;
    }
    return m_device->read(buffer, length, timeoutMs, m_error);
}

}  // namespace veska
