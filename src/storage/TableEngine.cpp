#include "storage/TableEngine.h"

#include "storage/ProtectedFiles.h"
#include "storage/SafeFileWriter.h"
#include "storage/SqliteConnection.h"
#include "storage/SqliteStatement.h"
#include "storage/TableFiles.h"
#include "storage/TableError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <utility>

namespace veska {

namespace {

constexpr int kWalkChunk = 512;

// "hh:mm:ss" of a valid time into `out`, as QTime::toString gives it; false for an invalid
// time (whose text is empty). Runs for every posted row: no locale machinery, no allocation.
bool timeChars(const QTime& t, char (&out)[9]) {
    if (!t.isValid()) return false;
    const int parts[3] = {t.hour(), t.minute(), t.second()};
    for (int k = 0; k < 3; ++k) {
        out[3 * k] = char('0' + parts[k] / 10);
        out[3 * k + 1] = char('0' + parts[k] % 10);
        if (k < 2) out[3 * k + 2] = ':';
    }
    out[8] = '\0';
    return true;
}

QString timeText(const QTime& t) {
    char text[9];
    return timeChars(t, text) ? QString::fromLatin1(text, 8) : QString();
}

// UTF-8 of `s` into `out`, reusing its capacity (row texts are nearly always ASCII).
void utf8Into(const QString& s, std::string& out) {
    out.clear();
    const QChar* chars = s.constData();
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (chars[i].unicode() >= 0x80) {
            const QByteArray rest = s.mid(i).toUtf8();
            out.append(rest.constData(), std::size_t(rest.size()));
            return;
        }
        out.push_back(char(chars[i].unicode()));
    }
}

// Whether the table was made WITHOUT ROWID: it then has no row ids to keep the rows' order.
bool isWithoutRowIdTable(sqlite3* db, const QString& table) {
    SqliteStatement q(db, QStringLiteral("SELECT sql FROM sqlite_master WHERE type='table' AND name=%1")
                              .arg(QLatin1Char('\'') + QString(table).replace(QLatin1Char('\''), QLatin1String("''")) + QLatin1Char('\'')));
    if (q.rc() != SQLITE_OK || sqlite3_step(q.get()) != SQLITE_ROW) return false;
    const QString sql = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(q.get(), 0)));
    static const QRegularExpression kWithoutRowId(QStringLiteral("\\bWITHOUT\\s+ROWID\\b"),
                                                  QRegularExpression::CaseInsensitiveOption);
    return kWithoutRowId.match(sql).hasMatch();
}

// The message the user sees for a failure on the file `path`.
QString describe(int rc, const QString& path, const QString& detail) {
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return TableFiles::heldMessage(path, detail);
    case SQLITE_NOTADB:
        return QStringLiteral("%1 is not a table file (%2)").arg(path, detail);
    case SQLITE_CANTOPEN:
        return QStringLiteral("Cannot open table %1 (%2)").arg(path, detail);
    default:
        return QStringLiteral("%1: %2").arg(path, detail);
    }
}

TableError::Cause causeOf(int rc, int systemError) {
    if ((rc & 0xff) == SQLITE_CONSTRAINT) return TableError::Cause::Constraint;
    if (TableFiles::isHeldCode(rc)) return TableError::Cause::Held;
    if ((rc & 0xff) == SQLITE_FULL || systemError == ENOSPC || systemError == EFBIG || systemError == EDQUOT)
        return TableError::Cause::DiskFull;
    return TableError::Cause::Other;
}

// Finds each path component without regard to case when the exact one is missing.
QString caseInsensitiveMatch(const QString& absolutePath) {
    const QStringList parts = absolutePath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current = QStringLiteral("/");
    for (const QString& part : parts) {
        QDir dir(current);
        if (!dir.exists(part)) {
            const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                      QDir::NoDotAndDotDot);
            auto it = std::find_if(entries.begin(), entries.end(), [&](const QString& e) {
                return e.compare(part, Qt::CaseInsensitive) == 0;
            });
            if (it == entries.end()) return absolutePath;
            current = dir.filePath(*it);
        } else {
            current = dir.filePath(part);
        }
    }
    return current;
}

}  // namespace

