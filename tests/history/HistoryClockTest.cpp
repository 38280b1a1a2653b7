#include "history/HistoryClock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <vector>

namespace veska {
namespace {

struct ClockRow {
    const char* timeOfDay;
    const char* utc;
};

std::vector<std::optional<std::int64_t>> momentsOf(const std::vector<ClockRow>& rows, HistoryClock& clock) {
    std::vector<std::optional<std::int64_t>> out;
    for (const ClockRow& r : rows) out.push_back(clock.moment({r.timeOfDay, r.utc, "DC", "1.000", "V"}));
    return out;
}

constexpr std::int64_t kHour = 3'600'000;

TEST(HistoryClock, OlderTablesCountTimesOfDayFromDayOneAndCrossMidnight) {
    HistoryClock clock;
    const auto moments = momentsOf({{"23:59:58", ""}, {"23:59:59", ""}, {"00:00:01", ""}, {"bad", ""},
                                    {"12:00:00", ""}, {"11:00:00", ""}},
                                   clock);
    EXPECT_FALSE(clock.dateKnown());
    EXPECT_EQ(moments[0], 23 * kHour + 59 * 60'000 + 58'000);
    EXPECT_EQ(moments[2], HistoryClock::kDayMs + 1000);  // day 2
    EXPECT_EQ(moments[3], std::nullopt);
    EXPECT_EQ(moments[4], HistoryClock::kDayMs + 12 * kHour);
    // Earlier than the row before: another midnight (the only reading a clock of days allows).
    EXPECT_EQ(moments[5], 2 * HistoryClock::kDayMs + 11 * kHour);
}

TEST(HistoryClock, UtcMomentsWinAndRestoredRowsTakeTheirLocalDate) {
    setenv("TZ", "UTC-1", 1);  // one hour east, no summer time
    tzset();
    HistoryClock clock;
    // 23:30 local on Dec 10 is 22:30 UTC; a restored row without UTC at 00:15 local is the next day.
    const auto moments = momentsOf({{"23:30:00", "2026-12-10T22:30:00.000Z"}, {"00:15:00", ""},
                                    {"00:16:00", "2026-12-10T23:16:00.250Z"}, {"00:10:00", "2026-12-10T23:10:00.000Z"}},
                                   clock);
    EXPECT_TRUE(clock.dateKnown());
    const std::int64_t first = *moments[0];
    EXPECT_EQ(*moments[1] - first, 45 * 60'000);
    EXPECT_EQ(*moments[2] - first, 46 * 60'000 + 250);
    // A clock set back: kept in order and counted.
    EXPECT_EQ(moments[3], moments[2]);
    EXPECT_EQ(clock.clockStepsBack(), 1);
    unsetenv("TZ");
    tzset();
}

TEST(HistoryClock, TimeOfDayTexts) {
    EXPECT_EQ(HistoryClock::parseTimeOfDay("00:00:00"), 0);
    EXPECT_EQ(HistoryClock::parseTimeOfDay("13:05:09.250"), (13 * 3600 + 5 * 60 + 9) * 1000 + 250);
    for (const char* bad : {"", "24:00:00", "12:60:00", "1:02:03", "12-00-00", "12:00:00.5"})
        EXPECT_EQ(HistoryClock::parseTimeOfDay(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace veska
