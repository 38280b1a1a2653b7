#pragma once

#include "session/ChartPaging.h"
#include "session/ChartPointStore.h"

#include <array>
#include <cstddef>
#include <optional>

namespace veska {

struct LcdState;

// What the history chart shows, without the chart: every point since the last restart in
// two series (line and filled area, one of them shown), the page on screen, whether the
// page follows the newest point, and whether the area series is the one shown.
class ChartHistory {
public:
    static constexpr int AreaSeries = 0;
    static constexpr int LineSeries = 1;
    static constexpr int SampleValue = 0;  // the placeholder point of a restart

    // The value a reading adds: +-fullScaleCount for overload, else the signed digits.
    // Nothing when the digits are not decimal (a packet that decoded always is).
    static std::optional<int> chartValue(const LcdState& lcd, int fullScaleCount);

    // One placeholder point in each series.
    void fillSampleValues();
    // Makes `series` the only one shown.
    void showSeries(int series);
    // Starts afresh: placeholder points, the series the fill choice asks for; the page and
    // following are kept.
    void restart();
    // Appends a reading's point to both series; false (nothing added) when it has none.
    bool addReading(const LcdState& lcd, int fullScaleCount);

    bool fillShown() const { return m_fill; }
    void setFillShown(bool fill) { m_fill = fill; }
    bool followLastPage() const { return m_followLastPage; }
    void setFollowLastPage(bool follow) { m_followLastPage = follow; }
    bool isSeriesShown(int series) const { return m_shown.at(static_cast<std::size_t>(series)); }

    // Points of the series shown (the longer one if both are).
    std::size_t shownPointCount() const;
    int pageCount() const { return m_paging.pageCount(shownPointCount()); }
    void setPage(int page) { m_paging.setPage(page, shownPointCount()); }
    void setPointsPerPage(int perPage) { m_paging.setPointsPerPage(perPage, shownPointCount()); }

    const ChartPointStore& points() const { return m_store; }
    const ChartPaging& paging() const { return m_paging; }

private:
    ChartPointStore m_store;
    ChartPaging m_paging;
    std::array<bool, ChartPointStore::SeriesCount> m_shown{true, true};
    bool m_followLastPage = false;
    bool m_fill = true;  // the fill box starts checked
};

}  // namespace veska