void TableEngine::bindValue(sqlite3_stmt* stmt, int index, const Value& value, std::string& scratch) {
    // Texts are bound from `scratch`, which outlives the statement's step (SQLITE_STATIC):
    // no copy by the engine and, once the buffers have grown, no allocation per row.
    if (const auto* i = std::get_if<qint64>(&value)) {
        sqlite3_bind_int64(stmt, index, *i);
    } else if (const auto* d = std::get_if<double>(&value)) {
        sqlite3_bind_double(stmt, index, *d);
    } else if (const auto* t = std::get_if<QTime>(&value)) {
        char text[9];
        scratch.assign(text, timeChars(*t, text) ? 8 : 0);
        sqlite3_bind_text(stmt, index, scratch.data(), int(scratch.size()), SQLITE_STATIC);
    } else if (const auto* s = std::get_if<QString>(&value)) {
        utf8Into(*s, scratch);
        sqlite3_bind_text(stmt, index, scratch.data(), int(scratch.size()), SQLITE_STATIC);
    } else {
        sqlite3_bind_null(stmt, index);
    }
}

TableEngine::TableEngine() = default;

TableEngine::~TableEngine() { close(); }

void TableEngine::setTableName(const QString& name) { m_tableName = name; }

QString TableEngine::resolvePath(const QString& name) {
    QString path = QDir::fromNativeSeparators(name);
    if (QFileInfo(path).suffix().isEmpty()) path += QLatin1String(".db");
    if (QDir::isRelativePath(path)) path = QDir::current().absoluteFilePath(path);
    path = QDir::cleanPath(path);
    if (QFileInfo::exists(path)) return path;
    return caseInsensitiveMatch(path);
}

TableEngine::FieldKind TableEngine::kindOf(const QString& declaredType) {
    const QString t = declaredType.toUpper();
    if (t.contains(QLatin1String("INT"))) return FieldKind::Integer;
    if (t.contains(QLatin1String("TIME"))) return FieldKind::Time;
    if (t.contains(QLatin1String("FLOA")) || t.contains(QLatin1String("REAL")) ||
        t.contains(QLatin1String("DOUB")))
        return FieldKind::Float;
    return FieldKind::Text;
}

void TableEngine::exec(const char* sql) const {
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) fail(rc, QString());
}

void TableEngine::fail(int rc, const QString& what) const {
    const int extended = m_db != nullptr ? sqlite3_extended_errcode(m_db) : rc;
    if (extended == SQLITE_READONLY_ROLLBACK || extended == SQLITE_READONLY_RECOVERY) {
        // A file opened for reading cannot roll back what a stopped writer left half-done.
        const QString side = m_path + QLatin1String(extended == SQLITE_READONLY_ROLLBACK ? "-journal" : "-wal");
        throw TableError(QStringLiteral("%1 was left half-written by a program that stopped while writing it: "
                                        "its journal %2 must be rolled back before the file can be read, which "
                                        "opening it once with write access does (for example: sqlite3 %1 "
                                        "\"PRAGMA quick_check\")").arg(m_path, side));
    }
    QString detail = SqliteConnection::errorText(m_db, rc);
    if (!what.isEmpty()) detail = what + QLatin1String(": ") + detail;
    throw TableError(describe(rc, m_path, detail), causeOf(rc, 0));
}

void TableEngine::open() {
    close();
    const QString path = resolvePath(m_tableName);
    if (!QFileInfo(path).isFile()) throw TableError(QStringLiteral("Table file not found: %1").arg(path));
    m_path = path;
    const int flags = m_readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags, nullptr);
    try {
        if (rc != SQLITE_OK) fail(rc, QString());
        sqlite3_busy_timeout(m_db, m_lockWaitMs);
        // Long runs of cached appends spill into the file beyond this, so memory stays flat.
        exec("PRAGMA cache_size=-2048");
        if (m_exclusive && !m_readOnly) {
            // The file's lock is taken in the normal locking mode, where a copy that has to
            // wait lets go of its read lock between tries; in exclusive mode two copies
            // starting together would each keep theirs and both be refused. Exclusive mode,
            // set once the lock is ours, keeps it until close.
            exec("BEGIN EXCLUSIVE");
            exec("PRAGMA locking_mode=EXCLUSIVE");
            if (!m_cached) exec("COMMIT");
        } else if (m_exclusive) {
            exec("PRAGMA locking_mode=EXCLUSIVE");
        }
        if (m_readOnly) {
            // Reading the schema below takes the shared lock, which exclusive locking mode
            // keeps until close: no other program can change the file meanwhile.
            if (m_cached) exec("BEGIN");
        } else if (m_cached && sqlite3_get_autocommit(m_db) != 0) {
            beginCaching();
        }
        loadSchema();
        prepareInsert();
        sqlite3_busy_timeout(m_db, 0);  // the lock is held now; nothing else ever waits
    } catch (...) {
        finalizeAll();
        sqlite3_close(m_db);
        m_db = nullptr;
        m_path.clear();
        throw;
    }
}

