#include "app/ReportCli.h"

#include "app/DataFileCli.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"
#include "ui/RecordReport.h"

#include <new>

namespace veska {

QString ReportCli::printTable(const QString& table, const QString& pdf) {
    try {
        TableEngine engine;
        DataFileCli::openForReading(engine, table);
        return RecordReport::renderPdf(engine, pdf);
    } catch (const TableError& e) {
        return e.message();
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Not enough memory to print %1").arg(table);
    }
}

}  // namespace veska
