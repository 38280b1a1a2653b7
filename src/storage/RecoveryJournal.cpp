#include "storage/RecoveryJournal.h"

#include "storage/ProtectedFiles.h"
#include "storage/SafeFileWriter.h"
#include "storage/SqliteConnection.h"
#include "storage/TableFiles.h"
#include "storage/TableError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace veska {

namespace {

// The log is flushed to the disk this often, so a power cut loses at most about a second.
constexpr int kSyncMs = 1000;
// Held rows are committed once this many are pending, also inside a read: a fast stream
// must not pile up rows in memory.
constexpr std::size_t kCommitRows = 2048;

QString engineMessage(sqlite3* db, int rc, const QString& path) {
    return QStringLiteral("%1: %2").arg(path, SqliteConnection::failureReason(db, rc));
}

// A short-lived connection to a journal nobody else should be using. Exclusive locking from
// the first access: the write-ahead log is read through private memory (no "-shm" file is
// created, which on a full disk could not be), and a journal another connection holds fails
// with SQLITE_BUSY instead of being read under its writer. Closing never checkpoints by
// itself: only checkpoint() folds the log, with its result checked.
class Probe {
public:
    explicit Probe(const QString& path) : m_path(path), m_connection(path, SQLITE_OPEN_READWRITE), m_db(m_connection.get()) {
        m_rc = m_connection.rc();
        if (m_rc != SQLITE_OK) return;
        sqlite3_busy_timeout(m_db, 0);
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        m_rc = exec("PRAGMA locking_mode=EXCLUSIVE");
    }

    int rc() const { return m_rc; }
    sqlite3* db() const { return m_db; }
    int exec(const char* sql) { return m_connection.exec(sql); }
    [[noreturn]] void fail(int rc, const QString& what) const {
        throw TableError(QStringLiteral("%1 %2: %3").arg(what, m_path, SqliteConnection::failureReason(m_db, rc)));
    }
    // Takes the file's lock; false when another connection holds it.
    bool lock() {
        m_rc = exec("BEGIN EXCLUSIVE");
        if (m_rc == SQLITE_OK) exec("COMMIT");
        return !TableFiles::isHeldCode(m_rc);
    }

private:
    QString m_path;
    SqliteConnection m_connection;
    sqlite3* m_db;
    int m_rc = SQLITE_OK;
};

quint32 bigEndian32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | quint32(u[3]);
}

// Bytes the file `path` grows by when its write-ahead log is folded in: the size the last
// committed frame gives the database, less what the file has now. Frames of an older log
// generation (other salts) end the scan, as they end the log for the engine.
qint64 checkpointGrowth(const QString& path) {
    QFile wal(path + QLatin1String("-wal"));
    if (!wal.open(QIODevice::ReadOnly)) return 0;
    const QByteArray header = wal.read(32);
    if (header.size() < 32) return 0;
    const qint64 pageSize = bigEndian32(header.constData() + 8) == 1 ? 65536 : bigEndian32(header.constData() + 8);
    if (pageSize < 512) return 0;
    qint64 pages = 0;
    std::vector<char> frame(std::size_t(24 + pageSize));
    while (wal.read(frame.data(), qint64(frame.size())) == qint64(frame.size())) {
        if (std::memcmp(frame.data() + 8, header.constData() + 16, 8) != 0) break;
        if (const quint32 commitPages = bigEndian32(frame.data() + 4); commitPages != 0) pages = commitPages;
    }
    return std::max<qint64>(0, pages * pageSize - QFileInfo(path).size());
}

}  // namespace

RecoveryJournal::RecoveryJournal(QObject* parent) : QObject(parent) {
    m_syncTimer.setInterval(kSyncMs);
    connect(&m_syncTimer, &QTimer::timeout, this, &RecoveryJournal::timedSync);
}

RecoveryJournal::~RecoveryJournal() { release(); }

bool RecoveryJournal::inUse(const QString& journalPath) {
    if (!QFileInfo::exists(journalPath)) return false;
    Probe p(journalPath);
    if (p.rc() != SQLITE_OK) return TableFiles::isHeldCode(p.rc());
    return !p.lock();
}

qint64 RecoveryJournal::countRows(const QString& journalPath) {
    if (!QFileInfo::exists(journalPath))
        throw TableError(QStringLiteral("Cannot read the recovery journal %1: %2")
                             .arg(journalPath, QString::fromLocal8Bit(std::strerror(ENOENT))));
    Probe p(journalPath);
    if (p.rc() != SQLITE_OK) p.fail(p.rc(), QStringLiteral("Cannot read the recovery journal"));
    int rc = SQLITE_OK;
    const QString table = SqliteConnection::firstTable(p.db(), &rc);
    if (rc != SQLITE_OK) p.fail(rc, QStringLiteral("Cannot read the recovery journal"));
    if (table.isEmpty()) return 0;
    sqlite3_stmt* st = nullptr;
    const QByteArray sql = QStringLiteral("SELECT count(*) FROM %1").arg(SqliteConnection::quoted(table)).toUtf8();
    rc = sqlite3_prepare_v2(p.db(), sql.constData(), -1, &st, nullptr);
    qint64 rows = -1;
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) rows = sqlite3_column_int64(st, 0);
    }
    sqlite3_finalize(st);
    if (rows < 0) p.fail(rc, QStringLiteral("Cannot read the recovery journal"));
    return rows;
}

