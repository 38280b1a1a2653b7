#include "ChartTestSupport.h"
#include "ui/HistoryChart.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace veska {
namespace {


class HistoryChartTest : public ::testing::Test {
protected:
    void SetUp() override {
        chart.resize(322, 246);
        chart.show();
        chart.setFollowLastPage(true);
        chart.fillSampleValues();
        chart.showSeries(0);
        chart.onFillBoxClicked();
        chart.setLeftAxisMaximum(6000);
        chart.setLeftAxisMinimum(-6000);
    }

    void add(std::initializer_list<int> values) {
        for (const int value : values) ASSERT_TRUE(chart.addChartPoint(DisplayOf(value), 6000));
    }

    static QList<double> yValues(const QList<QPointF>& points) {
        QList<double> values;
        for (const QPointF& p : points) values.append(p.y());
        return values;
    }

    HistoryChart chart;
};

TEST_F(HistoryChartTest, StartsWithTheAreaSeriesOverOneSamplePointEach) {
    EXPECT_TRUE(chart.isFillChecked());
    EXPECT_TRUE(chart.isSeriesActive(HistoryChart::AreaSeriesIndex));
    EXPECT_FALSE(chart.isSeriesActive(HistoryChart::LineSeriesIndex));
    EXPECT_EQ(chart.pointCount(0), 1U);
    EXPECT_EQ(chart.pointCount(1), 1U);
    EXPECT_EQ(chart.leftAxisMinimum(), -6000);
    EXPECT_EQ(chart.leftAxisMaximum(), 6000);
    EXPECT_EQ(chart.pointsPerPageField()->text(), QStringLiteral("100"));
    EXPECT_EQ(chart.pageNumberButton()->text(), QStringLiteral("1"));
}

// Fill cleared: the line series is shown, the hidden area series keeps receiving
// points, so switching back shows the same history.
TEST_F(HistoryChartTest, FillSwitchesSeriesWithoutLosingPoints) {
    QSignalSpy menuCheck(&chart, &HistoryChart::fillCheckedChanged);
    add({120, -80});
    chart.toggleFill();  // the menu item
    EXPECT_FALSE(chart.isFillChecked());
    ASSERT_FALSE(menuCheck.isEmpty());
    EXPECT_FALSE(menuCheck.last().at(0).toBool());
    EXPECT_TRUE(chart.isSeriesActive(HistoryChart::LineSeriesIndex));
    EXPECT_FALSE(chart.isSeriesActive(HistoryChart::AreaSeriesIndex));

    add({150});
    const QList<double> history{0, 120, -80, 150};
    EXPECT_EQ(yValues(chart.shownPoints(HistoryChart::LineSeriesIndex)), history);
    EXPECT_EQ(chart.pointCount(HistoryChart::AreaSeriesIndex), 4U);

    QTest::mouseClick(chart.fillBox(), Qt::LeftButton, {}, QPoint(5, chart.fillBox()->height() / 2));
    EXPECT_TRUE(chart.isFillChecked());
    EXPECT_TRUE(menuCheck.last().at(0).toBool());
    EXPECT_TRUE(chart.isSeriesActive(HistoryChart::AreaSeriesIndex));
    EXPECT_EQ(yValues(chart.shownPoints(HistoryChart::AreaSeriesIndex)), history);
}

TEST(ChartValue, OverloadIsTheFullScaleAndDigitsReadWithTheirSign) {
    struct Case {
        bool overload;
        bool negative;
        std::string digits;
        int fullScale;
        std::optional<int> value;
    } cases[] = {
        {true, false, "0L", 6000, 6000},
        {true, true, "0L", 6000, -6000},
        {true, false, "0L", 1000, 1000},  // the scale of this packet's unit
        {false, false, "5999", 6000, 5999},
        {false, true, "0123", 6000, -123},
        {false, false, "12x4", 6000, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.digits);
        LcdState lcd;
        lcd.overload = c.overload;
        lcd.negative = c.negative;
        lcd.digit1 = c.digits.substr(0, 1);
        lcd.digit2 = c.digits.substr(1, 1);
        lcd.digit3 = c.digits.size() > 2 ? c.digits.substr(2, 1) : "";
        lcd.digit4 = c.digits.size() > 3 ? c.digits.substr(3, 1) : "";
        EXPECT_EQ(HistoryChart::chartValue(lcd, c.fullScale), c.value);
    }
}

TEST_F(HistoryChartTest, OverloadPointsLieOnTheLeftAxisLimits) {
    LcdState overload;
    overload.overload = true;
    ASSERT_TRUE(chart.addChartPoint(overload, 6000));
    overload.negative = true;
    ASSERT_TRUE(chart.addChartPoint(overload, 6000));
    EXPECT_EQ(yValues(chart.shownPoints(HistoryChart::AreaSeriesIndex)), (QList<double>{0, 6000, -6000}));
    EXPECT_EQ(chart.pointValue(HistoryChart::LineSeriesIndex, 2), -6000);
}

// A new start (unit or range change, or "New") keeps page, page number and following.
TEST_F(HistoryChartTest, ResetKeepsPageNumberAndFollowing) {
    for (int i = 0; i < 150; ++i) add({i});
    ASSERT_EQ(chart.page(), 2);
    chart.toggleFill();
    chart.restartChart();
    EXPECT_EQ(chart.pointCount(0), 1U);
    EXPECT_EQ(chart.pointCount(1), 1U);
    EXPECT_EQ(chart.page(), 2);
    EXPECT_EQ(chart.pageNumberButton()->text(), QStringLiteral("2"));
    EXPECT_TRUE(chart.followLastPage());
    EXPECT_TRUE(chart.isSeriesActive(HistoryChart::LineSeriesIndex));  // Fill stays cleared
    add({42});
    EXPECT_EQ(chart.page(), 1);
    EXPECT_EQ(yValues(chart.shownPoints(HistoryChart::LineSeriesIndex)), (QList<double>{0, 42}));
}

// Each text that is a count is in force as it is typed; typing passes through bad texts (an
// emptied field) without a word; a bad text at the end is told once, the count in force stays
// and the field shows it again.
TEST_F(HistoryChartTest, PointsPerPageFollowsTypingAndABadTextIsToldWhenTheEditEnds) {
    struct Step {
        const char* typed;      // the field's whole text after typing, before the edit ends
        bool finishWithEnter;   // else focus leaves the field
        int perPage;            // in force after the edit
        const char* fieldText;  // shown after the edit
        const char* error;      // told, or nothing
    };
    const Step steps[] = {
        {"50", true, 50, "50", nullptr},
        {"", true, 50, "50", "'' is not a valid integer value"},
        {"35", false, 35, "35", nullptr},
        {"99999999999", false, 999999999, "999999999", "'99999999999' is not a valid integer value"},
        {"", false, 999999999, "999999999", "'' is not a valid integer value"},
        {"0", true, 0, "0", nullptr},
    };
    QSignalSpy errors(&chart, &HistoryChart::errorRequested);
    for (const Step& st : steps) {
        SCOPED_TRACE(st.typed);
        errors.clear();
        // Key by key: the field goes through every text on the way, the empty one included.
        chart.pointsPerPageField()->selectAll();
        QTest::keyClick(chart.pointsPerPageField(), Qt::Key_Backspace);
        QTest::keyClicks(chart.pointsPerPageField(), QString::fromLatin1(st.typed));
        EXPECT_TRUE(errors.isEmpty()) << "told while typing";
        if (st.finishWithEnter) {
            QTest::keyClick(chart.pointsPerPageField(), Qt::Key_Return);
        } else {
            QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
            QApplication::sendEvent(chart.pointsPerPageField(), &out);
        }
        EXPECT_EQ(chart.pointsPerPage(), st.perPage);
        EXPECT_EQ(chart.pointsPerPageField()->text(), QString::fromLatin1(st.fieldText));
        if (st.error == nullptr) {
            EXPECT_TRUE(errors.isEmpty());
        } else {
            ASSERT_EQ(errors.size(), 1);
            EXPECT_EQ(errors.at(0).at(0).toString(), QString::fromLatin1(st.error));
        }
    }

    chart.pointsPerPageField()->clear();
    QTest::keyClicks(chart.pointsPerPageField(), QStringLiteral("3a-+5"));
    EXPECT_EQ(chart.pointsPerPageField()->text(), QStringLiteral("35"));
}

TEST_F(HistoryChartTest, EnlargePicturesSignalAndSwap) {
    QSignalSpy enlarge(&chart, &HistoryChart::enlargeClicked);
    EXPECT_TRUE(chart.enlargeButton()->isVisible());
    EXPECT_FALSE(chart.shrinkButton()->isVisible());
    QTest::mouseClick(chart.enlargeButton(), Qt::LeftButton);
    EXPECT_EQ(enlarge.size(), 1);
    chart.setEnlarged(true);
    EXPECT_FALSE(chart.enlargeButton()->isVisible());
    EXPECT_TRUE(chart.shrinkButton()->isVisible());
    QTest::mouseClick(chart.shrinkButton(), Qt::LeftButton);
    EXPECT_EQ(enlarge.size(), 2);
}

class ChartPictureTest : public HistoryChartTest {
protected:
    // Saves and returns what the user is told, in order: "info: ..." and "error: ...".
    QStringList save() {
        QStringList told;
        const auto info = QObject::connect(&chart, &HistoryChart::informationRequested,
                                           [&](const QString& t) { told << QStringLiteral("info: ") + t; });
        const auto error = QObject::connect(&chart, &HistoryChart::errorRequested,
                                            [&](const QString& t) { told << QStringLiteral("error: ") + t; });
        chart.saveChartPicture();
        QObject::disconnect(info);
        QObject::disconnect(error);
        return told;
    }

