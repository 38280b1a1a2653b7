#include "links/HidReportDescriptor.h"

#include <algorithm>
#include <map>

namespace veska {

namespace {
struct Globals {
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

std::uint32_t itemValue(const std::vector<std::uint8_t>& d, std::size_t at, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i) value |= std::uint32_t(d[at + i]) << (8 * i);
    return value;
}
}  // namespace

HidReportDescriptor HidReportDescriptor::parse(const std::vector<std::uint8_t>& d) {
    HidReportDescriptor result;
    Globals globals;
    std::vector<Globals> stack;
    std::map<std::uint32_t, std::uint64_t> inputBits;  // per report ID
    std::size_t at = 0;
    while (at < d.size()) {
        const std::uint8_t prefix = d[at];
        if (prefix == 0xFE) {  // long item: data size, tag, data
            if (at + 1 >= d.size()) break;
            at += 3 + d[at + 1];
            continue;
        }
        const std::size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (at + 1 + size > d.size()) break;
        const std::uint32_t value = itemValue(d, at + 1, size);
        const int type = (prefix >> 2) & 3;
        const int tag = prefix >> 4;
        if (type == 1) {  // global
            if (tag == 7) globals.reportSize = value;
            if (tag == 8) {
                globals.reportId = value;
                result.m_usesReportIds = true;
            }
            if (tag == 9) globals.reportCount = value;
            if (tag == 10) stack.push_back(globals);
            if (tag == 11 && !stack.empty()) {
                globals = stack.back();
                stack.pop_back();
            }
        } else if (type == 0 && tag == 8) {  // main: Input
            inputBits[globals.reportId] += std::uint64_t(globals.reportSize) * globals.reportCount;
        }
        at += 1 + size;
    }
    std::uint64_t longest = 0;
    for (const auto& [id, bits] : inputBits) longest = std::max(longest, (bits + 7) / 8);
    result.m_inputReportByteLength = inputBits.empty() ? 0 : static_cast<std::size_t>(longest) + 1;
    return result;
}

}  // namespace veska
