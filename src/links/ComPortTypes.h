#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace veska {

// The line settings the serial driver publishes, in the order of their ordinals.
enum class ComPortNumber { pnCOM1, pnCOM2, pnCOM3, pnCOM4 };
enum class ComPortBaudRate {
    br110, br300, br600, br1200, br2400, br4800, br9600, br14400,
    br19200, br38400, br56000, br57600, br115200
};

inline constexpr int kComPortCount = 4;

inline constexpr std::int32_t baudRateValue(ComPortBaudRate rate) {
    constexpr std::array<std::int32_t, 13> kBaud{110,   300,   600,   1200,  2400,  4800,  9600,
                                                 14400, 19200, 38400, 56000, 57600, 115200};
    return kBaud[static_cast<std::size_t>(rate)];
}

inline constexpr int portIndex(ComPortNumber port) { return static_cast<int>(port); }

// 1..4 for COM1..COM4.
inline constexpr int portNumber(ComPortNumber port) { return portIndex(port) + 1; }

inline constexpr std::optional<ComPortNumber> portFromNumber(int number) {
    if (number < 1 || number > kComPortCount) return std::nullopt;
    return static_cast<ComPortNumber>(number - 1);
}

}  // namespace veska
