#include "storage/TableStatisticsPass.h"

#include "storage/RecordColumns.h"
#include "storage/RecordTable.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"

#include "protocol/SiQuantity.h"

namespace veska {

TableStatisticsPass::TableStatisticsPass(const TableEngine& table) : m_table(table) {
    if (!table.isOpen()) throw TableError(QStringLiteral("Cannot perform this operation on a closed table"));
    const RecordColumns::Indexes columns = RecordColumns::indexesIn(table);
    // SIval is not read: recording stored exactly what the texts convert to, and reading a
    // real back costs more than the conversion (older tables and restored rows have none).
    m_positions = {columns[3], columns[4], columns[2], columns[1]};
    const int utcField = table.fieldIndex(RecordTable::utcField());
    m_hasUtc = utcField >= 0;
    if (m_hasUtc) m_positions.push_back(utcField);
}

bool TableStatisticsPass::step(qint64 maxRows) {
    if (m_done) return true;
    qint64 read = 0;
    m_table.forEachRowText(
        m_positions,
        [&](const std::vector<std::string_view>& t) {
            // The raw time text is kept; only the first and last of each group are ever
            // shown, so they are converted to local time then, not for every row.
            const std::string_view time = m_hasUtc && !t[4].empty() ? t[4] : t[3];
            m_statistics.add(SiQuantity::fromDisplay(t[0], t[1]), t[2], time);
            ++read;
        },
        m_rowsRead, maxRows);
    m_rowsRead += read;
    m_done = read < maxRows;
    return m_done;
}

}  // namespace veska
