#pragma once

#include "history/HistoryRowSource.h"

#include <vector>

namespace veska {

class TableEngine;

// The History view's rows from an open table file (the record table or any record file).
// Read on the thread that owns the engine; TableError when the table cannot be read.
class TableHistorySource : public HistoryRowSource {
public:
    // Throws TableError unless the table has the record fields.
    explicit TableHistorySource(const TableEngine& table);

    std::int64_t rowCount() const override;
    void readRows(std::int64_t first, std::int64_t count, const RowCallback& row) const override;

private:
    const TableEngine& m_table;
    std::vector<int> m_positions;  // Time, DC/AC, Value, Unit, then UTC where the table has it
    bool m_hasUtc = false;
};

}  // namespace veska
