#include "storage/RecordColumns.h"

#include "storage/TableEngine.h"
#include "storage/TableError.h"

namespace veska {

namespace {

int requireField(const TableEngine& table, const QString& name) {
    const int index = table.fieldIndex(name);
    if (index < 0 && !table.laterTables().isEmpty()) {
        // Only a file's first table is read; a record table after it would go unnoticed.
        throw TableError(QStringLiteral("%1 is not a record file: its first table '%2' has no field '%3' (Veska "
                                        "reads the first table of a file; this one also holds %4)")
                             .arg(table.filePath(), table.internalTableName(), name,
                                  QLatin1Char('\'') + table.laterTables().join(QLatin1String("', '")) + QLatin1Char('\'')));
    }
    if (index < 0) {
        throw TableError(QStringLiteral("%1 is not a record file: it has no field '%2'").arg(table.filePath(), name));
    }
    return index;
}

}  // namespace

const QStringList& RecordColumns::names() {
    static const QStringList kNames{QStringLiteral("No"),    QStringLiteral("Time"), QStringLiteral("DC/AC"),
                                    QStringLiteral("Value"), QStringLiteral("Unit"), QStringLiteral("AUTO")};
    return kNames;
}

RecordColumns::Indexes RecordColumns::indexesIn(const TableEngine& table) {
    Indexes indexes{};
    for (int i = 0; i < kCount; ++i) indexes[std::size_t(i)] = requireField(table, names()[i]);
    return indexes;
}

void RecordColumns::requireRecordFields(const TableEngine& table) {
    indexesIn(table);
    requireField(table, QStringLiteral("Nval"));
}

}  // namespace veska
