#pragma once

#include "storage/RecoveryJournal.h"
#include "storage/TableEngine.h"
#include "storage/TextExport.h"

#include <QObject>

namespace veska {

// recordTable: the record table. A table file opened for exclusive use with cached updates
// (rows appended during the run never reach the file), mirrored into a recovery journal:
// the rows of a read are committed to it at the read's end (commitRows), before anyone
// prints, publishes or shows them, so a killed process loses none of those; a power cut
// loses at most the last second. Everything that changes its rows goes
// through here so readers (the grid, headless output) hear about it.
class RecordTable : public QObject {
    Q_OBJECT
public:
    // How long opening waits for a lock another copy has for a moment.
    static constexpr int kStartLockWaitMs = 500;
    // The fields of a table Veska creates: No, Time, DC/AC, Value, Unit, AUTO, Nval, then
    // UTC (the moment as ISO 8601 UTC with milliseconds, text) and SIval (the value in its
    // base unit, NULL for overload). Tables of the first seven fields alone (older files)
    // are record tables as well: recording fills UTC and SIval only where they exist.
    static std::vector<TableEngine::Field> recordFields();
    static QString utcField() { return QStringLiteral("UTC"); }
    static QString siValueField() { return QStringLiteral("SIval"); }
    static QString defaultTableName() { return QStringLiteral("Kestodb"); }

    explicit RecordTable(QObject* parent = nullptr);
    // Keeps the journal when rows were not saved (closeKeepingJournal), closes otherwise.
    ~RecordTable() override;

    // Read access for walking, row texts and copies (data files, grid, report).
    const TableEngine& engine() const { return m_engine; }

    // --- opening and closing ---
    // Start-up: opens the table at `name` ("Kestodb" in the working directory unless a
    // session says otherwise), creating it empty with the record fields when the file is
    // missing. A Paradox table found under that name in another letter case (KESTODB.DB) is
    // left alone: the table of exactly that name is Veska's own. Throws TableError (e.g.
    // another copy holds it, or the file of that very name is a Paradox table).
    void openDefault(const QString& name = defaultTableName());
    // Closes the current table (its cached rows are discarded) and opens `name` in its place
    // (a bare name resolves in the working directory). Throws TableError; the record table
    // is then closed. A Paradox table is refused (ParadoxTable::notRecordableMessage).
    void openTable(const QString& name);
    // Deliberate end (the user chose to leave or to discard, or the rows were saved):
    // discards cached rows and removes the recovery journal.
    void close();
    // An end that is not the user's choice (a final save failed, the window went away
    // without asking): discards cached rows but keeps the journal with every row for the
    // next start. Returns the journal's path, empty when this run journalled no rows.
    QString closeKeepingJournal();
    bool isOpen() const { return m_engine.isOpen(); }
    QString filePath() const { return m_engine.filePath(); }

    // --- whether rows can be recorded into the open table ---
    // Checked at every open: the file must be writable and its folder must take new files
    // (the journal lives there). When not, every post() fails with notWritableReason(),
    // which names the path and the system's reason; callers report it once at start.
    bool isWritable() const { return m_notWritable.isEmpty(); }
    QString notWritableReason() const { return m_notWritable; }

