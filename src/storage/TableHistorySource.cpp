#include "storage/TableHistorySource.h"

#include "storage/RecordColumns.h"
#include "storage/RecordTable.h"
#include "storage/TableEngine.h"

namespace veska {

TableHistorySource::TableHistorySource(const TableEngine& table) : m_table(table) {
    // No, Time, DC/AC, Value, Unit, AUTO in RecordColumns' order.
    const RecordColumns::Indexes columns = RecordColumns::indexesIn(table);
    m_positions = {columns[1], columns[2], columns[3], columns[4]};
    const int utc = table.fieldIndex(RecordTable::utcField());
    m_hasUtc = utc >= 0;
    if (m_hasUtc) m_positions.push_back(utc);
}

std::int64_t TableHistorySource::rowCount() const { return m_table.rowCount(); }

void TableHistorySource::readRows(std::int64_t first, std::int64_t count, const RowCallback& row) const {
    std::int64_t position = first;
    HistoryRowTexts texts;
    m_table.forEachRowText(
        m_positions,
        [&](const std::vector<std::string_view>& t) {
            texts.timeOfDay = t[0];
            texts.acDc = t[1];
            texts.value = t[2];
            texts.unit = t[3];
            texts.utc = m_hasUtc ? t[4] : std::string_view();
            row(position++, texts);
        },
        first, count);
}

}  // namespace veska
