#include "session/ChartPaging.h"

#include <algorithm>
#include <climits>

namespace veska {

ChartPaging::ChartPaging(int pointsPerPage) : m_pointsPerPage(std::max(pointsPerPage, 0)) {}

int ChartPaging::pageCount(std::size_t pointCount) const {
    if (m_pointsPerPage <= 0) return 1;
    const auto perPage = static_cast<std::size_t>(m_pointsPerPage);
    const std::size_t pages = (pointCount + perPage - 1) / perPage;
    return static_cast<int>(std::clamp<std::size_t>(pages, 1, INT_MAX));
}

void ChartPaging::setPage(int page, std::size_t pointCount) {
    m_page = std::clamp(page, 1, pageCount(pointCount));
}

void ChartPaging::setPointsPerPage(int pointsPerPage, std::size_t pointCount) {
    m_pointsPerPage = std::max(pointsPerPage, 0);
    const int pages = pageCount(pointCount);
    if (m_page > pages) m_page = pages;
}

std::size_t ChartPaging::firstIndex() const {
    if (m_pointsPerPage <= 0) return 0;
    return static_cast<std::size_t>(m_page - 1) * static_cast<std::size_t>(m_pointsPerPage);
}

std::size_t ChartPaging::endIndex(std::size_t seriesCount) const {
    if (m_pointsPerPage <= 0) return seriesCount;
    const std::size_t end = firstIndex() + static_cast<std::size_t>(m_pointsPerPage);
    return std::min(end, seriesCount);
}

ChartPaging::AxisRange ChartPaging::bottomAxisRange(std::size_t pointCount) const {
    AxisRange range{};
    if (m_pointsPerPage <= 0) {
        range = {0.0, pointCount > 1 ? static_cast<double>(pointCount - 1) : 0.0};
    } else {
        const auto first = static_cast<double>(firstIndex());
        range = {first, first + m_pointsPerPage - 1};
    }
    // A scale needs some width; one point sits in the middle of it.
    if (range.max <= range.min) {
        range.min -= 0.5;
        range.max += 0.5;
    }
    return range;
}

}  // namespace veska
