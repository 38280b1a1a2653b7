#pragma once

#include "storage/TextExport.h"

#include <QString>

namespace veska {

class TableEngine;

// Saving a table under a name somebody chose, in the format the name selects: a table copy
// for ".db", CSV for ".csv" (both in any letter case), the tab-separated text otherwise. The window's
// Save command, the headless --save and --export all save this way.
class TableSaver {
public:
    // Whether saving under this name makes a table copy: the name's extension (from the last
    // "." of the file name on) is ".db" in any letter case (".DB", ".Db" too).
    static bool isTableCopyName(const QString& fileName);

    // Writes the table. A copy that fails throws TableError; an export that cannot be written
    // gives ok == false with its message. On success `message` is the export's text for the
    // user, empty for a copy (which tells nothing).
    static TextExport::Result save(const TableEngine& table, const QString& fileName);
};

}  // namespace veska
