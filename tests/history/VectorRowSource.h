#pragma once

#include "history/HistoryRowSource.h"

#include <string>
#include <vector>

namespace veska::test {

// Rows held as strings, for tests of the History view without a table file.
class VectorRowSource : public HistoryRowSource {
public:
    struct Row {
        std::string timeOfDay, utc, acDc, value, unit;
    };
    std::vector<Row> rows;
    mutable std::int64_t rowsRead = 0;

    std::int64_t rowCount() const override { return std::int64_t(rows.size()); }
    void readRows(std::int64_t first, std::int64_t count, const RowCallback& row) const override {
        for (std::int64_t p = std::max<std::int64_t>(first, 0); p < first + count && p < rowCount(); ++p) {
            const Row& r = rows[std::size_t(p)];
            ++rowsRead;
            row(p, HistoryRowTexts{r.timeOfDay, r.utc, r.acDc, r.value, r.unit});
        }
    }
};

}  // namespace veska::test
