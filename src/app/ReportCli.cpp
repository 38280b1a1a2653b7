#include "app/ReportCli.h"

#include "app/DataFileCli.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"
#include "ui/RecordReport.h"

namespace veska {

QString ReportCli::printTable(const QString& table, const QString& pdf) {
    try {
        TableEngine engine;
        DataFileCli::openForReading(engine, table);
        return RecordReport::renderPdf(engine, pdf);
    } catch (const TableError& e) {
        return e.message();
    }
}

}  // namespace veska
