#include "protocol/ReadingStatistics.h"
#include "protocol/SiQuantity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace veska;

namespace {

void Add(ReadingStatistics& stats, const char* value, const char* unit, const char* time) {
    stats.add(SiQuantity::fromDisplay(value, unit), time);
}

}  // namespace

// 2, 4, 4, 4, 5, 5, 7, 9: mean 5, population deviation 2, sample deviation sqrt(32/7).
TEST(ReadingStatistics, TextbookSet) {
    ReadingStatistics stats;
    const char* values[] = {"2.000", "4.000", "4.000", "4.000", "5.000", "5.000", "7.000", "9.000"};
    int t = 0;
    for (const char* v : values) Add(stats, v, "V", std::to_string(++t).c_str());
    ASSERT_EQ(stats.units().size(), 1U);
    const ReadingStatistics::Unit& v = stats.units()[0];
    EXPECT_EQ(v.baseUnit, "V");
    EXPECT_EQ(v.count, 8U);
    EXPECT_EQ(v.overloads, 0U);
    EXPECT_EQ(v.minimum(), 2.0);
    EXPECT_EQ(v.maximum(), 9.0);
    EXPECT_DOUBLE_EQ(*v.mean(), 5.0);
    EXPECT_DOUBLE_EQ(*v.standardDeviation(), std::sqrt(32.0 / 7.0));
    EXPECT_EQ(v.firstTime, "1");
    EXPECT_EQ(v.lastTime, "8");
    EXPECT_EQ(stats.unreadable(), 0U);
}

TEST(ReadingStatistics, SingleRowHasNoDeviation) {
    ReadingStatistics stats;
    Add(stats, "-01.23", "mV", "14:05:09");
    const ReadingStatistics::Unit* v = stats.find("V");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->count, 1U);
    EXPECT_EQ(v->minimum(), -0.00123);
    EXPECT_EQ(v->maximum(), -0.00123);
    EXPECT_EQ(v->mean(), -0.00123);
    EXPECT_FALSE(v->standardDeviation().has_value());
    EXPECT_EQ(v->firstTime, "14:05:09");
    EXPECT_EQ(v->lastTime, "14:05:09");
}

TEST(ReadingStatistics, AllOverloadRunHasCountsButNoValues) {
    ReadingStatistics stats;
    Add(stats, ".0L", "M*", "t1");
    Add(stats, "0.L", "k*", "t2");
    Add(stats, "0L", "*", "t3");
    ASSERT_EQ(stats.units().size(), 1U);
    const ReadingStatistics::Unit& ohm = stats.units()[0];
    EXPECT_EQ(ohm.baseUnit, "Ω");
    EXPECT_EQ(ohm.count, 0U);
    EXPECT_EQ(ohm.overloads, 3U);
    EXPECT_FALSE(ohm.minimum().has_value());
    EXPECT_FALSE(ohm.maximum().has_value());
    EXPECT_FALSE(ohm.mean().has_value());
    EXPECT_FALSE(ohm.standardDeviation().has_value());
    EXPECT_EQ(ohm.firstTime, "t1");
    EXPECT_EQ(ohm.lastTime, "t3");
}