void TableEngine::openInMemory(const QString& sourcePath, const std::vector<Field>& fields,
                               const std::function<void(TableEngine&)>& fill) {
    close();
    const int rc = sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    m_path = sourcePath;
    m_inMemory = true;
    // The rows are written straight into the memory table, whatever the options say.
    const bool cached = std::exchange(m_cached, false);
    const auto restoreCached = qScopeGuard([this, cached] { m_cached = cached; });
    try {
        if (rc != SQLITE_OK) fail(rc, QString());
        QStringList columns;
        for (const Field& f : fields) columns << SqliteConnection::quoted(f.name) + QLatin1Char(' ') + f.declaredType;
        const QByteArray create =
            QStringLiteral("CREATE TABLE records(%1)").arg(columns.join(QLatin1Char(','))).toUtf8();
        exec(create.constData());
        loadSchema();
        prepareInsert();
        exec("BEGIN");
        if (fill) fill(*this);
        exec("COMMIT");
        // Nothing may change it from now on, whatever a caller tries.
        exec("PRAGMA query_only=ON");
    } catch (...) {
        close();
        throw;
    }
}

bool TableEngine::isReadOnly() const {
    return m_db != nullptr && (m_inMemory || sqlite3_db_readonly(m_db, "main") == 1);
}

void TableEngine::loadSchema() {
    {
        int rc = SQLITE_OK;
        m_laterTables = SqliteConnection::tables(m_db, &rc);
        if (rc != SQLITE_OK) fail(rc, QString());
        if (m_laterTables.isEmpty()) throw TableError(QStringLiteral("%1 is not a table file (it holds no table)").arg(m_path));
        m_internalName = m_laterTables.takeFirst();
    }
    m_fields.clear();
    {
        SqliteStatement q(m_db, QStringLiteral("PRAGMA table_info(%1)").arg(SqliteConnection::quoted(m_internalName)));
        if (q.rc() != SQLITE_OK) fail(q.rc(), QString());
        while (sqlite3_step(q.get()) == SQLITE_ROW) {
            Field f;
            f.name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(q.get(), 1)));
            f.declaredType = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(q.get(), 2)));
            f.kind = kindOf(f.declaredType);
            m_fields.push_back(f);
        }
    }
    // A field may carry the row id's name; rows are then read in order through an alias it
    // does not hide.
    m_rowId.clear();
    for (const char* alias : {"rowid", "_rowid_", "oid"}) {
        if (fieldIndex(QLatin1String(alias)) < 0) {
            m_rowId = QLatin1String(alias);
            break;
        }
    }
    if (m_rowId.isEmpty())
        throw TableError(QStringLiteral("%1: fields named rowid, _rowid_ and oid hide the order of the rows").arg(m_path));
    {
        SqliteStatement q(m_db, QStringLiteral("SELECT %2 FROM %1 LIMIT 0").arg(SqliteConnection::quoted(m_internalName), m_rowId));
        if (q.rc() != SQLITE_OK && isWithoutRowIdTable(m_db, m_internalName))
            throw TableError(QStringLiteral("%1: its table %2 is a WITHOUT ROWID table, which keeps no order of its "
                                            "rows; Veska reads ordinary tables only (copy the rows into one first)")
                                 .arg(m_path, m_internalName));
        if (q.rc() != SQLITE_OK) fail(q.rc(), QString());
    }
    countRows();
}

void TableEngine::countRows() {
    SqliteStatement q(m_db, QStringLiteral("SELECT count(*), min(%2), max(%2) FROM %1").arg(SqliteConnection::quoted(m_internalName), m_rowId));
    if (q.rc() != SQLITE_OK) fail(q.rc(), QString());
    const int rc = sqlite3_step(q.get());
    if (rc != SQLITE_ROW) fail(rc, QString());
    m_rowCount = sqlite3_column_int64(q.get(), 0);
    m_firstRowId = m_rowCount > 0 ? sqlite3_column_int64(q.get(), 1) : 1;
    // Row ids of a file written elsewhere may lie anywhere in the 64-bit range.
    qint64 span = 0;
    m_denseIds = m_rowCount == 0 ||
                 (!__builtin_sub_overflow(sqlite3_column_int64(q.get(), 2), m_firstRowId, &span) && span == m_rowCount - 1);
}

void TableEngine::beginCaching() { exec(m_exclusive ? "BEGIN EXCLUSIVE" : "BEGIN"); }

void TableEngine::noteLostTransaction() {
    if (!m_cached || m_readOnly || sqlite3_get_autocommit(m_db) == 0) return;
    // SQLite gave up the whole transaction: the file's rows are all that is left.
    m_heldRowsLost = true;
    m_walkRows.clear();
    m_walkIds.clear();
    m_walking = false;
    try {
        countRows();
    } catch (const TableError&) {
    }
}

