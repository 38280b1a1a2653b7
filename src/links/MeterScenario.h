#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace veska {

// What a simulated meter is doing at one step of its scenario.
enum class MeterSituation {
    DcVoltageAuto,   // a drifting DC voltage, automatic ranging
    RangeChange,     // the voltage climbs past full scale and the range steps up
    AcVoltage,
    ResistanceKilo,
    ResistanceMega,
    Overload,        // open leads on the resistance range
    Temperature,
    Frequency,       // Hz, then kHz
    Hold,
    Rel,             // relative mV readings around zero, with a minus sign
    BrokenPacket,    // a byte lost on the line, or a status byte equal to the end byte
};

// The packets a simulated meter sends, step by step: a pure function of the step number,
// so the same scenario feeds the pseudo-terminal simulator, tests and benchmarks.
//
// A packet is sent as the meter does: sign, four ASCII digits, 0x20, point code, four
// status bytes, an unused byte, the end byte 0x0D and a line feed 0x0A. The line feed is
// the byte the framing drops after each end byte.
class MeterScenario {
public:
    static constexpr std::size_t kPacketSize = 14;

    struct Step {
        std::vector<std::uint8_t> bytes;
        MeterSituation situation = MeterSituation::DcVoltageAuto;
        bool broken = false;  // bytes do not form an acceptable packet
    };

    // 'seed' varies the noise on the readings; the situations stay in the same order.
    explicit MeterScenario(std::uint64_t seed = 0) : m_seed(seed) {}

    Step step(std::uint64_t n) const;

    // Steps after which the situations repeat.
    static std::uint64_t cycleLength();

    static const char* situationName(MeterSituation situation);

    // One well-formed packet. 'digits' holds four characters; status bytes in order 1..4.
    static std::vector<std::uint8_t> makePacket(char sign, std::string_view digits, char pointCode,
                                                std::array<std::uint8_t, 4> status);

private:
    std::uint64_t noise(std::uint64_t n) const;

    std::uint64_t m_seed;
};

}  // namespace veska
