#include "links/MeterScenario.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace veska {

namespace {

// Status bits as the meter sets them.
constexpr std::uint8_t kAuto = 0x20, kDc = 0x10, kAc = 0x08, kRel = 0x04, kHold = 0x02;  // status 1
constexpr std::uint8_t kMilli = 0x40, kKilo = 0x20, kMega = 0x10;                         // status 3
constexpr std::uint8_t kVolt = 0x80, kOhm = 0x20, kHertz = 0x08, kCelsius = 0x02;         // status 4

using Step = MeterScenario::Step;

std::string fourDigits(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04d", std::abs(value) % 10000);
    return text;
}

int jitter(std::uint64_t noise, int spread) { return static_cast<int>(noise % static_cast<std::uint64_t>(2 * spread + 1)) - spread; }

Step Packet(MeterSituation situation, int count, char pointCode, std::array<std::uint8_t, 4> status) {
    const char sign = count < 0 ? '-' : '+';
    return Step{MeterScenario::makePacket(sign, fourDigits(count), pointCode, status), situation, false};
}

Step dcVoltage(int i, std::uint64_t h) {
    const int count = 1234 + static_cast<int>(std::lround(30.0 * std::sin(i * 0.3))) + jitter(h, 2);
    return Packet(MeterSituation::DcVoltageAuto, count, '1', {kAuto | kDc, 0, 0, kVolt});
}

// 5.850 V climbing past 5.999 V: the meter switches to the 60 V range (06.00 V).
Step rangeChange(int i, std::uint64_t h) {
    const int millivolts = 5850 + 30 * i + static_cast<int>(h % 3);
    if (millivolts < 6000) return Packet(MeterSituation::RangeChange, millivolts, '1', {kAuto | kDc, 0, 0, kVolt});
    return Packet(MeterSituation::RangeChange, millivolts / 10, '2', {kAuto | kDc, 0, 0, kVolt});
}

Step acVoltage(int, std::uint64_t h) {
    return Packet(MeterSituation::AcVoltage, 2301 + jitter(h, 4), '4', {kAuto | kAc, 0, 0, kVolt});
}

Step resistanceKilo(int, std::uint64_t h) {
    return Packet(MeterSituation::ResistanceKilo, 4700 + jitter(h, 3), '1', {kAuto, 0, kKilo, kOhm});
}

Step resistanceMega(int, std::uint64_t h) {
    return Packet(MeterSituation::ResistanceMega, 1203 + jitter(h, 2), '1', {kAuto, 0, kMega, kOhm});
}

// The overload display "0.L": the first digit byte is '?' (0x3F).
Step Overload(int, std::uint64_t) {
    return Step{MeterScenario::makePacket('+', "?0:?", '2', {kAuto, 0, kMega, kOhm}), MeterSituation::Overload, false};
}

Step Temperature(int i, std::uint64_t h) {
    return Packet(MeterSituation::Temperature, 235 + i / 3 + jitter(h, 1), '4', {0, 0, 0, kCelsius});
}

Step Frequency(int i, std::uint64_t h) {
    if (i < 6) return Packet(MeterSituation::Frequency, 5000 + jitter(h, 1), '2', {kAuto, 0, 0, kHertz});
    return Packet(MeterSituation::Frequency, 1000 + jitter(h, 1), '1', {kAuto, 0, kKilo, kHertz});
}

Step hold(int, std::uint64_t) { return Packet(MeterSituation::Hold, 1234, '1', {kDc | kHold, 0, 0, kVolt}); }

Step rel(int i, std::uint64_t h) {
    return Packet(MeterSituation::Rel, (i - 5) * 3 + jitter(h, 1), '4', {kDc | kRel, 0, kMilli, kVolt});
}

// A byte lost on the line: 13 bytes from the sign to the line feed.
Step lostByte(int, std::uint64_t) {
    std::vector<std::uint8_t> bytes = MeterScenario::makePacket('+', "1240", '1', {kAuto | kDc, 0, 0, kVolt});
    bytes.erase(bytes.begin() + 9);
    return Step{std::move(bytes), MeterSituation::BrokenPacket, true};
}

// A status byte equal to the end byte cuts the packet in two.
Step endByteInside(int, std::uint64_t) {
    return Step{MeterScenario::makePacket('+', "5000", '2', {kAuto, 0, 0x0D, kHertz}), MeterSituation::BrokenPacket,
                true};
}

struct Segment {
    int length;
    Step (*make)(int i, std::uint64_t noise);
};

constexpr Segment kSegments[] = {
    {24, dcVoltage}, {1, lostByte},   {10, rangeChange}, {8, acVoltage},      {10, resistanceKilo},
    {8, resistanceMega}, {5, Overload}, {10, Temperature}, {10, Frequency}, {1, endByteInside},
    {8, hold},        {10, rel},
};

}  // namespace

std::uint64_t MeterScenario::cycleLength() {
    std::uint64_t total = 0;
    for (const Segment& s : kSegments) total += static_cast<std::uint64_t>(s.length);
    return total;
}

MeterScenario::Step MeterScenario::step(std::uint64_t n) const {
    int i = static_cast<int>(n % cycleLength());
    for (const Segment& s : kSegments) {
        if (i < s.length) return s.make(i, noise(n));
        i -= s.length;
    }
    return dcVoltage(0, 0);  // not reached
}

std::uint64_t MeterScenario::noise(std::uint64_t n) const {
    // splitmix64: cheap, well mixed, the same on every platform.
    std::uint64_t z = n + m_seed * 0x9E3779B97F4A7C15ULL + 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::vector<std::uint8_t> MeterScenario::makePacket(char sign, std::string_view digits, char pointCode,
                                                    std::array<std::uint8_t, 4> status) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kPacketSize);
    bytes.push_back(static_cast<std::uint8_t>(sign));
    for (std::size_t k = 0; k < 4; ++k) bytes.push_back(static_cast<std::uint8_t>(k < digits.size() ? digits[k] : '0'));
    bytes.push_back(0x20);
    bytes.push_back(static_cast<std::uint8_t>(pointCode));
    bytes.insert(bytes.end(), status.begin(), status.end());
    bytes.push_back(0x00);
    bytes.push_back(0x0D);
    bytes.push_back(0x0A);
    return bytes;
}

const char* MeterScenario::situationName(MeterSituation situation) {
    switch (situation) {
    case MeterSituation::DcVoltageAuto: return "DC voltage, auto range";
    case MeterSituation::RangeChange: return "range change";
    case MeterSituation::AcVoltage: return "AC voltage";
    case MeterSituation::ResistanceKilo: return "resistance, kilo-ohm";
    case MeterSituation::ResistanceMega: return "resistance, mega-ohm";
    case MeterSituation::Overload: return "overload";
    case MeterSituation::Temperature: return "temperature";
    case MeterSituation::Frequency: return "frequency";
    case MeterSituation::Hold: return "HOLD";
    case MeterSituation::Rel: return "REL";
    case MeterSituation::BrokenPacket: return "broken packet";
    }
    return "";
}

}  // namespace veska
