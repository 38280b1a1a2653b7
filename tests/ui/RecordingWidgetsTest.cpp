// The recording widgets drive the recorder: the row's controls and the limit menu's items.
#include "session/RecorderBench.h"
#include "ui/RecordLimitMenu.h"
#include "ui/RecordingRow.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using namespace veska;
using namespace veska::test;

namespace {

TEST(Recording, TheLimitMenuChecksTheLimitInForce) {
    Bench b;
    RecordLimitMenu limits{b.recorder};
    EXPECT_TRUE(limits.action(RecordLimitMenu::Limit10000)->isChecked());
    limits.setRecordLimit(1000);
    EXPECT_EQ(b.recorder.recordLimit(), 1000);
    EXPECT_TRUE(limits.action(RecordLimitMenu::Limit1000)->isChecked());
    EXPECT_FALSE(limits.action(RecordLimitMenu::Limit10000)->isChecked());
    b.feed(reading("1.000"), 1005);
    EXPECT_EQ(b.rows(), 1000);
    limits.action(RecordLimitMenu::Limit5000)->trigger();
    EXPECT_EQ(b.recorder.recordLimit(), 5000);
    b.feed(reading("1.000"));
    EXPECT_EQ(b.rows(), 1001);
    limits.setRecordLimit(Recorder::kLimitless);
    EXPECT_EQ(b.recorder.recordLimit(), 10000000);
    EXPECT_TRUE(limits.action(RecordLimitMenu::Limitless)->isChecked());
}

TEST(Recording, TheRowControlsDriveTheRecorder) {
    Bench b;
    QWidget window;
    RecordingRow row(b.recorder, &window);
    EXPECT_TRUE(row.repeatBox()->isChecked());
    EXPECT_EQ(row.samplingBox()->geometry(), QRect(57, 258, 143, 20));
    row.samplingBox()->setChecked(true);
    row.repeatBox()->setChecked(false);
    EXPECT_TRUE(b.recorder.recordSI());
    EXPECT_FALSE(b.recorder.repeatSet());
    row.intervalField()->setFocus();
    QTest::keyClicks(row.intervalField(), "-x4");
    EXPECT_EQ(row.intervalField()->text(), "104");
    EXPECT_EQ(b.recorder.interval(), 104);
    EXPECT_EQ(b.recorder.sampleCountdown(), 104);
}

}  // namespace