void TableEngine::discardCachedRows() {
    if (!isOpen() || !m_cached || m_readOnly) return;
    if (sqlite3_get_autocommit(m_db) == 0) exec("ROLLBACK");
    m_heldRowsLost = false;
    m_walkRows.clear();
    m_walkIds.clear();
    m_walking = false;
    countRows();
    beginCaching();
}

void TableEngine::prepareInsert() {
    QStringList names;
    QStringList marks;
    for (const Field& f : m_fields) {
        names << SqliteConnection::quoted(f.name);
        marks << QStringLiteral("?");
    }
    const QByteArray sql = QStringLiteral("INSERT INTO %1(%2) VALUES(%3)")
                               .arg(SqliteConnection::quoted(m_internalName), names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')))
                               .toUtf8();
    const int rc = sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &m_insert, nullptr);
    if (rc != SQLITE_OK) fail(rc, QString());
}

void TableEngine::finalizeAll() {
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
}

void TableEngine::close() {
    if (m_db == nullptr) return;
    finalizeAll();
    // Rolls back cached rows: the file keeps what it held at open.
    if (sqlite3_get_autocommit(m_db) == 0) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(m_db);
    m_db = nullptr;
    m_inMemory = false;
    m_path.clear();
    m_fields.clear();
    m_rowCount = 0;
    m_heldRowsLost = false;
    m_appending = false;
    m_pending.clear();
    m_lastPosted.clear();
    m_walkRows.clear();
    m_walkIds.clear();
    m_walking = false;
}

void TableEngine::createTable(const QString& path, const std::vector<Field>& fields, const QString& internalName) {
    SafeFileWriter out(path);
    // A record table is only ever made where none is: never replaced, also not by a second
    // copy starting at the same moment.
    if (ProtectedFiles::isRecordTableName(QFileInfo(path).fileName())) out.createOnly();
    if (!out.openForOtherWriter()) throw TableError(QStringLiteral("Cannot create table %1 (%2)").arg(path, out.reason()));
    {
        SqliteConnection c(out.temporaryPath(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        QStringList columns;
        for (const Field& f : fields) columns << SqliteConnection::quoted(f.name) + QLatin1Char(' ') + f.declaredType;
        const QByteArray sql =
            QStringLiteral("CREATE TABLE %1(%2)").arg(SqliteConnection::quoted(internalName), columns.join(QLatin1Char(','))).toUtf8();
        const int rc = c.rc() != SQLITE_OK ? c.rc() : c.exec(sql.constData());
        if (rc != SQLITE_OK) {
            const QString detail = SqliteConnection::errorText(c.get(), rc);
            out.cancel();
            throw TableError(QStringLiteral("Cannot create table %1 (%2)").arg(path, detail));
        }
    }
    // A journal left beside an old file of that name would be applied to the new one.
    if (!out.writesDirectly()) TableFiles::removeSideFiles(out.targetPath());
    if (!out.commit()) throw TableError(QStringLiteral("Cannot create table %1 (%2)").arg(path, out.reason()));
}

int TableEngine::fieldIndex(const QString& name) const {
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

int TableEngine::requireField(const QString& name) const {
    const int i = fieldIndex(name);
    if (i < 0) throw TableError(QStringLiteral("Field '%1' not found").arg(name));
    return i;
}

qint64 TableEngine::highestWholeNumber(const QString& fieldName) const {
    if (!isOpen()) return 0;
    const int field = requireField(fieldName);
    SqliteStatement q(m_db, QStringLiteral("SELECT max(CAST(%1 AS INTEGER)) FROM %2")
                         .arg(SqliteConnection::quoted(m_fields[std::size_t(field)].name), SqliteConnection::quoted(m_internalName)));
    if (q.rc() != SQLITE_OK) fail(q.rc(), QString());
    const int rc = sqlite3_step(q.get());
    if (rc != SQLITE_ROW) fail(rc, QString());
    return sqlite3_column_int64(q.get(), 0);
}

void TableEngine::append() {
    if (!isOpen()) throw TableError(QStringLiteral("Cannot perform this operation on a closed table"));
    m_pending.assign(m_fields.size(), Value{});
    m_appending = true;
}

void TableEngine::setField(const QString& name, const Value& value) {
    if (!m_appending) throw TableError(QStringLiteral("Table is not in append mode"));
    m_pending[std::size_t(requireField(name))] = value;
}

void TableEngine::setField(int index, Value&& value) {
    if (!m_appending) throw TableError(QStringLiteral("Table is not in append mode"));
    if (index < 0 || std::size_t(index) >= m_pending.size())
        throw TableError(QStringLiteral("No field at position %1").arg(index));
    m_pending[std::size_t(index)] = std::move(value);
}

void TableEngine::cancel() {
    m_appending = false;
    m_pending.clear();
}

void TableEngine::post() {
    if (!m_appending) throw TableError(QStringLiteral("Table is not in append mode"));
    m_appending = false;
    // Cached rows are never written to the file directly: after a lost transaction the
    // next row opens a new one first.
    if (m_cached && !m_readOnly && sqlite3_get_autocommit(m_db) != 0) beginCaching();
    if (m_bindScratch.size() < m_pending.size()) m_bindScratch.resize(m_pending.size());
    for (std::size_t i = 0; i < m_pending.size(); ++i) bindValue(m_insert, int(i) + 1, m_pending[i], m_bindScratch[i]);
    const int rc = sqlite3_step(m_insert);
    // Taken before anything else talks to the engine: a rollback clears its message. The
    // engine's message names the cause ("UNIQUE constraint failed: Kestodb.No").
    const int systemError = rc == SQLITE_DONE ? 0 : sqlite3_system_errno(m_db);
    const QString engineText = rc == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(m_db));
    sqlite3_reset(m_insert);
    sqlite3_clear_bindings(m_insert);
    if (rc != SQLITE_DONE) {
        noteLostTransaction();
        QString detail = engineText.isEmpty() ? QString::fromUtf8(sqlite3_errstr(rc)) : engineText;
        if (systemError != 0) detail += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(std::strerror(systemError)));
        throw TableError(describe(rc, m_path, QStringLiteral("post: ") + detail), causeOf(rc, systemError));
    }
    const qint64 id = sqlite3_last_insert_rowid(m_db);
    if (m_rowCount == 0) {
        m_firstRowId = id;
        m_denseIds = true;
    } else if (qint64 next = 0; __builtin_add_overflow(m_firstRowId, m_rowCount, &next) || id != next) {
        m_denseIds = false;
    }
    ++m_rowCount;
    m_lastPosted = std::move(m_pending);
    m_pending.clear();
}

void TableEngine::empty() {
    if (!isOpen()) throw TableError(QStringLiteral("Cannot perform this operation on a closed table"));
    const QByteArray sql = QStringLiteral("DELETE FROM %1").arg(SqliteConnection::quoted(m_internalName)).toUtf8();
    // Never deletes the file's rows for good: cached updates always run in a transaction.
    if (m_cached && !m_readOnly && sqlite3_get_autocommit(m_db) != 0) beginCaching();
    try {
        exec(sql.constData());
    } catch (const TableError&) {
        noteLostTransaction();
        throw;
    }
    m_heldRowsLost = false;
    m_rowCount = 0;
    m_firstRowId = 1;
    m_denseIds = true;
    m_walkRows.clear();
    m_walkIds.clear();
}

TableEngine::Value TableEngine::columnValue(sqlite3_stmt* stmt, int column) {
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        return qint64(sqlite3_column_int64(stmt, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(stmt, column);
    case SQLITE_NULL:
        return std::monostate{};
    default:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)),
                                 sqlite3_column_bytes(stmt, column));
    }
}

