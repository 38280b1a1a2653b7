#pragma once

#include <QString>

namespace veska {

class TableEngine;

// Opens a record file for reading, whatever its format: Veska's own tables (SQLite) as they
// are, Paradox tables (the meter's Windows program) as a read-only copy in memory
// (ParadoxTable). The format is told by the file's header, never by its name. Everything that
// only reads record files opens them here: the grid's Open, --export, --stats, --print.
class RecordFileReader {
public:
    // Opens `name` (resolved as TableEngine resolves table names) read-only: a Veska table for
    // exclusive use (no other program changes it meanwhile; it is never created or changed),
    // a Paradox table read once in full and never touched again. Throws TableError naming
    // the file and the reason, also when it lacks the fields the grid shows.
    static void openForReading(TableEngine& engine, const QString& name);
    // Whether `name` is a Paradox file (told by its header).
    static bool isParadoxFile(const QString& name);
};

}  // namespace veska
