#include "display/AnalogGauge.h"
#include "display/LcdLabel.h"
#include "display/LimitPanel.h"

#include "protocol/LcdState.h"
#include "protocol/MeterReading.h"
#include "protocol/ScaleSet.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace veska;

namespace {

// Gauge and limit panel as start-up leaves them for the 6000-count meter.
struct Limits : ::testing::Test {
    AnalogGauge gauge;
    LimitPanel panel{gauge};
    int beeps = 0;
    int chartResets = 0;
    std::vector<QString> errors;

    Limits() {
        panel.setBeep([this] { ++beeps; });
        QObject::connect(&panel, &LimitPanel::chartResetRequested, [this] { ++chartResets; });
        QObject::connect(&panel, &LimitPanel::limitTextInvalid, [this](const QString& m) { errors.push_back(m); });
        const ScaleSet& six = *FindScaleSet("6");
        gauge.setScaleSet(six);
        panel.seedFromScale(six);
        panel.Setmax()->setText("6000");
        panel.SetMin()->setText("-6000");
        panel.MinText()->setText("6001");
        panel.MaxText()->setText("-6001");
    }

    bool alarm(float value) {
        MeterReading reading;
        reading.numericValue = value;
        return panel.CheckLimits(reading);
    }

    void peaks(const char* unit, int point, float value, const char* text) {
        LcdState lcd;
        lcd.pointIndex = point;
        MeterReading reading;
        reading.unitText = unit;
        reading.numericValue = value;
        reading.valueText = text;
        panel.TrackPeaks(lcd, reading);
    }
};

}  // namespace

TEST_F(Limits, StartUpValues) {
    EXPECT_EQ(panel.UpperLimit(), 6000.0F);
    EXPECT_EQ(panel.LowerLimit(), -6000.0F);
    EXPECT_EQ(panel.RunningMax(), -6001.0F);
    EXPECT_EQ(panel.RunningMin(), 6001.0F);
    EXPECT_EQ(panel.LastUnitText(), "113");
    EXPECT_TRUE(errors.empty());
}

TEST_F(Limits, AlarmOnlyBeyondSwitchedOnLimits) {
    EXPECT_FALSE(alarm(6001.0F));  // both boxes clear
    EXPECT_FALSE(alarm(-6001.0F));
    EXPECT_EQ(beeps, 0);

    panel.SetMaxB()->setChecked(true);
    EXPECT_FALSE(alarm(5999.0F));
    EXPECT_FALSE(alarm(6000.0F));  // strict comparison
    EXPECT_TRUE(gauge.oltext()->isHidden());
    EXPECT_TRUE(alarm(6001.0F));
    EXPECT_TRUE(alarm(6001.0F));  // beeps again with every packet
    EXPECT_EQ(beeps, 2);
    EXPECT_FALSE(gauge.oltext()->isHidden());
    EXPECT_EQ(gauge.oltext()->text(), "OL !!");
    EXPECT_FALSE(alarm(-6001.0F));
    EXPECT_TRUE(gauge.oltext()->isHidden());

    panel.SetMinB()->setChecked(true);
    EXPECT_TRUE(alarm(-6001.0F));
}

TEST_F(Limits, LimitTexts) {
    struct Case {
        const char* text;
        float limit;
    };
    for (const Case& c : std::vector<Case>{{"", 0.0F}, {"-", 0.0F}, {"+", 0.0F}, {"+150", 150.0F}, {"-20", -20.0F}}) {
        panel.Setmax()->setText(c.text);
        EXPECT_EQ(panel.UpperLimit(), c.limit) << c.text;
    }
    panel.SetMaxB()->setChecked(true);
    panel.Setmax()->setText("");
    EXPECT_TRUE(alarm(1.0F));
    EXPECT_TRUE(errors.empty());
}

TEST_F(Limits, BadLimitTextReportedOnceAndKeepsTheLimit) {
    panel.Setmax()->setText("150");
    const qint64 face = gauge.KD1().cacheKey();
    panel.Setmax()->setText("12-3");
    EXPECT_EQ(panel.UpperLimit(), 150.0F);
    EXPECT_EQ(errors, (std::vector<QString>{"'12-3' is not a valid integer value"}));
    EXPECT_EQ(gauge.KD1().cacheKey(), face);  // not redrawn

    panel.SetMaxB()->setChecked(true);  // re-reads the same text: no second message
    EXPECT_EQ(errors.size(), 1U);
    EXPECT_TRUE(gauge.faceSpec().upperOn);  // the box still reaches the dial

    panel.Setmax()->setText("--5");
    EXPECT_EQ(errors.size(), 2U);
    panel.SetMin()->setText("+-");
    EXPECT_EQ(errors.back(), "'+-' is not a valid integer value");
    EXPECT_EQ(panel.LowerLimit(), -6000.0F);
}

TEST_F(Limits, LimitFieldsTakeDigitsAndSignsOnly) {
    panel.Setmax()->clear();
    QTest::keyClicks(panel.Setmax(), "a+1.5-x");
    EXPECT_EQ(panel.Setmax()->text(), "+15-");
}

TEST_F(Limits, PeakSequences) {
    struct Step {
        const char* unit;
        int point;
        float value;
        const char* text;
        const char* maxText;  // MaxText, MinText after the step
        const char* minText;
        int chartResets;
    };
    const std::vector<Step> steps{
        {"V", 0, 120.0F, "0120", "", "", 1},        // first packet: reset, labels empty
        {"V", 0, 120.0F, "0120", "0120", "0120", 1},  // second sets both peaks
        {"V", 0, 80.0F, "0080", "0120", "0080", 1},
        {"V", 0, 150.0F, "0150", "0150", "0080", 1},
        {"V", 0, 150.0F, "150.", "150.", "0080", 1},  // a tie takes the newer text
        {"V", 3, 1999.0F, "199.9", "150.", "0080", 2},  // range change: reset, texts kept
        {"V", 3, 6001.0F, ".0L", ".0L", ".0L", 2},    // overload right after the reset
        {"mV", 3, 10.0F, "001.0", ".0L", ".0L", 3},   // unit change
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        peaks(s.unit, s.point, s.value, s.text);
        EXPECT_EQ(panel.MaxText()->text(), s.maxText) << "step " << i;
        EXPECT_EQ(panel.MinText()->text(), s.minText) << "step " << i;
        EXPECT_EQ(chartResets, s.chartResets) << "step " << i;
        EXPECT_EQ(panel.MaxTextU()->text(), panel.MinTextU()->text());
    }
    EXPECT_EQ(panel.RunningMax(), -6001.0F);  // reset on the unit change
    EXPECT_EQ(panel.MaxTextU()->text(), "mV");
    peaks("uA", 3, 1.0F, "000.1");
    EXPECT_EQ(panel.MaxTextU()->text(), "+A");  // micro in the symbol font
    EXPECT_EQ(panel.MaxTextU()->toolTip(), "\u00B5A");
}

TEST_F(Limits, ResetUsesTheScaleInForce) {
    gauge.setScaleSet(*FindScaleSet("10"));
    peaks("Hz", 2, 10.0F, "00.10");
    EXPECT_EQ(panel.RunningMax(), -1001.0F);
    EXPECT_EQ(panel.RunningMin(), 1001.0F);
}
