#include "ui/AnalogGauge.h"
#include "ui/GaugeFace.h"
#include "ui/GaugeGeometry.h"

#include "protocol/LcdState.h"
#include "protocol/MeterReading.h"
#include "protocol/ScaleSet.h"
#include "session/AlarmLimits.h"
#include "session/NeedlePosition.h"

#include <QCheckBox>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace veska;

namespace {

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kRed = qRgb(255, 0, 0);

// Centre of scale dot j on a dial of 'span' label steps.
QPoint dotCentre(const GaugeGeometry& g, int j, int span) {
    return g.pointAt(g.R + 3.0F, g.angleAt(static_cast<double>(j) / (10 * span))) + QPoint(1, 1);
}

}  // namespace

TEST(GaugeGeometry, StartUpPanel) {
    const GaugeGeometry g = GaugeGeometry::forPanel(319, 139);
    EXPECT_FLOAT_EQ(g.w, 279.0F);
    EXPECT_FLOAT_EQ(g.h, 79.0F);
    EXPECT_NEAR(g.R, 162.67, 0.01);
    EXPECT_NEAR(g.A, 118.10, 0.01);
    EXPECT_NEAR(g.B, 30.95, 0.01);
    // The arc runs through the chord ends.
    EXPECT_EQ(g.pointAt(g.R, g.angleAt(0.0)), QPoint(20, 109));
    EXPECT_EQ(g.pointAt(g.R, g.angleAt(1.0)), QPoint(299, 109));
    EXPECT_EQ(g.pointAt(g.R, g.angleAt(0.5)).y(), 30);
}

TEST(GaugeGeometry, NeedleEndsOnScaleSix) {
    const GaugeGeometry g = GaugeGeometry::forPanel(319, 139);
    struct Case {
        int position;
        QPoint tip;
    };
    // Zero and full scale sit on the arc's ends (4 px inside the circle); 1300 runs past.
    const std::vector<Case> cases{{0, {20, 113}}, {600, {160, 34}}, {1200, {299, 113}}, {1300, {311, 138}}};
    for (const Case& c : cases) {
        EXPECT_EQ(g.needleAt(c.position, 120).tip, c.tip) << c.position;
        EXPECT_EQ(g.needleAt(c.position, 120).base.y(), 389) << c.position;
    }
    // At zero the needle stands upright.
    EXPECT_EQ(g.needleAt(600, 120).base.x(), 160);
}

TEST(GaugeGeometry, PercentScaleLabels) {
    std::vector<int> steps;
    std::vector<std::string> texts;
    for (const GaugeLabel& label : GaugeGeometry::labelsFor(ScaleCode::Percent)) {
        steps.push_back(label.step);
        texts.emplace_back(label.text);
    }
    EXPECT_EQ(steps, (std::vector<int>{0, 5, 10, 15, 20}));
    EXPECT_EQ(texts, (std::vector<std::string>{"-100", "-50", "0", "50", "100"}));
}

TEST(AnalogGauge, NeedleDrawnUprightAtZero) {
    AnalogGauge gauge;
    gauge.setScaleSet(scaleSet(ScaleCode::Count6000));
    gauge.drawFace();
    gauge.drawNeedle(gauge.gaugeOffset());
    EXPECT_EQ(gauge.needleTip(), QPoint(160, 34));
    EXPECT_EQ(gauge.needleBase(), QPoint(160, 389));
    for (int y : {34, 80, 138}) EXPECT_EQ(gauge.faceImage().pixel(160, y), kBlack) << y;

    // Moving the needle erases the old one.
    gauge.drawNeedle(1200);
    EXPECT_EQ(gauge.faceImage().pixel(160, 80), qRgb(255, 255, 255));
}

TEST(AnalogGauge, DotsBeyondSwitchedOnLimitAreRed) {
    AnalogGauge gauge;
    gauge.setScaleSet(scaleSet(ScaleCode::Count6000));
    gauge.setLimitMarks(3000.0F, true, -6000.0F, false);
    gauge.drawFace();
    EXPECT_FALSE(GaugeFace::dotIsRed(gauge.faceSpec(), 900));
    EXPECT_TRUE(GaugeFace::dotIsRed(gauge.faceSpec(), 901));

    const GaugeGeometry g = GaugeGeometry::forPanel(319, 139);
    // Neighbouring dots overlap by a few pixels, so look a little way either side.
    EXPECT_EQ(gauge.faceImage().pixel(dotCentre(g, 880, 120)), kBlack);
    EXPECT_EQ(gauge.faceImage().pixel(dotCentre(g, 901, 120)), kRed);
    EXPECT_EQ(gauge.faceImage().pixel(dotCentre(g, 1200, 120)), kRed);

    gauge.setLimitMarks(3000.0F, false, -6000.0F, false);
    gauge.drawFace();
    EXPECT_EQ(gauge.faceImage().pixel(dotCentre(g, 901, 120)), kBlack);
    EXPECT_EQ(gauge.faceImage().pixel(dotCentre(g, 1200, 120)), kBlack);
}

