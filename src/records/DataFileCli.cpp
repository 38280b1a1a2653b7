#include "DataFileCli.h"

#include "DataFileCommands.h"
#include "RecordColumns.h"
#include "RecordReport.h"
#include "TableCopy.h"
#include "TableEngine.h"
#include "TableError.h"
#include "TextExport.h"

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
            TableCopy::CopyTableTo(engine, out);
            return QString();
        }
        const TextExport::Result result = TextExport::ExportTableAsText(engine, out);
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

}  // namespace veska