qint64 RecoveryJournal::rowsIn(const QString& journalPath) {
    try {
        return countRows(journalPath);
    } catch (const TableError&) {
        return 0;
    }
}

void RecoveryJournal::checkpoint(const QString& journalPath) {
    const QString what = QStringLiteral("Cannot fold the write-ahead log into the recovery journal");
    Probe p(journalPath);
    if (p.rc() != SQLITE_OK) p.fail(p.rc(), what);
    if (!p.lock()) throw TableError(QStringLiteral("The recovery journal %1 is in use by another program").arg(journalPath));
    if (p.rc() != SQLITE_OK) p.fail(p.rc(), what);
    // A checkpoint without room fails half way, after filling what space there was: ask first.
    struct statvfs disk {};
    const qint64 growth = checkpointGrowth(journalPath);
    if (growth > 0 && ::statvfs(QFile::encodeName(journalPath).constData(), &disk) == 0 &&
        qint64(disk.f_bavail) * qint64(disk.f_frsize) < growth)
        throw TableError(QStringLiteral("%1 %2: %3 (%4 KB more are needed, %5 KB are free)")
                             .arg(what, journalPath, QString::fromLocal8Bit(std::strerror(ENOSPC)))
                             .arg((growth + 1023) / 1024)
                             .arg(qint64(disk.f_bavail) * qint64(disk.f_frsize) / 1024));
    // TRUNCATE: every frame copied into the file and synced, then the log emptied. A busy
    // or failed checkpoint leaves the log as it was.
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(p.db(), "PRAGMA wal_checkpoint(TRUNCATE)", -1, &st, nullptr);
    bool busy = false;
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) {
            busy = sqlite3_column_int(st, 0) != 0;
            rc = SQLITE_OK;
        }
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_OK) p.fail(rc, what);
    if (busy) throw TableError(QStringLiteral("The recovery journal %1 is in use by another program").arg(journalPath));
    // Back to a plain file: it then stands alone, without any side file.
    rc = p.exec("PRAGMA journal_mode=DELETE");
    if (rc != SQLITE_OK) p.fail(rc, what);
    const QFileInfo wal(journalPath + QLatin1String("-wal"));
    if (wal.exists() && wal.size() > 0)
        throw TableError(QStringLiteral("%1 %2: rows are still in %3").arg(what, journalPath, wal.filePath()));
}

void RecoveryJournal::remove(const QString& journalPath) {
    QFile::remove(journalPath);
    for (const char* suffix : TableFiles::kSideFileSuffixes) QFile::remove(journalPath + QLatin1String(suffix));
}

QString RecoveryJournal::moveAside(const QString& journalPath, const QDateTime& now) {
    if (inUse(journalPath))
        throw TableError(QStringLiteral("The recovery journal %1 is in use by another program; it was left alone")
                             .arg(journalPath));
    const auto stays = [&journalPath](const QString& reason) {
        return TableError(QStringLiteral("%1. The recovery journal was not moved: its rows stay in %2.")
                              .arg(reason, journalPath));
    };
    qint64 rows = 0;
    try {
        rows = countRows(journalPath);
        checkpoint(journalPath);
    } catch (const TableError& e) {
        throw stays(e.message());
    }

    const QFileInfo info(journalPath);
    const QString stem = info.dir().filePath(info.completeBaseName() + QLatin1Char('-') +
                                             now.toString(QStringLiteral("yyyyMMdd-hhmmss")));
    QString target = stem + QLatin1String(".db");
    for (int n = 2; TableFiles::hasAnyFile(target); ++n) target = stem + QStringLiteral("-%1.db").arg(n);
    // The log is empty now; a stale shared-memory file holds no rows.
    QFile::remove(journalPath + QLatin1String("-shm"));
    // Through the one move that syncs and never replaces a file of that name.
    if (const QString why = SafeFileWriter::moveFile(journalPath, target); !why.isEmpty())
        throw stays(QStringLiteral("Cannot rename it to %1: %2").arg(target, why));

    // Read the moved file back: it must hold every row on its own.
    QString problem;
    try {
        const qint64 moved = countRows(target);
        if (moved != rows) problem = QStringLiteral("The moved file %1 holds %2 of %3 rows").arg(target).arg(moved).arg(rows);
    } catch (const TableError& e) {
        problem = e.message();
    }
    if (TableFiles::hasAnyFile(journalPath)) problem = QStringLiteral("Files of %1 were left behind").arg(journalPath);
    if (problem.isEmpty()) return target;
    if (!TableFiles::hasAnyFile(journalPath) && SafeFileWriter::moveFile(target, journalPath).isEmpty()) throw stays(problem);
    throw TableError(QStringLiteral("The recovery journal %1 was moved to %2 but cannot be verified (%3)")
                         .arg(journalPath, target, problem));
}