// Auto-ranging between mV and V is one group; other units keep their own, in the order
// they first came; what cannot be read is only counted.
TEST(ReadingStatistics, MixedUnits) {
    ReadingStatistics stats;
    Add(stats, "500.0", "mV", "t1");
    Add(stats, "025.0", "#", "t2");
    Add(stats, "1.500", "V", "t3");
    Add(stats, ".0L", "mV", "t4");
    Add(stats, "1.000", "xy", "t5");
    Add(stats, "1.2.3", "V", "t6");
    Add(stats, "077.0", "?", "t7");
    Add(stats, "027.0", "#", "t8");
    Add(stats, "2.000", "k*", "t9");

    ASSERT_EQ(stats.units().size(), 4U);
    EXPECT_EQ(stats.units()[0].baseUnit, "V");
    EXPECT_EQ(stats.units()[1].baseUnit, "°C");
    EXPECT_EQ(stats.units()[2].baseUnit, "°F");
    EXPECT_EQ(stats.units()[3].baseUnit, "Ω");
    EXPECT_EQ(stats.unreadable(), 2U);

    const ReadingStatistics::Unit& volt = stats.units()[0];
    EXPECT_EQ(volt.count, 2U);
    EXPECT_EQ(volt.overloads, 1U);
    EXPECT_EQ(volt.minimum(), 0.5);
    EXPECT_EQ(volt.maximum(), 1.5);
    EXPECT_DOUBLE_EQ(*volt.mean(), 1.0);
    EXPECT_DOUBLE_EQ(*volt.standardDeviation(), std::sqrt(0.5));
    EXPECT_EQ(volt.firstTime, "t1");
    EXPECT_EQ(volt.lastTime, "t4");  // the overload is the group's last reading

    const ReadingStatistics::Unit* celsius = stats.find("°C");
    ASSERT_NE(celsius, nullptr);
    EXPECT_EQ(celsius->count, 2U);
    EXPECT_DOUBLE_EQ(*celsius->mean(), 26.0);
    EXPECT_EQ(celsius->firstTime, "t2");
    EXPECT_EQ(celsius->lastTime, "t8");
    EXPECT_EQ(stats.find("Ω")->mean(), 2000.0);
    EXPECT_EQ(stats.find("A"), nullptr);

    stats.clear();
    EXPECT_TRUE(stats.units().empty());
    EXPECT_EQ(stats.unreadable(), 0U);
}

// A large offset with a small spread: summing squares would lose the spread entirely.
TEST(ReadingStatistics, LargeOffsetKeepsTheSpread) {
    ReadingStatistics stats;
    for (int i = 0; i < 250000; ++i) {
        for (const char* v : {"1000000004", "1000000007", "1000000013", "1000000016"}) Add(stats, v, "", "t");
    }
    const ReadingStatistics::Unit& u = stats.units()[0];
    EXPECT_EQ(u.count, 1000000U);
    EXPECT_NEAR(*u.mean(), 1000000010.0, 1e-6);
    // Sample deviation of the four values repeated: sqrt(90 * n / (4 * (n - 1))).
    EXPECT_NEAR(*u.standardDeviation(), std::sqrt(90.0 * 1e6 / (4.0 * (1e6 - 1))), 1e-6);
}

// AC and DC readings of one unit are apart: DC 1.2 V and 6 V, AC 230 V are two groups, not
// one with a mean of 79 V. Readings without a coupling (Ω) form their own group.
TEST(ReadingStatistics, AcAndDcStayApart) {
    ReadingStatistics stats;
    stats.add(SiQuantity::fromDisplay("1.200", "V"), "DC", "t1");
    stats.add(SiQuantity::fromDisplay("230.0", "V"), "AC", "t2");
    stats.add(SiQuantity::fromDisplay("6.000", "V"), "DC", "t3");
    stats.add(SiQuantity::fromDisplay("1.000", "k*"), "", "t4");
    std::string coupling = "AC";  // the group keeps no view into the caller's text
    stats.add(SiQuantity::fromDisplay("231.0", "V"), coupling, "t5");
    coupling = "XX";
    ASSERT_EQ(stats.units().size(), 3U);
    const ReadingStatistics::Unit* dc = stats.find("V", "DC");
    const ReadingStatistics::Unit* ac = stats.find("V", "AC");
    ASSERT_NE(dc, nullptr);
    ASSERT_NE(ac, nullptr);
    EXPECT_DOUBLE_EQ(*dc->mean(), 3.6);
    EXPECT_EQ(ac->count, 2U);
    EXPECT_DOUBLE_EQ(*ac->mean(), 230.5);
    EXPECT_EQ(ac->coupling, "AC");
    EXPECT_EQ(stats.find("V"), nullptr);
    EXPECT_NE(stats.find("Ω"), nullptr);
}