    void expectFailureTold(const QStringList& told) {
        // The error alone: no success is announced for a picture that is not on disk.
        ASSERT_EQ(told.size(), 1) << told.join('|').toStdString();
        EXPECT_TRUE(told[0].startsWith(QStringLiteral("error: ")));
        EXPECT_TRUE(told[0].contains(QDir::toNativeSeparators(chart.picturePath()))) << told[0].toStdString();
    }

    QTemporaryDir dir;
};

TEST_F(ChartPictureTest, WritesABitmapOfTheChartsSizeReplacingTheOldOne) {
    ASSERT_TRUE(dir.isValid());
    chart.setPictureDirectory(dir.path());
    const QString path = dir.filePath(QStringLiteral("databmp.bmp"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("not a picture");
    }
    add({1000, 2000, -3000});

    EXPECT_EQ(save(), QStringList{QStringLiteral("info: graphic has saved on %1").arg(QDir::toNativeSeparators(path))});
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), QByteArray("bmp"));
    const QImage picture = reader.read();
    ASSERT_FALSE(picture.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(picture.size(), QSize(322, 246));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("databmp.bmp")});
}

// A folder that is a regular file fails for every user, root included.
TEST_F(ChartPictureTest, FolderThatIsAFileGivesTheErrorAndNoFile) {
    ASSERT_TRUE(dir.isValid());
    const QString notAFolder = dir.filePath(QStringLiteral("plain"));
    {
        QFile plain(notAFolder);
        ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    }
    chart.setPictureDirectory(notAFolder);
    expectFailureTold(save());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("plain")});
}

TEST_F(ChartPictureTest, ReadOnlyFolderGivesTheErrorAndNoPartialFile) {
    if (geteuid() == 0) GTEST_SKIP() << "running as root, which ignores folder permissions";
    ASSERT_TRUE(dir.isValid());
    const QString readOnly = dir.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkdir(readOnly));
    ASSERT_TRUE(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner));
    chart.setPictureDirectory(readOnly);
    expectFailureTold(save());
    EXPECT_TRUE(QDir(readOnly).entryList(QDir::Files | QDir::Hidden).isEmpty());
    QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace
}  // namespace veska
