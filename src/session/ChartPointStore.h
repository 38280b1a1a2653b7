#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <vector>

namespace veska {

// Every point of the history chart since the last reset, one plain vector per series.
// The chart's series only ever hold the page being shown; this store holds the rest,
// so adding a point costs the same however long the run has been.
class ChartPointStore {
public:
    static constexpr int SeriesCount = 2;

    void add(int series, int value) { m_values.at(index(series)).push_back(value); }
    // Drops every point of the series and puts the one placeholder point in.
    void resetWithSample(int series, int sampleValue);

    std::size_t count(int series) const { return m_values.at(index(series)).size(); }
    int value(int series, std::size_t point) const { return m_values.at(index(series)).at(point); }
    // The values of [first, end), clipped to the points the series has.
    std::span<const int> range(int series, std::size_t first, std::size_t end) const;

private:
    static std::size_t index(int series) { return static_cast<std::size_t>(series); }

    std::array<std::vector<int>, SeriesCount> m_values;
};

}  // namespace veska
