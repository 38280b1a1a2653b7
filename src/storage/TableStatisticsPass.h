#pragma once

#include "protocol/ReadingStatistics.h"

#include <QtGlobal>

#include <vector>

namespace veska {

class TableEngine;

// The statistics pass over a record table in steps, so a window can read ten million rows a
// slice at a time between events instead of freezing. Rows appended while it runs are read
// too (they come after the last row read); rows are never removed from a table mid-run
// without a reset. The table must stay open and keep its fields
// until the pass ends; a table opened, emptied or restored needs a new pass.
class TableStatisticsPass {
public:
    // Throws TableError for a closed table or one without the record fields.
    explicit TableStatisticsPass(const TableEngine& table);

    // Reads up to maxRows further rows; true once the last row has been read.
    bool step(qint64 maxRows);
    bool done() const { return m_done; }
    qint64 rowsRead() const { return m_rowsRead; }
    const ReadingStatistics& statistics() const { return m_statistics; }

private:
    const TableEngine& m_table;
    std::vector<int> m_positions;  // Value, Unit, DC/AC, Time, then UTC where there is one
    bool m_hasUtc = false;
    qint64 m_rowsRead = 0;         // also the position of the next row to read
    bool m_done = false;
    ReadingStatistics m_statistics;
};

}  // namespace veska