void TableEngine::readRow(sqlite3_stmt* stmt, int firstColumn, std::vector<Value>& out) const {
    out.resize(m_fields.size());
    for (std::size_t i = 0; i < m_fields.size(); ++i) out[i] = columnValue(stmt, firstColumn + int(i));
}

void TableEngine::fillWalk() {
    m_walkRows.clear();
    m_walkIds.clear();
    m_walkIndex = 0;
    SqliteStatement q(m_db, QStringLiteral("SELECT %3, * FROM %1 WHERE %3 > ?1 ORDER BY %3 LIMIT %2")
                         .arg(SqliteConnection::quoted(m_internalName), QString::number(kWalkChunk), m_rowId));
    if (q.rc() != SQLITE_OK) fail(q.rc(), QString());
    sqlite3_bind_int64(q.get(), 1, m_walkLastId);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
        m_walkIds.push_back(sqlite3_column_int64(q.get(), 0));
        m_walkRows.emplace_back();
        readRow(q.get(), 1, m_walkRows.back());
    }
    if (rc != SQLITE_DONE) fail(rc, QString());
}

void TableEngine::first() {
    if (!isOpen()) throw TableError(QStringLiteral("Cannot perform this operation on a closed table"));
    m_walking = true;
    m_walkLastId = std::numeric_limits<qint64>::min();
    fillWalk();
}

void TableEngine::next() {
    if (eof()) return;
    if (++m_walkIndex < m_walkRows.size()) return;
    m_walkLastId = m_walkIds.back();
    fillWalk();
}

