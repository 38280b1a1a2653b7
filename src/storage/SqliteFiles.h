#pragma once

#include <QString>

namespace veska {

// What every writer of table files needs to know about SQLite's files: the side files it
// keeps beside a table, and whether another program holds a table right now.
class SqliteFiles {
public:
    // The journal, write-ahead log and shared-memory files beside `path`. A side file left
    // beside an old table of that name would be applied to a new one.
    static void removeSideFiles(const QString& path);
    // The table file itself and its side files.
    static void removeWithSideFiles(const QString& path);

    // True for a result code saying another connection holds the database.
    static bool isHeldCode(int resultCode);
    // The message the user sees when another program holds the table `path`.
    static QString heldMessage(const QString& path, const QString& detail);
    // Throws TableError (heldMessage) when another connection holds the table `path`.
    // A missing file, or one that is no table, is free to be replaced.
    static void ensureNotHeld(const QString& path);
    // Whether another connection holds the table `path` now; never waits.
    static bool isHeld(const QString& path);
};

}  // namespace veska