    // --- journals left by runs that crashed or were killed (checked at every open) ---
    // Journals another running copy holds are never listed, read, moved or removed. Empty
    // ones are removed at open. The first unanswered journal is "the" leftover; answering
    // it (restore or move aside, successful or not) goes on to the next one.
    bool hasLeftoverJournal() const { return !m_leftovers.isEmpty(); }
    QString leftoverJournalPath() const { return m_leftovers.value(0); }
    qint64 leftoverJournalRows() const;
    // Appends the leftover's rows to the table (as rows of this run) and keeps journalling
    // into that file (or, when this run already journals elsewhere, copies them into that
    // journal, commits, and only then removes the leftover). Returns the number of rows
    // restored. Throws TableError when the journal is in use or cannot be read in full; it
    // then stays where it is.
    qint64 restoreJournal();
    // Highest `No` among the rows restored since the table was opened (0 when none):
    // numbering goes on after it.
    qint64 highestRestoredNo() const { return m_highestRestoredNo; }
    // Highest `No` of every row the table holds now (a restored backup, a copied run, this
    // run's rows); 0 when it holds none or has no such field. Numbering goes on after it.
    qint64 highestNo() const;
    // Moves the leftover aside (see RecoveryJournal::moveAside) and returns the new path.
    // Throws TableError with the reason when it cannot; the journal then stays under its
    // own name and this run journals under another free name.
    QString moveJournalAside();
    // Makes the journal's pending rows durable now; throws TableError.
    void commitJournal() { m_journal.commit(); }
    // The end of a read: every row posted so far goes into the journal and is committed.
    // False when that failed (told once per cause through journalFailed); the rows stay
    // held for the next try. True when nothing was pending.
    bool commitRows();
    // Path of the journal this run writes (empty before the first row).
    QString journalPath() const { return m_journal.path(); }
    // Rows of this run the journal holds on disk now (counted in the file).
    qint64 journalRows() const { return m_journal.committedRows(); }

    // --- rows ---
    qint64 rowCount() const { return m_engine.rowCount(); }
    // Append, set fields by name (case-insensitive), post: as the engine's, plus the journal.
    // When a failed post took the run's cached rows with it (a spill on a full disk, see
    // TableEngine), the next append() first puts them back from the journal, or throws.
    void append();
    void setField(const QString& name, const TableEngine::Value& value);
    void setField(int index, TableEngine::Value&& value) { m_engine.setField(index, std::move(value)); }
    void post();
    void cancel();  // drops a row being appended
    // Removes every row of the open table (the file itself is not changed) and the journal's.
    void empty();
    // Display texts of the row at a 0-based position, in field order.
    QStringList rowTexts(qint64 position) const;

    // Whether the table holds every row of the run: false after a failed write took the
    // cached rows along (they are in the journal) until they are put back.
    bool holdsEveryRow() const { return !m_reloadRows; }
    // Puts such rows back from the journal now (saving and printing need them all); does
    // nothing when none are missing. Throws TableError when that cannot be done yet.
    void restoreLostRows();

    // Writes every row of the table under `fileName` in the format the name selects
    // (TableSaver), lost rows put back first. Throws TableError as TableSaver::save does and
    // when lost rows cannot be put back. On success the caller calls markSaved().
    TextExport::Result saveTo(const QString& fileName);

    // Rows appended since the table was opened or last saved.
    qint64 unsavedRows() const { return m_unsaved; }
    // The data-file commands call this after saving the table: the rows are safe elsewhere.
    void markSaved();

    // Time source for naming moved journals (tests).
    void setNow(std::function<QDateTime()> now) { m_now = std::move(now); }

signals:
    void rowPosted(qint64 position);  // a row was appended at `position`
    void tableReset();                // opened, closed, emptied or restored: read again
    void unsavedRowsChanged(qint64 count);
    // The rows posted so far are committed to the journal: they survive a crash now.
    void rowsCommitted();
    // The journal could not be started or committed (disk full, ...): at the end of a read
    // or by its own timer; the rows stay in the table and are committed to the journal once
    // that works again. Reported once per cause.
    void journalFailed(const QString& message);

private:
    void detectLeftover();
    void checkWritable();
    void ensureJournal();
    void closeEngine();
    // Appends the journal's rows (and those waiting for it) again after the engine lost its
    // cached rows; all or none. Throws TableError.
    void reloadLostRows();

    TableEngine m_engine;
    RecoveryJournal m_journal;
    QStringList m_leftovers;
    // Posted rows that wait for a journal that could not be started yet (disk full).
    std::vector<std::vector<TableEngine::Value>> m_unjournalled;
    QString m_journalStartFailure;  // told once until the journal starts
    QString m_notWritable;
    qint64 m_highestRestoredNo = 0;
    bool m_reloadRows = false;  // the engine lost the cached rows: reload them before the next row
    qint64 m_unsaved = 0;
    std::function<QDateTime()> m_now = [] { return QDateTime::currentDateTime(); };
};

}  // namespace veska
