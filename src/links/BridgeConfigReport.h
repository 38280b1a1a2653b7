#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace veska {

// The feature report that sets the USB bridge's bit rate: report ID 0, the rate as
// unsigned 32 bits least significant byte first, 0x03, then zeros.
class BridgeConfigReport {
public:
    using Bytes = std::array<std::uint8_t, 10>;

    static Bytes build(std::uint32_t bitsPerSecond);
    // Bytes 1 to 9 as "60 09 00 00 03 00 00 00 00 " (a blank after each pair).
    static QString logLine(const Bytes& report);
};

}  // namespace veska
