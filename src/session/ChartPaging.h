#pragma once

#include <cstddef>

namespace veska {

// Which points of the history chart one page shows. Pages are numbered from 1; with
// P points per page, page n holds the points (n - 1) * P to n * P - 1. P = 0 means one
// page with every point. The page is kept as set: only setPage() and
// setPointsPerPage() move it, so a reset of the points leaves it where it was.
class ChartPaging {
public:
    static constexpr int DefaultPointsPerPage = 100;

    struct AxisRange {
        double min;
        double max;
    };

    explicit ChartPaging(int pointsPerPage = DefaultPointsPerPage);

    int pointsPerPage() const { return m_pointsPerPage; }
    int page() const { return m_page; }

    // C / P rounded up, at least 1; 1 when P is 0.
    int pageCount(std::size_t pointCount) const;
    // Clamps to 1 .. pageCount(pointCount).
    void setPage(int page, std::size_t pointCount);
    // A negative count is taken as 0. When the page lies beyond the new number of
    // pages it becomes the last one.
    void setPointsPerPage(int pointsPerPage, std::size_t pointCount);

    // Index range [first, end) of the current page within a series of seriesCount points.
    std::size_t firstIndex() const;
    std::size_t endIndex(std::size_t seriesCount) const;

    // Horizontal scale of the current page: a full page wide even on the last page.
    AxisRange bottomAxisRange(std::size_t pointCount) const;

private:
    int m_pointsPerPage;
    int m_page = 1;
};

}  // namespace veska