bool TableEngine::eof() const { return !m_walking || m_walkIndex >= m_walkRows.size(); }

TableEngine::Value TableEngine::fieldValue(const QString& name) const {
    const int i = requireField(name);
    if (eof()) throw TableError(QStringLiteral("No current row"));
    return m_walkRows[m_walkIndex][std::size_t(i)];
}

QString TableEngine::fieldText(const QString& name) const {
    return displayText(fieldValue(name), m_fields[std::size_t(requireField(name))].kind);
}

QString TableEngine::displayText(const Value& value, FieldKind kind) {
    if (const auto* i = std::get_if<qint64>(&value)) {
        if (kind == FieldKind::Time) return timeText(QTime(0, 0).addSecs(int(*i % 86400)));
        return QString::number(*i);
    }
    if (const auto* d = std::get_if<double>(&value)) {
        // A real in a whole-number field shows truncated when it fits one; one that does not
        // (infinite, beyond 2^63) shows as the real it is.
        constexpr double kWholeLimit = 9223372036854775808.0;  // 2^63
        if (kind == FieldKind::Integer && *d >= -kWholeLimit && *d < kWholeLimit) return QString::number(qint64(*d));
        return QString::number(*d, 'g', QLocale::FloatingPointShortest);
    }
    if (const auto* t = std::get_if<QTime>(&value)) return timeText(*t);
    if (const auto* s = std::get_if<QString>(&value)) return *s;
    return QString();
}

std::vector<QStringList> TableEngine::rowTexts(qint64 position, int count) const {
    std::vector<QStringList> rows;
    if (!isOpen() || count <= 0 || position < 0 || position >= m_rowCount) return rows;
    const QString sql = m_denseIds
                            ? QStringLiteral("SELECT * FROM %1 WHERE %2 >= ?1 ORDER BY %2 LIMIT ?2")
                            : QStringLiteral("SELECT * FROM %1 ORDER BY %2 LIMIT ?2 OFFSET ?1");
    SqliteStatement q(m_db, sql.arg(SqliteConnection::quoted(m_internalName), m_rowId));
    if (q.rc() != SQLITE_OK) fail(q.rc(), QString());
    sqlite3_bind_int64(q.get(), 1, m_denseIds ? m_firstRowId + position : position);
    sqlite3_bind_int(q.get(), 2, count);
    std::vector<Value> values;
    int rc = SQLITE_OK;
    rows.reserve(std::size_t(count));
    while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
        readRow(q.get(), 0, values);
        QStringList texts;
        texts.reserve(qsizetype(values.size()));
        for (std::size_t i = 0; i < values.size(); ++i) texts << displayText(values[i], m_fields[i].kind);
        rows.push_back(std::move(texts));
    }
    if (rc != SQLITE_DONE) fail(rc, QString());
    return rows;
}

void TableEngine::forEachRowText(const std::vector<int>& fieldPositions,
                                 const std::function<void(const std::vector<std::string_view>&)>& row,
                                 qint64 first, qint64 count) const {
    if (!isOpen()) throw TableError(QStringLiteral("Cannot perform this operation on a closed table"));
    if (first < 0) first = 0;
    const bool ranged = first > 0 || count >= 0;
    if (ranged && (count == 0 || first >= m_rowCount)) return;
    QStringList names;
    for (const int position : fieldPositions) {
        if (position < 0 || std::size_t(position) >= m_fields.size())
            throw TableError(QStringLiteral("No field at position %1").arg(position));
        names << SqliteConnection::quoted(m_fields[std::size_t(position)].name);
    }
    if (names.isEmpty()) return;
    // A range of a table with dense row ids is found through the ids, in any other table by
    // counting rows.
    const QString where = !ranged ? QString()
                          : m_denseIds ? QStringLiteral(" WHERE %1 >= ?1 AND %1 < ?2").arg(m_rowId)
                                       : QStringLiteral(" LIMIT ?2 OFFSET ?1");
    const QString sql = m_denseIds || !ranged ? QStringLiteral("SELECT %1 FROM %2%4 ORDER BY %3")
                                              : QStringLiteral("SELECT %1 FROM %2 ORDER BY %3%4");
    SqliteStatement q(m_db, sql.arg(names.join(QLatin1Char(',')), SqliteConnection::quoted(m_internalName), m_rowId, where));
    if (q.rc() != SQLITE_OK) fail(q.rc(), QString());
    if (ranged) {
        const qint64 end = count < 0 || count > m_rowCount - first ? m_rowCount : first + count;
        sqlite3_bind_int64(q.get(), 1, m_denseIds ? m_firstRowId + first : first);
        sqlite3_bind_int64(q.get(), 2, m_denseIds ? m_firstRowId + end : end - first);
    }
    const std::size_t n = fieldPositions.size();
    std::vector<std::string_view> texts(n);
    std::vector<QByteArray> converted(n);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
        for (std::size_t i = 0; i < n; ++i) {
            const int col = int(i);
            const FieldKind kind = m_fields[std::size_t(fieldPositions[i])].kind;
            const int type = sqlite3_column_type(q.get(), col);
            // Stored texts and whole numbers read as they display; anything else goes
            // through displayText so every reader sees the same text.
            if (type == SQLITE_TEXT || type == SQLITE_BLOB || (type == SQLITE_INTEGER && kind == FieldKind::Integer)) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(q.get(), col));
                texts[i] = std::string_view(text, std::size_t(sqlite3_column_bytes(q.get(), col)));
            } else if (type == SQLITE_NULL) {
                texts[i] = std::string_view();
            } else {
                Value value = type == SQLITE_INTEGER ? Value(qint64(sqlite3_column_int64(q.get(), col)))
                                                     : Value(sqlite3_column_double(q.get(), col));
                converted[i] = displayText(value, kind).toUtf8();
                texts[i] = std::string_view(converted[i].constData(), std::size_t(converted[i].size()));
            }
        }
        row(texts);
    }
    if (rc != SQLITE_DONE) fail(rc, QString());
}

