#pragma once

#include "storage/TableEngine.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <functional>

namespace veska {

// Crash safety for cached rows: every row appended to a table during a run is also written
// to a journal file beside the table's file, "<name>-recovery.db". The caller commits at the
// end of each read (and the journal by itself every 2,048 held rows): a committed row
// survives the process being killed. The log is flushed to the disk once a second, so a
// power cut loses at most the last second. The journal is an ordinary table file with the
// table's fields, so it can be opened, exported or copied like any record file.
//
// Promises kept by this class and by RecordTable:
// - Rows are never removed from a journal before they are safe elsewhere: finish() (remove
//   the file) is only for a deliberate end or after the rows were saved; release() closes
//   and keeps the file. Rows whose commit failed (disk full) stay buffered in memory and are
//   committed with the next batch that succeeds.
// - The journal is written in WAL mode under an exclusive lock held for its whole life, so
//   no shared-memory file exists and another process can tell that it is in use (inUse())
//   and leaves it alone.
// - A journal left by a killed run is moved aside only after its write-ahead log has been
//   folded into the file and the moved file has been read back with every row. When that
//   cannot be done (no space for the checkpoint, unreadable file) it stays under its own
//   name, and moveAside() throws with the journal's path and the reason.
// - A run never writes into a name that still holds files of another run: a new journal
//   takes the first free name of "<name>-recovery.db", "<name>-recovery-2.db", ... (a name
//   is free when neither the file nor its "-wal" or "-journal" side file exists). Files
//   moved aside are named "<name>-recovery-yyyyMMdd-hhmmss[-n].db" and are never taken for
//   live journals.
class RecoveryJournal : public QObject {
    Q_OBJECT
public:
    explicit RecoveryJournal(QObject* parent = nullptr);
    ~RecoveryJournal() override;  // commits pending rows and keeps the file

    // Whether another connection (this or another process) holds the journal open.
    static bool inUse(const QString& journalPath);
    // Rows in a journal file, those in its write-ahead log included. Throws TableError with
    // the path and reason when the file cannot be read. A file holding no table has 0 rows.
    static qint64 countRows(const QString& journalPath);
    // As countRows, 0 when the file cannot be read.
    static qint64 rowsIn(const QString& journalPath);
    // Folds the write-ahead log into the file, renames it to
    // "<base>-yyyyMMdd-hhmmss[-n].db" beside it, reads the moved file back and returns its
    // path. Throws TableError (the journal then stays where it was) when it is in use, cannot
    // be checkpointed (no space), or the moved file does not hold every row.
    static QString moveAside(const QString& journalPath, const QDateTime& now);
    // Folds the write-ahead log of a journal nobody holds into its file (TRUNCATE
    // checkpoint). Throws TableError with the path and reason.
    static void checkpoint(const QString& journalPath);
    // Removes a journal file with its side files.
    static void remove(const QString& journalPath);

    // Creates a journal beside `tableFile` under TableFiles::freeJournalPath() with these fields.
    void start(const QString& tableFile, const std::vector<TableEngine::Field>& fields);
    // Continues an existing journal; its rows stay.
    void resume(const QString& journalPath);
    bool isActive() const { return m_db != nullptr; }
    QString path() const { return m_path; }

    // Buffers a row; commits the batch when it is due. Throws TableError when a due commit
    // fails; the row stays buffered and is committed with the next batch.
    void append(const std::vector<TableEngine::Value>& values);
    // Buffers a row without committing; commitIfDue() or commit() makes it durable.
    void hold(const std::vector<TableEngine::Value>& values) { m_buffer.push_back(values); }
    void commitIfDue();  // commits when 2,048 rows are held
    void commit();   // makes buffered rows durable now; throws TableError on failure
    // commit() for the end of a read: false when it failed, which is reported through
    // failed() once per cause; the rows stay buffered for the next try.
    bool tryCommit();
    void finish();   // rows are safe elsewhere or deliberately dropped: close and remove the file
    // The run ended without its rows being saved: commit what is buffered, close, keep the
    // file. Returns the journal's path (empty when none was open). Never throws; a final
    // commit that fails is reported through failed() and the committed rows stay.
    QString release();
    qint64 pendingRows() const { return qint64(m_buffer.size()); }
    // Rows committed to the file, counted there through the journal's own connection (0
    // when none is open or it cannot be read).
    qint64 committedRows() const;
    // Every row the journal holds, committed ones first, then those still buffered, in the
    // order they came (field values by position). Reads through the journal's own
    // connection; throws TableError when the file cannot be read.
    void forEachRow(const std::function<void(const std::vector<TableEngine::Value>&)>& row) const;

signals:
    // A commit made by tryCommit() or the journal's own timer failed, or the log could not
    // be flushed to the disk (reported once until one succeeds).
    void failed(const QString& message);
    // Buffered rows were committed: they survive a crash of the process now.
    void committed();

private:
    static void create(const QString& path, const std::vector<TableEngine::Field>& fields);
    void openConnection(const QString& path);
    void closeConnection();
    void exec(const char* sql);
    void timedSync();

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    QString m_path;
    QString m_table;  // the journal's table inside its file
    std::vector<std::vector<TableEngine::Value>> m_buffer;  // rows not yet committed
    QString m_lastFailure;
    QString m_lastSyncFailure;
    std::vector<std::string> m_bindScratch;  // UTF-8 of a row's texts while it is inserted
    bool m_unsynced = false;  // commits since the log was last flushed to the disk
    QTimer m_syncTimer;
};

}  // namespace veska
