#include "RecoveryJournal.h"

#include "SqliteFiles.h"
#include "TableError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace veska {

namespace {

// Pending rows are committed once they are this old, so a power cut loses less than a second.
constexpr int kCommitMs = 500;

QString engineMessage(sqlite3* db, const QString& path) {
    return QStringLiteral("%1: %2").arg(path, QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory"));
}

}  // namespace

RecoveryJournal::RecoveryJournal(QObject* parent) : QObject(parent) {
    m_flushTimer.setInterval(kCommitMs);
    connect(&m_flushTimer, &QTimer::timeout, this, [this] {
        if (m_pending > 0) commit();
    });
}

RecoveryJournal::~RecoveryJournal() {
    try {
        commit();
    } catch (...) {
        // Nothing sensible to do while being destroyed; the rows committed so far remain.
    }
    closeConnection();
}

QString RecoveryJournal::pathFor(const QString& tableFile) {
    const QFileInfo info(tableFile);
    return info.dir().filePath(info.completeBaseName() + QLatin1String("-recovery.db"));
}

qint64 RecoveryJournal::rowsIn(const QString& journalPath) {
    try {
        TableEngine t;
        t.setTableName(journalPath);
        t.setExclusive(true);
        t.open();
        return t.rowCount();
    } catch (const TableError&) {
        return 0;
    }
}

QString RecoveryJournal::moveAside(const QString& journalPath, const QDateTime& now) {
    // Fold a write-ahead log into the file first, so the renamed file stands alone.
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(journalPath.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK)
        sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
    sqlite3_close(db);

    const QFileInfo info(journalPath);
    const QString stem = info.dir().filePath(info.completeBaseName() + QLatin1Char('-') +
                                             now.toString(QStringLiteral("yyyyMMdd-hhmmss")));
    QString target = stem + QLatin1String(".db");
    for (int n = 2; QFileInfo::exists(target); ++n) target = stem + QStringLiteral("-%1.db").arg(n);
    if (!QFile::rename(journalPath, target))
        throw TableError(QStringLiteral("Cannot move %1 to %2").arg(journalPath, target));
    return target;
}

void RecoveryJournal::exec(const char* sql) {
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw TableError(engineMessage(m_db, m_path));
}

void RecoveryJournal::openConnection(const QString& path) {
    m_path = path;
    if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const QString message = engineMessage(m_db, path);
        closeConnection();
        throw TableError(message);
    }
    try {
        sqlite3_busy_timeout(m_db, 0);
        // Exclusive before WAL: no shared-memory file, and no other program can touch it.
        exec("PRAGMA locking_mode=EXCLUSIVE");
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=FULL");
        exec("BEGIN EXCLUSIVE");
        exec("COMMIT");
        sqlite3_stmt* info = nullptr;
        if (sqlite3_prepare_v2(m_db,
                               "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite\\_%' "
                               "ESCAPE '\\' ORDER BY rowid LIMIT 1",
                               -1, &info, nullptr) != SQLITE_OK ||
            sqlite3_step(info) != SQLITE_ROW) {
            sqlite3_finalize(info);
            throw TableError(QStringLiteral("%1 is not a table file").arg(path));
        }
        QString table = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(info, 0)));
        sqlite3_finalize(info);
        table.replace(QLatin1Char('"'), QLatin1String("\"\""));
        m_table = table;
        // Column count of the table, for the insert's placeholders.
        const QByteArray count = QStringLiteral("SELECT * FROM \"%1\" LIMIT 0").arg(table).toUtf8();
        sqlite3_stmt* probeStmt = nullptr;
        if (sqlite3_prepare_v2(m_db, count.constData(), -1, &probeStmt, nullptr) != SQLITE_OK)
            throw TableError(engineMessage(m_db, path));
        const int columns = sqlite3_column_count(probeStmt);
        sqlite3_finalize(probeStmt);
        QStringList marks;
        for (int i = 0; i < columns; ++i) marks << QStringLiteral("?");
        const QByteArray insert =
            QStringLiteral("INSERT INTO \"%1\" VALUES(%2)").arg(table, marks.join(QLatin1Char(','))).toUtf8();
        if (sqlite3_prepare_v2(m_db, insert.constData(), -1, &m_insert, nullptr) != SQLITE_OK)
            throw TableError(engineMessage(m_db, path));
    } catch (...) {
        closeConnection();
        throw;
    }
    m_sinceCommit.start();
    m_flushTimer.start();
}

void RecoveryJournal::closeConnection() {
    m_flushTimer.stop();
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    if (m_db != nullptr && sqlite3_get_autocommit(m_db) == 0)
        sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(m_db);
    m_db = nullptr;
    m_pending = 0;
}

void RecoveryJournal::start(const QString& tableFile, const std::vector<TableEngine::Field>& fields) {
    const QString path = pathFor(tableFile);
    if (QFileInfo::exists(path))
        throw TableError(QStringLiteral("Recovery journal %1 already exists").arg(path));
    closeConnection();
    TableEngine::createTable(path, fields);
    openConnection(path);
}

void RecoveryJournal::resume(const QString& journalPath) {
    closeConnection();
    openConnection(journalPath);
}

void RecoveryJournal::append(const std::vector<TableEngine::Value>& values) {
    if (m_db == nullptr) throw TableError(QStringLiteral("Recovery journal is not open"));
    if (m_pending == 0) exec("BEGIN");
    const int params = sqlite3_bind_parameter_count(m_insert);
    for (int i = 0; i < params; ++i) {
        const TableEngine::Value value = std::size_t(i) < values.size() ? values[std::size_t(i)] : TableEngine::Value{};
        if (const auto* n = std::get_if<qint64>(&value)) {
            sqlite3_bind_int64(m_insert, i + 1, *n);
        } else if (const auto* d = std::get_if<double>(&value)) {
            sqlite3_bind_double(m_insert, i + 1, *d);
        } else if (const auto* t = std::get_if<QTime>(&value)) {
            sqlite3_bind_text(m_insert, i + 1, t->toString(QStringLiteral("hh:mm:ss")).toUtf8().constData(), -1,
                              SQLITE_TRANSIENT);
        } else if (const auto* s = std::get_if<QString>(&value)) {
            sqlite3_bind_text(m_insert, i + 1, s->toUtf8().constData(), -1, SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_null(m_insert, i + 1);
        }
    }
    const int rc = sqlite3_step(m_insert);
    sqlite3_reset(m_insert);
    if (rc != SQLITE_DONE) throw TableError(engineMessage(m_db, m_path));
    ++m_pending;
    flushIfDue();
}

void RecoveryJournal::flushIfDue() {
    if (m_sinceCommit.elapsed() >= kCommitMs) commit();
}

void RecoveryJournal::commit() {
    if (m_db == nullptr || m_pending == 0) return;
    exec("COMMIT");
    m_pending = 0;
    m_sinceCommit.restart();
}

void RecoveryJournal::clear() {
    if (m_db == nullptr) return;
    commit();
    exec("BEGIN");
    const QByteArray sql = QStringLiteral("DELETE FROM \"%1\"").arg(m_table).toUtf8();
    exec(sql.constData());
    exec("COMMIT");
}

void RecoveryJournal::finish() {
    if (m_db == nullptr) return;
    const QString path = m_path;
    m_pending = 0;
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    closeConnection();
    QFile::remove(path);
    SqliteFiles::removeSideFiles(path);
    m_path.clear();
}

}  // namespace veska
