#pragma once

#include <cstdint>
#include <string>

namespace veska {

// The meter's bytes are handled as upper-case hex text, two digits per byte.
inline void appendHexByte(std::string& out, std::uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0x0F]);
}

inline char lowHexDigit(std::uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return kDigits[byte & 0x0F];
}

}  // namespace veska