void RecoveryJournal::exec(const char* sql) {
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throw TableError(engineMessage(m_db, rc, m_path));
}

void RecoveryJournal::openConnection(const QString& path) {
    m_path = path;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = engineMessage(m_db, rc, path);
        closeConnection();
        throw TableError(message);
    }
    try {
        sqlite3_busy_timeout(m_db, 0);
        // Exclusive before WAL: no shared-memory file, and no other program can touch it
        // while this run holds it (the lock is taken here and kept until close).
        exec("PRAGMA locking_mode=EXCLUSIVE");
        if (sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK) {
            if (TableFiles::isHeldCode(sqlite3_errcode(m_db)))
                throw TableError(QStringLiteral("The recovery journal %1 is in use by another program").arg(path));
            throw TableError(engineMessage(m_db, sqlite3_errcode(m_db), path));
        }
        exec("COMMIT");
        exec("PRAGMA journal_mode=WAL");
        // A commit is in the log (and survives the process) once it returns; the log goes to
        // the disk once a second (timedSync) and at every checkpoint, not at every commit.
        exec("PRAGMA synchronous=NORMAL");
        // Rows only go in, committed in small batches: a small page cache is enough.
        exec("PRAGMA cache_size=-512");
        int rc2 = SQLITE_OK;
        const QString table = SqliteConnection::firstTable(m_db, &rc2);
        if (rc2 != SQLITE_OK) throw TableError(engineMessage(m_db, rc2, path));
        if (table.isEmpty()) throw TableError(QStringLiteral("%1 is not a table file").arg(path));
        m_table = table;
        // Column count of the table, for the insert's placeholders.
        const QByteArray count = QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(SqliteConnection::quoted(table)).toUtf8();
        sqlite3_stmt* probeStmt = nullptr;
        if (const int prc = sqlite3_prepare_v2(m_db, count.constData(), -1, &probeStmt, nullptr); prc != SQLITE_OK)
            throw TableError(engineMessage(m_db, prc, path));
        const int columns = sqlite3_column_count(probeStmt);
        sqlite3_finalize(probeStmt);
        QStringList marks;
        for (int i = 0; i < columns; ++i) marks << QStringLiteral("?");
        const QByteArray insert =
            QStringLiteral("INSERT INTO %1 VALUES(%2)").arg(SqliteConnection::quoted(table), marks.join(QLatin1Char(','))).toUtf8();
        if (const int irc = sqlite3_prepare_v2(m_db, insert.constData(), -1, &m_insert, nullptr); irc != SQLITE_OK)
            throw TableError(engineMessage(m_db, irc, path));
    } catch (...) {
        closeConnection();
        throw;
    }
    m_syncTimer.start();
}

void RecoveryJournal::closeConnection() {
    m_syncTimer.stop();
    m_unsynced = false;
    m_lastSyncFailure.clear();
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    if (m_db != nullptr && sqlite3_get_autocommit(m_db) == 0)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(m_db);
    m_db = nullptr;
    m_buffer.clear();
    m_lastFailure.clear();
}

void RecoveryJournal::start(const QString& tableFile, const std::vector<TableEngine::Field>& fields) {
    closeConnection();
    const QString path = TableFiles::freeJournalPath(tableFile);
    try {
        create(path, fields);
        openConnection(path);
    } catch (const TableError&) {
        // A journal that could not be set up holds no rows; leave no half-made file behind.
        remove(path);
        m_path.clear();
        throw;
    }
}

void RecoveryJournal::create(const QString& path, const std::vector<TableEngine::Field>& fields) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) {
        QStringList columns;
        for (const TableEngine::Field& f : fields) columns << SqliteConnection::quoted(f.name) + QLatin1Char(' ') + f.declaredType;
        // The mark in the header tells a journal by its content, whatever its name.
        const QByteArray sql = QStringLiteral("PRAGMA application_id=%1; CREATE TABLE records(%2)")
                                   .arg(ProtectedFiles::kJournalApplicationId)
                                   .arg(columns.join(QLatin1Char(',')))
                                   .toUtf8();
        rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        const QString reason = SqliteConnection::failureReason(db, rc);
        sqlite3_close(db);
        throw TableError(QStringLiteral("Cannot create the recovery journal %1: %2").arg(path, reason));
    }
    sqlite3_close(db);
}

