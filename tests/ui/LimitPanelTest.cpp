#include "ui/LcdLabel.h"
#include "ui/LimitPanel.h"


#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace veska;

namespace {

// The limit panel alone: what its fields and switches hand on, and what it shows.
struct Limits : ::testing::Test {
    LimitPanel panel;
    std::vector<QString> errors;
    std::optional<float> upper;
    std::optional<float> lower;
    bool upperOn = false;
    int upperEdits = 0;

    Limits() {
        QObject::connect(&panel, &LimitPanel::limitTextInvalid, [this](const QString& m) { errors.push_back(m); });
        QObject::connect(&panel, &LimitPanel::upperLimitEdited, [this](std::optional<float> v, bool on) {
            upper = v;
            upperOn = on;
            ++upperEdits;
        });
        QObject::connect(&panel, &LimitPanel::lowerLimitEdited, [this](std::optional<float> v, bool) { lower = v; });
    }
};

}  // namespace

TEST_F(Limits, LimitTexts) {
    struct Case {
        const char* text;
        float limit;
    };
    for (const Case& c : std::vector<Case>{{"150", 150.0F}, {"", 0.0F}, {"-", 0.0F}, {"+", 0.0F}, {"+150", 150.0F}, {"-20", -20.0F}}) {
        panel.upperLimitField()->setText(c.text);
        ASSERT_TRUE(upper.has_value()) << c.text;
        EXPECT_EQ(*upper, c.limit) << c.text;
    }
    panel.upperLimitSwitch()->setChecked(true);
    EXPECT_TRUE(upperOn);
    EXPECT_TRUE(errors.empty());
}

TEST_F(Limits, BadLimitTextReportedOnce) {
    panel.upperLimitField()->setText("12-3");
    EXPECT_FALSE(upper.has_value());
    EXPECT_EQ(errors, (std::vector<QString>{"'12-3' is not a valid integer value"}));

    const int edits = upperEdits;
    panel.upperLimitSwitch()->setChecked(true);  // re-reads the same text: no second message
    EXPECT_EQ(errors.size(), 1U);
    EXPECT_EQ(upperEdits, edits + 1);  // the switch still goes out
    EXPECT_TRUE(upperOn);

    panel.upperLimitField()->setText("--5");
    EXPECT_EQ(errors.size(), 2U);
    panel.lowerLimitField()->setText("+-");
    EXPECT_EQ(errors.back(), "'+-' is not a valid integer value");
    EXPECT_FALSE(lower.has_value());
}

TEST_F(Limits, LimitFieldsTakeDigitsAndSignsOnly) {
    panel.upperLimitField()->clear();
    QTest::keyClicks(panel.upperLimitField(), "a+1.5-x");
    EXPECT_EQ(panel.upperLimitField()->text(), "+15-");
}

TEST_F(Limits, ShowsExtremesUnderTheUnit) {
    panel.showExtremes("0150", "0080", "uA");
    EXPECT_EQ(panel.maxReadout()->text(), "0150");
    EXPECT_EQ(panel.minReadout()->text(), "0080");
    EXPECT_EQ(panel.maxUnitReadout()->text(), "+A");  // micro in the symbol font
    EXPECT_EQ(panel.maxUnitReadout()->toolTip(), "\u00B5A");
    EXPECT_EQ(panel.minUnitReadout()->text(), panel.maxUnitReadout()->text());
}
