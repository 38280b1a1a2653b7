#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace veska {

// What the input reports of a HID report descriptor look like: whether reports are
// numbered, and the longest one in bytes with the report ID byte (0 when unnumbered).
class HidReportDescriptor {
public:
    static HidReportDescriptor parse(const std::vector<std::uint8_t>& descriptor);

    bool usesReportIds() const { return m_usesReportIds; }
    std::size_t inputReportByteLength() const { return m_inputReportByteLength; }

private:
    bool m_usesReportIds = false;
    std::size_t m_inputReportByteLength = 0;
};

}  // namespace veska