namespace {

// Above this size a copy goes row by row, so saving never holds the whole table in memory.
constexpr sqlite3_int64 kImageCopyLimit = 256LL * 1024 * 1024;

sqlite3_int64 pragmaValue(sqlite3* db, const char* sql) {
    sqlite3_stmt* st = nullptr;
    sqlite3_int64 value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
        value = sqlite3_column_int64(st, 0);
    }
    sqlite3_finalize(st);
    return value;
}

// SQLite reports a short write as "database or disk is full" and forgets the system's
// error. Growing the file by one more block tells which limit was hit (a full disk, or a
// file size limit); the file is a temporary about to be removed.
int fullFileReason(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return ENOSPC;
    const QByteArray block(64 * 1024, '\0');
    const ssize_t n = ::write(fd, block.constData(), std::size_t(block.size()));
    const int error = n < 0 ? errno : (n < block.size() ? ENOSPC : 0);
    ::close(fd);
    return error != 0 ? error : ENOSPC;
}

// Why a write through a connection failed: the system's reason where there is one
// ("No space left on device" rather than "database or disk is full").
[[noreturn]] void failWriting(const SqliteConnection& c, int rc, const QString& path) {
    int error = c.get() != nullptr ? sqlite3_system_errno(c.get()) : 0;
    if (error == 0 && (rc & 0xff) == SQLITE_FULL) error = fullFileReason(path);
    throw TableError(error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : SqliteConnection::errorText(c.get(), rc));
}

// Writes a whole database image and makes it durable; throws with the system's reason.
void writeImage(const QString& path, const unsigned char* data, sqlite3_int64 size) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) throw TableError(QString::fromLocal8Bit(std::strerror(errno)));
    int error = 0;
    while (size > 0 && error == 0) {
        const ssize_t n = ::write(fd, data, std::size_t(size));
        if (n > 0) {
            data += n;
            size -= n;
        } else if (n == 0) {
            error = ENOSPC;
        } else if (errno != EINTR) {
            error = errno;
        }
    }
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
    if (error != 0) throw TableError(QString::fromLocal8Bit(std::strerror(error)));
}

}  // namespace

bool TableEngine::copyAsImage(const QString& part) const {
    // Only a file that holds just this table (no indexes) can be copied as it stands: the
    // copy must have the fields and rows and nothing else.
    const sqlite3_int64 objects = pragmaValue(m_db, "SELECT count(*) FROM sqlite_master");
    const sqlite3_int64 pages = pragmaValue(m_db, "PRAGMA page_count");
    const sqlite3_int64 pageSize = pragmaValue(m_db, "PRAGMA page_size");
    if (objects != 1 || pages < 0 || pageSize <= 0 || pages * pageSize > kImageCopyLimit) return false;
    // The image is the table as this connection sees it, the run's cached rows included.
    sqlite3_int64 size = 0;
    unsigned char* image = sqlite3_serialize(m_db, "main", &size, 0);
    if (image == nullptr) return false;
    // A copy of a journal is an ordinary record file: it does not carry the journal's mark.
    constexpr sqlite3_int64 kApplicationIdOffset = 68;
    if (size >= kApplicationIdOffset + 4) std::memset(image + kApplicationIdOffset, 0, 4);
    try {
        writeImage(part, image, size);
    } catch (...) {
        sqlite3_free(image);
        throw;
    }
    sqlite3_free(image);
    return true;
}

