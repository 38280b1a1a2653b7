#include "storage/RecordColumns.h"

#include "storage/TableEngine.h"
#include "storage/TableError.h"

namespace veska {

namespace {

int requireField(const TableEngine& table, const QString& name) {
    const int index = table.fieldIndex(name);
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
