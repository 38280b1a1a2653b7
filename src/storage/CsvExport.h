#pragma once

#include "storage/TextExport.h"

#include <QString>

namespace veska {

class TableEngine;

// The record table as CSV for spreadsheets and scripts (the columns of ReadingCsv): the
// header line, then one line per row from the first to the last. Time is ISO 8601 with the
// local offset of that moment, from the row's UTC field; older tables, which lack it, give
// their time of day. The SI value comes from the SIval field, or from the value and unit
// texts where a table has none (older tables, rows restored from their journals).
//
// Walks the table without loading it and writes through SafeFileWriter like the text
// export: complete or not at all, never over the table or its journal.
class CsvExport {
public:
    // Whether a name saves as CSV: it ends in ".csv", in any letter case.
    static bool isCsvName(const QString& fileName);
    // Throws TableError for a closed table or one without the record fields; a file that
    // cannot be written gives ok == false and the text export's failure message.
    static TextExport::Result exportTableAsCsv(const TableEngine& table, const QString& fileName);
};

}  // namespace veska
