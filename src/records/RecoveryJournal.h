#pragma once

#include "TableEngine.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace veska {

// Crash safety for cached rows: every row appended to a table during a run is also written
// to a journal file beside the table's file, "<name>-recovery.db", committed in batches at
// least twice a second (one fsync per batch, not per row). A normal end removes it; a crash
// or kill leaves it for the next start, which restores it or moves it aside.
// The journal is an ordinary table file with the table's fields, so it can be opened,
// exported or copied like any record file.
class RecoveryJournal : public QObject {
    Q_OBJECT
public:
    explicit RecoveryJournal(QObject* parent = nullptr);
    ~RecoveryJournal() override;  // commits pending rows and keeps the file

    // "<dir>/<base>-recovery.db" for the table file "<dir>/<base>.db".
    static QString pathFor(const QString& tableFile);
    // Rows in a journal file (0 when it cannot be read).
    static qint64 rowsIn(const QString& journalPath);
    // Renames a journal to "<base>-recovery-yyyyMMdd-hhmmss[-n].db" and returns the new path.
    static QString moveAside(const QString& journalPath, const QDateTime& now);

    // Creates the journal for `tableFile` with these fields. Throws TableError when a journal
    // is already there: a run never overwrites another run's rows.
    void start(const QString& tableFile, const std::vector<TableEngine::Field>& fields);
    // Continues an existing journal; its rows stay.
    void resume(const QString& journalPath);
    bool isActive() const { return m_db != nullptr; }
    QString path() const { return m_path; }

    // A failed append or commit throws TableError; rows the engine rolled back with it are
    // no longer counted, so rowCount() always says what the file will hold.
    void append(const std::vector<TableEngine::Value>& values);
    void commit();  // makes pending rows durable now
    void clear();   // removes every row (durably)
    void finish();  // the run ended normally: close and remove the file
    // Commits what it can and closes, keeping the file and its rows for the next start.
    void closeKeepingFile();
    qint64 pendingRows() const { return m_pending; }
    // Rows the journal holds: committed ones plus pending ones.
    qint64 rowCount() const { return m_rows + m_pending; }

signals:
    // The periodic commit failed (a full disk): the pending rows are not in the file.
    void failed(const QString& message);

private:
    void openConnection(const QString& path);
    void closeConnection();
    void exec(const char* sql);
    void flushIfDue();
    void dropRolledBack();

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    QString m_path;
    QString m_table;  // quoted-safe name of the table inside the file
    qint64 m_pending = 0;
    qint64 m_rows = 0;  // committed rows in the file
    QElapsedTimer m_sinceCommit;
    QTimer m_flushTimer;
};

}  // namespace veska
