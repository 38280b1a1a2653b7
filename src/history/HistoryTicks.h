#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veska {

struct HistoryTick {
    double at = 0.0;    // a value in the base unit, or a moment in ms
    std::string label;  // UTF-8
};

// Axis ticks and readouts of the History view: values with SI prefixes (mV, kΩ, MHz), times
// from milliseconds to days in local wall-clock time (or day N and time of day when the
// date is unknown).
class HistoryTicks {
public:
    // At most about `maxTicks` ticks at 1, 2 or 5 times a power of ten within [minimum, maximum],
    // labelled with one prefix for the whole axis: "0 mV", "500 mV", "1000 mV".
    static std::vector<HistoryTick> valueTicks(double minimum, double maximum, int maxTicks,
                                               std::string_view baseUnit);
    // "4.698 kΩ", "-12.3 mV", "25 °C": `significant` digits at most, trailing zeros dropped.
    static std::string formatValue(double value, std::string_view baseUnit, int significant = 5);

    // Ticks at round local times (every 1, 2, 5 ... ms up to days), at most about `maxTicks`.
    static std::vector<HistoryTick> timeTicks(std::int64_t fromMs, std::int64_t toMs, int maxTicks, bool dateKnown);
    // The step timeTicks() chooses.
    static std::int64_t timeStep(std::int64_t spanMs, int maxTicks);
    // "2026-12-10 14:03:05.123" (local) or "day 2 14:03:05.123" when the date is unknown.
    static std::string formatMoment(std::int64_t ms, bool dateKnown);
    // "250 ms", "12.345 s", "4 min 05.250 s", "3 h 12 min 05 s", "2 d 03 h 12 min".
    static std::string formatDuration(std::int64_t ms);
};

}  // namespace veska
