#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace veska {

// The texts of one record row that the History view needs, as the table stores them. The
// views last until the callback they are handed to returns.
struct HistoryRowTexts {
    std::string_view timeOfDay;  // "hh:mm:ss" (every record table)
    std::string_view utc;        // ISO 8601 UTC; empty in older tables and some restored rows
    std::string_view acDc;       // "AC", "DC" or empty
    std::string_view value;      // as the display showed it: "-01.23", "0L"
    std::string_view unit;       // in the meter's alphabet: "mV", "k*"
};

// Where the History view reads rows from: a record table of any format. Positions are
// 0-based in the table's order. Reads happen on the thread that owns the source.
class HistoryRowSource {
public:
    using RowCallback = std::function<void(std::int64_t position, const HistoryRowTexts& row)>;

    virtual ~HistoryRowSource() = default;
    virtual std::int64_t rowCount() const = 0;
    // Calls `row` for the rows at positions [first, first + count) that exist, in order.
    // Throws (the source's own error type) when the table cannot be read.
    virtual void readRows(std::int64_t first, std::int64_t count, const RowCallback& row) const = 0;
};

}  // namespace veska
