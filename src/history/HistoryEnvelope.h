#pragma once

#include <cstdint>
#include <limits>
#include <vector>

namespace veska {

// A span of time in milliseconds, [fromMs, toMs): what a picture shows.
struct HistoryView {
    std::int64_t fromMs = 0;
    std::int64_t toMs = 1;

    std::int64_t span() const { return toMs - fromMs; }
    bool contains(std::int64_t ms) const { return ms >= fromMs && ms < toMs; }
    // The pixel column of a moment in a picture `width` columns wide: -1 before the view,
    // `width` after it.
    int column(std::int64_t ms, int width) const {
        if (ms < fromMs) return -1;
        if (ms >= toMs) return width;
        return int((ms - fromMs) * width / span());
    }
    // The moment at the left edge of a pixel column.
    std::int64_t moment(double column, int width) const {
        return fromMs + std::int64_t(column * double(span()) / double(width));
    }
};

// What one series holds within one pixel column.
struct HistoryColumn {
    double minimum = std::numeric_limits<double>::infinity();
    double maximum = -std::numeric_limits<double>::infinity();
    bool overload = false;  // an overload reading falls in this column

    bool hasValue() const { return minimum <= maximum; }
    void add(double value) {
        if (value < minimum) minimum = value;
        if (value > maximum) maximum = value;
    }
};

// A run's picture at one zoom: per series (HistoryModel's order) one column per pixel.
// Every reading in the view lies within its column's minimum and maximum; `exact` says the
// bounds are the readings' own (none folded from a wider bucket of rows).
struct HistoryEnvelope {
    HistoryView view;
    int width = 0;
    std::vector<std::vector<HistoryColumn>> series;
    bool exact = true;
};

// One row as the view keeps it when it reads rows again to refine a picture.
struct HistorySample {
    std::int64_t position = 0;
    std::int64_t ms = 0;
    double value = 0.0;
    int series = -1;  // -1: not a reading (unreadable value or time)
    bool overload = false;
};

// A stretch of table positions [first, end) read back, every row of it in order.
struct HistoryRowRange {
    std::int64_t first = 0;
    std::int64_t end = 0;
    std::vector<HistorySample> rows;

    bool covers(std::int64_t from, std::int64_t last) const { return from >= first && last < end; }
};

// Statistics of what is in view for one series.
struct HistoryStatistics {
    std::int64_t count = 0;
    double minimum = 0.0;
    double maximum = 0.0;
    double mean = 0.0;
    double m2 = 0.0;  // sum of squared deviations from the mean
    std::int64_t overloads = 0;

    void add(double value);
    void merge(const HistoryStatistics& other);
    double standardDeviation() const;  // sample deviation; 0 for fewer than two readings
};

}  // namespace veska