void RecoveryJournal::resume(const QString& journalPath) {
    closeConnection();
    openConnection(journalPath);
}

void RecoveryJournal::append(const std::vector<TableEngine::Value>& values) {
    if (m_db == nullptr) throw TableError(QStringLiteral("Recovery journal is not open"));
    m_buffer.push_back(values);
    commitIfDue();
}

void RecoveryJournal::commitIfDue() {
    if (m_buffer.size() >= kCommitRows) commit();
}

bool RecoveryJournal::tryCommit() {
    try {
        commit();
        return true;
    } catch (const TableError& e) {
        if (e.message() != m_lastFailure) {
            m_lastFailure = e.message();
            emit failed(e.message());
        }
        return false;
    }
}

void RecoveryJournal::timedSync() {
    // A timer slot: nothing may escape it. Rows a caller held without committing go in now;
    // on failure they stay buffered for the next attempt.
    if (!tryCommit() || !m_unsynced) return;
    // The log file as the engine has it open: its sync is the fsync a FULL commit would make.
    sqlite3_file* log = nullptr;
    if (sqlite3_file_control(m_db, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) != SQLITE_OK || log == nullptr ||
        log->pMethods == nullptr)
        return;
    const int rc = log->pMethods->xSync(log, SQLITE_SYNC_NORMAL);
    if (rc == SQLITE_OK) {
        m_unsynced = false;
        m_lastSyncFailure.clear();
        return;
    }
    const QString message = QStringLiteral("%1: %2").arg(m_path, SqliteConnection::failureReason(nullptr, rc));
    if (message != m_lastSyncFailure) {
        m_lastSyncFailure = message;
        emit failed(message);
    }
}

void RecoveryJournal::forEachRow(const std::function<void(const std::vector<TableEngine::Value>&)>& row) const {
    if (m_db == nullptr) return;
    const QByteArray sql = QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(SqliteConnection::quoted(m_table)).toUtf8();
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(m_db, sql.constData(), -1, &st, nullptr);
    // Finalized also when `row` throws.
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(st, sqlite3_finalize);
    if (rc != SQLITE_OK) throw TableError(engineMessage(m_db, rc, m_path));
    std::vector<TableEngine::Value> values(std::size_t(sqlite3_column_count(st)));
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        for (std::size_t i = 0; i < values.size(); ++i) values[i] = TableEngine::columnValue(st, int(i));
        row(values);
    }
    if (rc != SQLITE_DONE) throw TableError(engineMessage(m_db, rc, m_path));
    for (const auto& buffered : m_buffer) row(buffered);
}

qint64 RecoveryJournal::committedRows() const {
    if (m_db == nullptr) return 0;
    const QByteArray sql = QStringLiteral("SELECT count(*) FROM %1").arg(SqliteConnection::quoted(m_table)).toUtf8();
    sqlite3_stmt* st = nullptr;
    qint64 rows = 0;
    if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        rows = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return rows;
}

void RecoveryJournal::commit() {
    if (m_db == nullptr || m_buffer.empty()) return;
    const auto failWith = [this](int rc) {
        const QString message = engineMessage(m_db, rc, m_path);
        if (sqlite3_get_autocommit(m_db) == 0) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw TableError(message);
    };
    if (const int rc = sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr); rc != SQLITE_OK) failWith(rc);
    const int params = sqlite3_bind_parameter_count(m_insert);
    if (m_bindScratch.size() < std::size_t(params)) m_bindScratch.resize(std::size_t(params));
    const TableEngine::Value null;
    for (const auto& values : m_buffer) {
        for (int i = 0; i < params; ++i) {
            const TableEngine::Value& value = std::size_t(i) < values.size() ? values[std::size_t(i)] : null;
            TableEngine::bindValue(m_insert, i + 1, value, m_bindScratch[std::size_t(i)]);
        }
        const int rc = sqlite3_step(m_insert);
        sqlite3_reset(m_insert);
        if (rc != SQLITE_DONE) failWith(rc);
    }
    if (const int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr); rc != SQLITE_OK) failWith(rc);
    m_buffer.clear();
    m_lastFailure.clear();
    m_unsynced = true;
    emit committed();
}

void RecoveryJournal::finish() {
    if (m_db == nullptr) return;
    const QString path = m_path;
    closeConnection();
    remove(path);
    m_path.clear();
}

QString RecoveryJournal::release() {
    if (m_db == nullptr) return QString();
    try {
        commit();
    } catch (const TableError& e) {
        emit failed(e.message());
    }
    const QString path = m_path;
    closeConnection();
    m_path.clear();
    return path;
}

}  // namespace veska
