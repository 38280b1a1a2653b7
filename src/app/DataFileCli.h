#pragma once

#include <QString>

namespace veska {

class TableEngine;

// The data-file commands for scripts that need no GUI, saving as the window's Save does:
//   veska --export TABLE OUT        OUT ending in ".db": a table copy, ".csv": CSV, otherwise text
//   veska --stats TABLE             statistics per unit
// (veska --print is ReportCli's, in the window's program.) Each opens TABLE with
// openForReading and closes it again; OUT is written through SafeFileWriter and is never
// TABLE itself or its recovery journal. Each returns an empty text on success, otherwise
// the message for the user (exit with a non-zero status).
class DataFileCli {
public:
    // Opens a record file read-only (RecordFileReader: a Veska table for exclusive use, a
    // Paradox table as a copy in memory; neither is ever created or changed). Throws
    // TableError, also when the file lacks the shown fields.
    static void openForReading(TableEngine& engine, const QString& table);
    static QString exportTable(const QString& table, const QString& out);
    // veska --stats TABLE: the statistics per unit as aligned text in `text`, in one pass
    // over the table.
    static QString statistics(const QString& table, QString& text);
};

}  // namespace veska
