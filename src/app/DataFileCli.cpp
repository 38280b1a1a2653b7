#include "app/DataFileCli.h"

#include "storage/RecordFileReader.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"
#include "storage/TableSaver.h"
#include "storage/TableStatistics.h"

namespace veska {

void DataFileCli::openForReading(TableEngine& engine, const QString& table) {
    RecordFileReader::openForReading(engine, table);
}

QString DataFileCli::exportTable(const QString& table, const QString& out) {
    try {
        TableEngine engine;
        openForReading(engine, table);
        const TextExport::Result result = TableSaver::save(engine, out);
        return result.ok ? QString() : result.message;
    } catch (const TableError& e) {
        return e.message();
    }
}

QString DataFileCli::statistics(const QString& table, QString& text) {
    try {
        TableEngine engine;
        openForReading(engine, table);
        text = TableStatistics::text(TableStatistics::compute(engine));
        return QString();
    } catch (const TableError& e) {
        return e.message();
    }
}

}  // namespace veska
