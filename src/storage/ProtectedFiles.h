#pragma once

#include <QString>

namespace veska {

// The files no writer of Veska may ever replace, whoever holds them: the record table of a
// folder ("Kestodb.db") and every recovery journal, each with SQLite's side files. A journal
// is known by its name ("<table>-recovery.db", "-recovery-N.db", the moved-aside
// "-recovery-yyyyMMdd-hhmmss.db") and by its content (journals carry their own application
// id in the file header), so a renamed or hard-linked journal is known too.
class ProtectedFiles {
public:
    // The record table's file name in its folder.
    static QString recordTableFileName() { return QStringLiteral("Kestodb.db"); }
    // The SQLite application id written into every journal's header ("VSKJ").
    static constexpr int kJournalApplicationId = 0x56534B4A;

    // What the file at `path` is, when it is one of these, as the end of "it is ..."
    // ("the record table of /data", "a recovery journal, which keeps ..."); empty otherwise.
    // Links are followed, and a hard link to the record table of the folder or of the
    // working directory counts as that table.
    static QString whatItIs(const QString& path);
    // Whether `fileName` (no folder) is a recovery journal's name or one of its side files.
    static bool isJournalName(const QString& fileName);
    // Whether `fileName` names the record table or one of its side files.
    static bool isRecordTableName(const QString& fileName);
    // Whether the file at `path` is a table file whose header carries the journal's id.
    static bool holdsJournal(const QString& path);
};

}  // namespace veska
