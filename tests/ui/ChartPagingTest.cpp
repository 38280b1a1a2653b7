#include "ChartTestSupport.h"
#include "ui/HistoryChart.h"

#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

namespace veska {
namespace {


// The chart as start-up leaves it in this build: one sample point per series, the area
// series shown, left axis +-6000, following the last page.
struct StartedChart {
    HistoryChart chart;

    StartedChart() {
        chart.resize(322, 246);
        chart.show();
        chart.setFollowLastPage(true);
        chart.fillSampleValues();
        chart.showSeries(0);
        chart.onFillBoxClicked();
        chart.setLeftAxisMaximum(6000);
        chart.setLeftAxisMinimum(-6000);
    }

    void addReadings(int count) {
        for (int i = 0; i < count; ++i) ASSERT_TRUE(chart.addChartPoint(DisplayOf(i % 5000), 6000));
    }

    // "FPNL" with '-' for each of First, Previous, Next, Last that is disabled.
    std::string enabledButtons() const {
        std::string state;
        state += chart.firstPageButton()->isEnabled() ? 'F' : '-';
        state += chart.previousPageButton()->isEnabled() ? 'P' : '-';
        state += chart.nextPageButton()->isEnabled() ? 'N' : '-';
        state += chart.lastPageButton()->isEnabled() ? 'L' : '-';
        return state;
    }
};

struct PagingStep {
    const char* action;
    std::function<void(StartedChart&)> run;
    int page;
    int pages;
    std::string buttons;
    bool follow;
    int firstShown;  // x of the first point the area series shows
    int shownCount;
    double axisMin;  // bottom scale
    double axisMax;
};

auto add(int count) {
    return [count](StartedChart& s) { s.addReadings(count); };
}
auto maxrecord(const char* text) {
    return [text](StartedChart& s) {
        s.chart.pointsPerPageField()->setText(QString::fromLatin1(text));
        QTest::keyClick(s.chart.pointsPerPageField(), Qt::Key_Return);
    };
}
auto press(void (HistoryChart::*slot)()) {
    return [slot](StartedChart& s) { (s.chart.*slot)(); };
}

// One run through the page rules, 100 points per page unless changed. The area series
// counts its sample point, and the page follows before the area series gets the new point.
TEST(ChartPaging, PagesFollowButtonsAndPointsPerPage) {
    const PagingStep steps[] = {
        {"100 readings", add(100), 1, 2, "FPNL", true, 0, 100, 0, 99},
        {"reading 101 turns the page", add(1), 2, 2, "FPNL", true, 100, 2, 100, 199},
        {"up to reading 200", add(99), 2, 3, "FPNL", true, 100, 100, 100, 199},
        {"reading 201 turns the page", add(1), 3, 3, "FPNL", true, 200, 2, 200, 299},
        {"250 readings: last page keeps a full page's scale", add(49), 3, 3, "FPNL", true, 200, 51, 200, 299},
        {"First", press(&HistoryChart::showFirstPage), 1, 3, "--NL", false, 0, 100, 0, 99},
        {"readings do not move the page", add(10), 1, 3, "--NL", false, 0, 100, 0, 99},
        {"Previous on page 1", press(&HistoryChart::showPreviousPage), 1, 3, "--NL", false, 0, 100, 0, 99},
        {"Last", press(&HistoryChart::showLastPage), 3, 3, "FP--", true, 200, 61, 200, 299},
        {"following again", add(5), 3, 3, "FP--", true, 200, 66, 200, 299},
        {"Next on the last page", press(&HistoryChart::showNextPage), 3, 3, "FP--", false, 200, 66, 200, 299},
        {"Previous", press(&HistoryChart::showPreviousPage), 2, 3, "FPNL", false, 100, 100, 100, 199},
        {"Next onto the last page", press(&HistoryChart::showNextPage), 3, 3, "FPNL", false, 200, 66, 200, 299},
        {"Next once more", press(&HistoryChart::showNextPage), 3, 3, "FP--", false, 200, 66, 200, 299},
        {"50 per page on page 3", maxrecord("50"), 3, 6, "FP--", false, 100, 50, 100, 149},
        {"200 per page", maxrecord("200"), 2, 2, "FP--", false, 200, 66, 200, 399},
        {"0 per page: one page", maxrecord("0"), 1, 1, "FP--", false, 0, 266, 0, 265},
    };

    StartedChart s;
    for (const PagingStep& step : steps) {
        SCOPED_TRACE(step.action);
        step.run(s);
        EXPECT_EQ(s.chart.page(), step.page);
        EXPECT_EQ(s.chart.pageCount(), step.pages);
        EXPECT_EQ(s.chart.pageNumberButton()->text(), QString::number(step.page));
        EXPECT_EQ(s.enabledButtons(), step.buttons);
        EXPECT_EQ(s.chart.followLastPage(), step.follow);
        const QList<QPointF> shown = s.chart.shownPoints(HistoryChart::AreaSeriesIndex);
        ASSERT_EQ(shown.size(), step.shownCount);
        EXPECT_EQ(shown.front().x(), step.firstShown);
        // The shown points are the stored ones at their own index.
        const auto last = static_cast<std::size_t>(shown.back().x());
        EXPECT_EQ(shown.back().y(), s.chart.pointValue(HistoryChart::AreaSeriesIndex, last));
        EXPECT_EQ(s.chart.bottomAxisRange().min, step.axisMin);
        EXPECT_EQ(s.chart.bottomAxisRange().max, step.axisMax);
    }
}

// With the line series shown it counts its new point before the page is set, so the
// page turns one reading earlier than with the area series.
TEST(ChartPaging, LineSeriesTurnsThePageOnItsOwnCount) {
    StartedChart s;
    s.chart.toggleFill();
    s.addReadings(99);
    EXPECT_EQ(s.chart.page(), 1);
    s.addReadings(1);
    EXPECT_EQ(s.chart.page(), 2);
    EXPECT_EQ(s.chart.shownPoints(HistoryChart::LineSeriesIndex).front().x(), 100);
}

TEST(ChartPaging, PageCountAndClamping) {
    ChartPaging paging(100);
    EXPECT_EQ(paging.pageCount(0), 1);
    EXPECT_EQ(paging.pageCount(100), 1);
    EXPECT_EQ(paging.pageCount(101), 2);
    paging.setPage(9, 250);
    EXPECT_EQ(paging.page(), 3);
    paging.setPage(-4, 250);
    EXPECT_EQ(paging.page(), 1);
    paging.setPointsPerPage(1, 1);  // one point per page still has a scale with width
    EXPECT_LT(paging.bottomAxisRange(1).min, paging.bottomAxisRange(1).max);
    paging.setPointsPerPage(-5, 10);  // a pasted negative count pages like 0
    EXPECT_EQ(paging.pointsPerPage(), 0);
    EXPECT_EQ(paging.pageCount(10), 1);
}

}  // namespace
}  // namespace veska
