#include "app/DataFileCli.h"

#include "ui/DataFileCommands.h"
#include "storage/CsvExport.h"
#include "storage/RecordColumns.h"
#include "ui/RecordReport.h"
#include "storage/TableCopy.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"
#include "storage/TableStatistics.h"
#include "storage/TextExport.h"

namespace veska {

namespace {

// The source is only read: a file that is not a table stays exactly as it was.
void openForReading(TableEngine& engine, const QString& table) {
    engine.setTableName(table);
    engine.setExclusive(true);
    engine.setReadOnly(true);
    engine.open();
    RecordColumns::indexesIn(engine);
}

}  // namespace

QString DataFileCli::exportTable(const QString& table, const QString& out) {
    try {
        TableEngine engine;
        openForReading(engine, table);
        if (DataFileCommands::isTableCopyName(out)) {
            TableCopy::copyTableTo(engine, out);
            return QString();
        }
        const TextExport::Result result = CsvExport::isCsvName(out) ? CsvExport::exportTableAsCsv(engine, out)
                                                                    : TextExport::exportTableAsText(engine, out);
        return result.ok ? QString() : result.message;
    } catch (const TableError& e) {
        return e.message();
    }
}

QString DataFileCli::printTable(const QString& table, const QString& pdf) {
    try {
        TableEngine engine;
        openForReading(engine, table);
        return RecordReport::renderPdf(engine, pdf);
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
