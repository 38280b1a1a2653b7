#pragma once

#include "RecoveryJournal.h"
#include "TableEngine.h"

#include <QObject>

namespace veska {

// TSorvuDB: the record table. A table file opened for exclusive use with cached updates
// (rows appended during the run never reach the file), mirrored into a recovery journal so
// a crash loses at most the last second of rows. Everything that changes its rows goes
// through here so readers (the grid, headless output) hear about it.
class RecordTable : public QObject {
    Q_OBJECT
public:
    // The seven fields No, Time, DC/AC, Value, Unit, AUTO, Nval.
    static std::vector<TableEngine::Field> recordFields();
    static QString defaultTableName() { return QStringLiteral("Kestodb"); }

    explicit RecordTable(QObject* parent = nullptr);
    ~RecordTable() override;  // close(): a normal end

    // Read access for walking, row texts and copies (data files, grid, report).
    const TableEngine& engine() const { return m_engine; }

    // --- opening and closing ---
    // Start-up: opens "Kestodb" in the working directory, creating it empty with the seven
    // fields when the file is missing. Throws TableError (e.g. another copy holds it).
    void openDefault();
    // Closes the current table (its cached rows are discarded) and opens `name` in its place
    // (a bare name resolves in the working directory). Throws TableError; the record table
    // is then closed.
    void openTable(const QString& name);
    // Normal end: discards cached rows and removes the recovery journal.
    void close();
    // An end whose rows are not safe elsewhere (a failed final save): the journal keeps this
    // run's rows for the next start to offer, as after a crash. Returns the journal's path
    // (empty when the run had no journal).
    QString closeKeepingJournal();
    bool isOpen() const { return m_engine.isOpen(); }
    QString filePath() const { return m_engine.filePath(); }

    // --- a journal left by a run that crashed or was killed (checked at every open) ---
    bool hasLeftoverJournal() const { return !m_leftover.isEmpty(); }
    QString leftoverJournalPath() const { return m_leftover; }
    qint64 leftoverJournalRows() const;
    // Appends the journal's rows to the table (as rows of this run) and keeps journalling
    // into that file. Returns the number of rows restored.
    qint64 restoreJournal();
    // Renames the journal to a time-stamped name beside it and returns that path.
    QString moveJournalAside();
    // Makes the journal's pending rows durable now (it does so by itself within a second).
    void commitJournal() { m_journal.commit(); }

    // --- rows ---
    qint64 rowCount() const { return m_engine.rowCount(); }
    // Append, set fields by name (case-insensitive), post: as the engine's, plus the journal.
    // A journal that fell behind after a write failure catches up before the next row is
    // posted; when it cannot, post() throws and the row is not added, so the table never
    // runs ahead of its journal by more than the rows held when the failure happened.
    void append();
    void setField(const QString& name, const TableEngine::Value& value);
    void post();
    void cancel();  // drops a row being appended
    // Removes every row of the open table (the file itself is not changed) and the journal's.
    void empty();
    // Display texts of the row at a 0-based position, in field order.
    QStringList rowTexts(qint64 position) const;

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
    // Writing the journal failed outside a post (its periodic commit): rows held by the
    // table stay, the journal catches up at the next post.
    void writeFailed(const QString& message);

private:
    void detectLeftover();
    void ensureJournal();
    void catchUpJournal();

    TableEngine m_engine;
    RecoveryJournal m_journal;
    QString m_leftover;
    qint64 m_journalBase = 0;      // table position of the journal's first row
    bool m_journalBehind = false;  // a write failed: rows of the table are missing from it
    qint64 m_unsaved = 0;
    std::function<QDateTime()> m_now = [] { return QDateTime::currentDateTime(); };
};

}  // namespace veska
