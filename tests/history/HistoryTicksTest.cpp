#include "history/HistoryTicks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace veska {
namespace {

std::vector<std::string> labels(const std::vector<HistoryTick>& ticks) {
    std::vector<std::string> out;
    for (const HistoryTick& t : ticks) out.push_back(t.label);
    return out;
}

TEST(HistoryTicks, ValuesCarryOnePrefixPerAxis) {
    struct Case {
        double minimum, maximum;
        const char* unit;
        std::vector<std::string> want;
    };
    const std::vector<Case> cases{
        {0.0, 0.0011, "V", {"0.0 mV", "0.2 mV", "0.4 mV", "0.6 mV", "0.8 mV", "1.0 mV"}},
        {-0.5, 1.0, "V", {"-0.5 V", "0.0 V", "0.5 V", "1.0 V"}},
        {-0.5, 0.9, "V", {"-500 mV", "0 mV", "500 mV"}},
        {4000, 5000, "Ω", {"4.0 kΩ", "4.2 kΩ", "4.4 kΩ", "4.6 kΩ", "4.8 kΩ", "5.0 kΩ"}},
        {0, 2.5e6, "Ω", {"0.0 MΩ", "0.5 MΩ", "1.0 MΩ", "1.5 MΩ", "2.0 MΩ", "2.5 MΩ"}},
        {20, 30, "°C", {"20 °C", "22 °C", "24 °C", "26 °C", "28 °C", "30 °C"}},
    };
    for (const Case& c : cases) EXPECT_EQ(labels(HistoryTicks::valueTicks(c.minimum, c.maximum, 6, c.unit)), c.want);
    EXPECT_EQ(HistoryTicks::formatValue(4698, "Ω"), "4.698 kΩ");
    EXPECT_EQ(HistoryTicks::formatValue(-0.0123, "V"), "-12.3 mV");
    EXPECT_EQ(HistoryTicks::formatValue(0.000012, "A"), "12 µA");
    EXPECT_EQ(HistoryTicks::formatValue(0.25, "V/s"), "250 mV/s");
}

TEST(HistoryTicks, TimeStepsGoFromMillisecondsToDays) {
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(HistoryTicks::timeStep(8, 8), 1);
    EXPECT_EQ(HistoryTicks::timeStep(9000, 8), 2000);
    EXPECT_EQ(HistoryTicks::timeStep(7'200'000, 8), 900'000);
    EXPECT_EQ(HistoryTicks::timeStep(30LL * 86'400'000, 8), 604'800'000);
    const std::int64_t noon = 1'796'904'000'000;  // 2026-12-10T12:00:00Z (a whole hour)
    EXPECT_EQ(labels(HistoryTicks::timeTicks(noon + 1, noon + 3, 4, true)),
              (std::vector<std::string>{"12:00:00.001", "12:00:00.002", "12:00:00.003"}));
    EXPECT_EQ(labels(HistoryTicks::timeTicks(noon - 1, noon + 3'600'000, 3, true)),
              (std::vector<std::string>{"12:00", "12:30", "13:00"}));
    EXPECT_EQ(labels(HistoryTicks::timeTicks(0, 3 * 86'400'000LL, 3, false)),
              (std::vector<std::string>{"day 1", "day 2", "day 3", "day 4"}));
    EXPECT_EQ(HistoryTicks::formatMoment(noon + 250, true), "2026-12-10 12:00:00.250");
    EXPECT_EQ(HistoryTicks::formatMoment(86'400'000LL + 5000, false), "day 2 00:00:05.000");
    unsetenv("TZ");
    tzset();
}

TEST(HistoryTicks, Durations) {
    EXPECT_EQ(HistoryTicks::formatDuration(250), "250 ms");
    EXPECT_EQ(HistoryTicks::formatDuration(12'345), "12.345 s");
    EXPECT_EQ(HistoryTicks::formatDuration(245'250), "4 min 05.250 s");
    EXPECT_EQ(HistoryTicks::formatDuration(-(3 * 3'600'000LL + 12 * 60'000 + 5000)), "-3 h 12 min 05 s");
    EXPECT_EQ(HistoryTicks::formatDuration(2 * 86'400'000LL + 3 * 3'600'000LL), "2 d 03 h 00 min");
}

}  // namespace
}  // namespace veska
