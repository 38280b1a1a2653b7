#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace veska {

class TableEngine;

// The six fields that the data-file commands show, export and print, in their order:
// No, Time, DC/AC, Value, Unit, AUTO (Nval is recorded but never shown).
class RecordColumns {
public:
    static constexpr int kCount = 6;
    using Indexes = std::array<int, kCount>;

    static const QStringList& names();
    // Positions of the six fields in the open table's field order. Throws TableError naming
    // the first missing field.
    static Indexes indexesIn(const TableEngine& table);
    // Throws TableError unless the table has every field recording writes (the six and Nval),
    // so a table of another program is never taken as the record table.
    static void requireRecordFields(const TableEngine& table);
};

}  // namespace veska
