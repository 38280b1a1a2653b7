#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace veska {

// The one place that knows a table's files: the side files SQLite keeps beside it, the
// names of its recovery journals, and whether another program holds it right now.
class TableFiles {
public:
    // The rollback journal, write-ahead log and shared-memory file of a table or journal.
    static constexpr std::array<const char*, 3> kSideFileSuffixes{"-journal", "-wal", "-shm"};
    // True when `path` or a journal or log of it exists (a log alone still holds rows).
    static bool hasAnyFile(const QString& path);

    // The journal, write-ahead log and shared-memory files beside `path`. A side file left
    // beside an old table of that name would be applied to a new one.
    static void removeSideFiles(const QString& path);

    // True for a result code saying another connection holds the database.
    static bool isHeldCode(int resultCode);
    // The message the user sees when another program holds the table `path`.
    static QString heldMessage(const QString& path, const QString& detail);
    // Whether another connection holds the table `path` now; never waits. A missing file, or
    // one that is no table, is not held.
    static bool isHeld(const QString& path);

    // --- recovery journals: "<table>-recovery.db", then "-recovery-2.db" ... beside the table ---
    // The first journal name of `tableFile`.
    static QString journalPath(const QString& tableFile);
    // The live journals beside `tableFile` (not those moved aside), in order of their number.
    static QStringList liveJournalPaths(const QString& tableFile);
    // The first journal name with no file of it present.
    static QString freeJournalPath(const QString& tableFile);
};

}  // namespace veska
