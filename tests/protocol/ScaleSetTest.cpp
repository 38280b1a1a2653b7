#include "protocol/ScaleSet.h"

#include <gtest/gtest.h>

using namespace veska;

TEST(ScaleSet, RowsAndSeeds) {
    struct Row {
        const char* code;
        int full, offset, bar, span;
        float upper, lower, runMax, runMin;
    };
    const Row rows[] = {
        {"4", 4000, 400, 40, 80, 4002.0F, -4002.0F, -4001.0F, 4001.0F},
        {"6", 6000, 600, 60, 120, 6002.0F, -6002.0F, -6001.0F, 6001.0F},
        {"34", 3400, 340, 34, 68, 3402.0F, -3402.0F, -3401.0F, 3401.0F},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.code);
        const ScaleSet* s = findScaleSet(r.code);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->fullScaleCount, r.full);
        EXPECT_EQ(s->gaugeOffset, r.offset);
        EXPECT_EQ(s->barMax, r.bar);
        EXPECT_EQ(s->gaugeSpan, r.span);
        EXPECT_EQ(s->upperLimitSeed(), r.upper);
        EXPECT_EQ(s->lowerLimitSeed(), r.lower);
        EXPECT_EQ(s->runningMaxSeed(), r.runMax);
        EXPECT_EQ(s->runningMinSeed(), r.runMin);
    }
    EXPECT_EQ(findScaleSet("7"), nullptr);
}

TEST(ScaleSet, ChosenByUnit) {
    for (const char* hertz : {"Hz", "kHz", "MHz"}) EXPECT_EQ(scaleSetForUnit(hertz).code, ScaleCode::Frequency) << hertz;
    EXPECT_EQ(scaleSetForUnit("%").code, ScaleCode::Percent);
    EXPECT_EQ(scaleSetForUnit("#").code, ScaleCode::Temperature);
    EXPECT_EQ(scaleSetForUnit("?").code, ScaleCode::Temperature);
    EXPECT_EQ(scaleSetForUnit("V").code, ScaleCode::Count6000);
    EXPECT_EQ(scaleSetForUnit("").code, ScaleCode::Count6000);
    EXPECT_EQ(scaleSetForUnit("Hz").barMaximum, 100);
    EXPECT_EQ(scaleSetForUnit("%").barMaximum, 10);
    EXPECT_EQ(scaleSetForUnit("k*").barMaximum, 60);
}
