#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace veska {

// The line settings the serial driver publishes, in the order of their ordinals.
enum class ComPortNumber { Com1, Com2, Com3, Com4 };
enum class ComPortBaudRate {
    Baud110, Baud300, Baud600, Baud1200, Baud2400, Baud4800, Baud9600, Baud14400,
    Baud19200, Baud38400, Baud56000, Baud57600, Baud115200
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