// A dot is red exactly when a reading whose needle stands at that dot raises the alarm,
// on every scale and at every dot position.
TEST(GaugeFace, RedDotsFollowTheAlarmRuleOnEveryScale) {
    struct Case {
        const char* code;
        float upper;
        float lower;
    };
    const Case cases[] = {
        {"4", 1500.0F, -2000.0F}, {"34", 3000.0F, -10.0F},  {"6", 3000.0F, -6000.0F}, {"6", 0.0F, 0.0F},
        {"10", 5000.0F, -250.0F}, {"10", 1000.0F, 990.0F},  {"1", 500.0F, -500.0F},   {"13", 900.0F, -1000.0F},
        {"13", 253.0F, 20.0F},    {"13", -5.0F, -900.0F},
    };
    for (const Case& c : cases) {
        const ScaleSet& scale = *findScaleSet(c.code);
        SCOPED_TRACE(std::string(c.code) + " " + std::to_string(c.upper) + " " + std::to_string(c.lower));
        AlarmLimits limits;
        limits.setUpper(c.upper);
        limits.setLower(c.lower);
        limits.setUpperOn(true);
        limits.setLowerOn(true);
        AnalogGauge gauge;
        gauge.setScaleSet(scale);
        gauge.setLimitMarks(c.upper, true, c.lower, true);
        const GaugeFaceSpec spec = gauge.faceSpec();
        int red = 0;
        for (int j = 0; j <= 10 * scale.gaugeSpan; ++j) {
            const int value = (j - scale.gaugeOffset) * scale.countsPerNeedleStep();
            if (std::abs(value) <= 9999) {
                // The display of that value puts the needle on this very dot.
                char digits[16];
                std::snprintf(digits, sizeof digits, "%04d", std::abs(value));
                LcdState lcd;
                lcd.digit1 = std::string(1, digits[0]);
                lcd.digit2 = std::string(1, digits[1]);
                lcd.digit3 = std::string(1, digits[2]);
                lcd.digit4 = std::string(1, digits[3]);
                lcd.negative = value < 0;
                ASSERT_EQ(needlePosition(lcd, scale.gaugeOffset, scale.gaugeSpan, scale.code == ScaleCode::Temperature), j);
            }
            const bool alarm = limits.isExceededBy(static_cast<float>(value));
            ASSERT_EQ(GaugeFace::dotIsRed(spec, j), alarm) << "dot " << j << " reading " << value;
            red += alarm ? 1 : 0;
        }
        EXPECT_GT(red, 0);
        EXPECT_LT(red, 10 * scale.gaugeSpan + 1);
    }
}

// The dials whose zero sits at a tenth of their count keep their dots where they were.
TEST(GaugeFace, FullScaleDialsKeepTheirDots) {
    for (const char* code : {"4", "34", "6"}) {
        const ScaleSet& scale = *findScaleSet(code);
        AnalogGauge gauge;
        gauge.setScaleSet(scale);
        gauge.setLimitMarks(1234.0F, true, -2345.0F, true);
        for (int j = 0; j <= 10 * scale.gaugeSpan; ++j) {
            const double mark = (j - scale.fullScaleCount / 10.0) * 10.0;
            EXPECT_EQ(GaugeFace::dotIsRed(gauge.faceSpec(), j), mark > 1234.0 || mark < -2345.0) << code << " " << j;
        }
    }
}

TEST(AnalogGauge, FaceIsReusedWhileNothingChanges) {
    AnalogGauge gauge;
    gauge.setScaleSet(scaleSet(ScaleCode::Count6000));
    gauge.drawFace();
    const qint64 first = gauge.faceImage().cacheKey();
    gauge.drawFace();
    EXPECT_EQ(gauge.faceImage().cacheKey(), first);
    gauge.setLimitMarks(6002.0F, false, -6000.0F, true);  // a different face
    gauge.drawFace();
    EXPECT_NE(gauge.faceImage().cacheKey(), first);
}

TEST(AnalogGauge, ShowReadingDrawsTheScaleAndNeedle) {
    AnalogGauge gauge;
    gauge.showReading(scaleSet(ScaleCode::Count6000), 477);
    EXPECT_EQ(gauge.needleTip(), GaugeGeometry::forPanel(319, 139).needleAt(477, 120).tip);

    gauge.showReading(scaleSet(ScaleCode::Frequency), 1000);
    EXPECT_EQ(gauge.scaleCode(), ScaleCode::Frequency);
    EXPECT_EQ(gauge.fullScaleCount(), 1000);
    EXPECT_EQ(gauge.gaugeSpan(), 200);
    EXPECT_EQ(gauge.barMax(), 100);
    EXPECT_EQ(gauge.needleTip(), GaugeGeometry::forPanel(319, 139).needleAt(1000, 200).tip);
}
