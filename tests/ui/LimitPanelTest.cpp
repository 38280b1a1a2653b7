#include "ui/LcdLabel.h"
#include "ui/LimitPanel.h"


#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QApplication>
#include <QFocusEvent>
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
        QObject::connect(&panel, &LimitPanel::upperLimitEdited, [this](float v, bool on) {
            upper = v;
            upperOn = on;
            ++upperEdits;
        });
        QObject::connect(&panel, &LimitPanel::lowerLimitEdited, [this](float v, bool) { lower = v; });
    }

    // Ends the edit as a user does: Enter, or the focus leaving the field.
    static void finishEdit(QLineEdit* field, bool withEnter) {
        if (withEnter) {
            QTest::keyClick(field, Qt::Key_Return);
        } else {
            QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
            QApplication::sendEvent(field, &out);
        }
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

// Key by key: each text that reads as a number is in force at once; one that does not is
// told once when the edit ends, never while typing, and the field then shows the limit in
// force again.
TEST_F(Limits, TypingAppliesValidTextsAndTellsABadOneOnceWhenTheEditEnds) {
    struct Step {
        const char* typed;      // typed into the emptied field, key by key
        bool finishWithEnter;   // else focus leaves
        float limit;            // in force after the edit
        const char* fieldText;  // shown after the edit
        const char* error;      // told when the edit ends, or nothing
    };
    const Step steps[] = {
        {"12", true, 12.0F, "12", nullptr},
        {"12-3", true, 12.0F, "12", "'12-3' is not a valid integer value"},
        {"--5", false, 0.0F, "0", "'--5' is not a valid integer value"},  // "-" was 0 on the way
        {"+150", false, 150.0F, "+150", nullptr},
        {"+-", true, 0.0F, "0", "'+-' is not a valid integer value"},
        {"99999999999", false, 999999999.0F, "999999999", "'99999999999' is not a valid integer value"},
        {"-6000", true, -6000.0F, "-6000", nullptr},
    };
    QLineEdit* field = panel.upperLimitField();
    for (const Step& st : steps) {
        SCOPED_TRACE(st.typed);
        errors.clear();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, QString::fromLatin1(st.typed));
        EXPECT_TRUE(errors.empty()) << "told while typing";
        finishEdit(field, st.finishWithEnter);
        ASSERT_TRUE(upper.has_value());
        EXPECT_EQ(*upper, st.limit);
        EXPECT_EQ(field->text(), QString::fromLatin1(st.fieldText));
        if (st.error == nullptr) {
            EXPECT_TRUE(errors.empty());
        } else {
            EXPECT_EQ(errors, (std::vector<QString>{QString::fromLatin1(st.error)}));
        }
    }

    // The switch goes out with the limit in force.
    errors.clear();
    const int edits = upperEdits;
    panel.upperLimitSwitch()->setChecked(true);
    EXPECT_EQ(upperEdits, edits + 1);
    EXPECT_TRUE(upperOn);
    EXPECT_EQ(*upper, -6000.0F);
    EXPECT_TRUE(errors.empty());

    // The lower field behaves alike.
    panel.lowerLimitField()->setText("7");
    panel.lowerLimitField()->setText("+-");
    finishEdit(panel.lowerLimitField(), true);
    EXPECT_EQ(*lower, 7.0F);
    EXPECT_EQ(panel.lowerLimitField()->text(), "7");
    EXPECT_EQ(errors, (std::vector<QString>{"'+-' is not a valid integer value"}));
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