void TableEngine::writeCopy(const QString& freshFile) const {
    if (!isOpen()) throw TableError(QStringLiteral("Cannot perform this operation on a closed table"));
    if (copyAsImage(freshFile)) return;
    // The file is a temporary thrown away on failure, so it needs no journal; the final
    // commit still reaches the disk before it takes its name.
    SqliteConnection out(freshFile, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (out.rc() != SQLITE_OK) failWriting(out, out.rc(), freshFile);
    out.exec("PRAGMA journal_mode=OFF");
    out.exec("PRAGMA synchronous=FULL");
    if (const int rc = out.exec("BEGIN"); rc != SQLITE_OK) failWriting(out, rc, freshFile);
    QStringList columns;
    QStringList marks;
    for (const Field& f : m_fields) {
        columns << SqliteConnection::quoted(f.name) + QLatin1Char(' ') + f.declaredType;
        marks << QStringLiteral("?");
    }
    const QByteArray create =
        QStringLiteral("CREATE TABLE %1(%2)").arg(SqliteConnection::quoted(m_internalName), columns.join(QLatin1Char(','))).toUtf8();
    if (const int rc = out.exec(create.constData()); rc != SQLITE_OK) failWriting(out, rc, freshFile);
    SqliteStatement insert(out.get(), QStringLiteral("INSERT INTO %1 VALUES(%2)")
                                   .arg(SqliteConnection::quoted(m_internalName), marks.join(QLatin1Char(','))));
    if (insert.rc() != SQLITE_OK) failWriting(out, insert.rc(), freshFile);
    SqliteStatement select(m_db, QStringLiteral("SELECT * FROM %1 ORDER BY %2").arg(SqliteConnection::quoted(m_internalName), m_rowId));
    if (select.rc() != SQLITE_OK) fail(select.rc(), QString());
    const int n = int(m_fields.size());
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(select.get())) == SQLITE_ROW) {
        for (int i = 0; i < n; ++i) sqlite3_bind_value(insert.get(), i + 1, sqlite3_column_value(select.get(), i));
        const int irc = sqlite3_step(insert.get());
        sqlite3_reset(insert.get());
        if (irc != SQLITE_DONE) failWriting(out, irc, freshFile);
    }
    if (rc != SQLITE_DONE) fail(rc, QString());
    if (const int crc = out.exec("COMMIT"); crc != SQLITE_OK) failWriting(out, crc, freshFile);
}

void TableEngine::copyTo(const QString& fileName,
                         const std::function<void(const QString& finishedCopy)>& beforeCommit) const {
    if (!isOpen()) throw TableError(QStringLiteral("Cannot perform this operation on a closed table"));
    const QString name = QFileInfo(fileName).suffix().isEmpty() ? fileName + QLatin1String(".db") : fileName;
    SafeFileWriter out(QFileInfo::exists(name) ? name : resolvePath(name));
    out.protectTable(m_path);
    if (!out.openForOtherWriter()) throw TableError(QStringLiteral("Cannot write table %1 (%2)").arg(name, out.reason()));
    try {
        writeCopy(out.temporaryPath());
        if (beforeCommit) beforeCommit(out.temporaryPath());
    } catch (const TableError& e) {
        out.cancel();
        throw TableError(QStringLiteral("Cannot write table %1 (%2)").arg(name, e.message()));
    }
    // A journal left beside an old file of that name would be applied to the new one.
    if (!out.writesDirectly()) TableFiles::removeSideFiles(out.targetPath());
    if (!out.commit()) throw TableError(QStringLiteral("Cannot write table %1 (%2)").arg(name, out.reason()));
}

void TableEngine::addPrimaryIndex(const QString& fieldList) {
    if (!isOpen()) throw TableError(QStringLiteral("Cannot perform this operation on a closed table"));
    QStringList columns;
    for (const QString& part : fieldList.split(QRegularExpression(QStringLiteral("[;,]")), Qt::SkipEmptyParts)) {
        const QString name = part.trimmed();
        if (name.isEmpty()) continue;
        columns << SqliteConnection::quoted(m_fields[std::size_t(requireField(name))].name);
    }
    if (columns.isEmpty()) throw TableError(QStringLiteral("No fields given for the index"));
    const QByteArray sql = QStringLiteral("CREATE UNIQUE INDEX %1 ON %2(%3)")
                               .arg(SqliteConnection::quoted(m_internalName + QLatin1String("_primary")), SqliteConnection::quoted(m_internalName),
                                    columns.join(QLatin1Char(',')))
                               .toUtf8();
    exec(sql.constData());
}

}  // namespace veska
