#include "storage/SqliteConnection.h"

#include "storage/SqliteStatement.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>

namespace veska {

SqliteConnection::SqliteConnection(const QString& path, int flags) {
    m_rc = sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags, nullptr);
}

SqliteConnection::~SqliteConnection() { sqlite3_close(m_db); }

int SqliteConnection::exec(const char* sql) const { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }

QString SqliteConnection::firstTable(sqlite3* db, int* rc) {
    SqliteStatement st(db, QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE "
                                          "'sqlite\\_%' ESCAPE '\\' ORDER BY rowid LIMIT 1"));
    *rc = st.rc();
    if (*rc != SQLITE_OK) return QString();
    const int step = sqlite3_step(st.get());
    if (step == SQLITE_ROW) return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)));
    if (step != SQLITE_DONE) *rc = step;
    return QString();
}

QStringList SqliteConnection::tables(sqlite3* db, int* rc) {
    SqliteStatement st(db, QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE "
                                          "'sqlite\\_%' ESCAPE '\\' ORDER BY rowid"));
    *rc = st.rc();
    QStringList names;
    if (*rc != SQLITE_OK) return names;
    int step = SQLITE_OK;
    while ((step = sqlite3_step(st.get())) == SQLITE_ROW)
        names << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)));
    if (step != SQLITE_DONE) *rc = step;
    return names;
}

QString SqliteConnection::quoted(const QString& name) {
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString SqliteConnection::errorText(sqlite3* db, int rc) {
    if (db != nullptr) return QString::fromUtf8(sqlite3_errmsg(db));
    return QString::fromUtf8(sqlite3_errstr(rc));
}

QString SqliteConnection::failureReason(sqlite3* db, int rc) {
    const int lastErrno = errno;
    const int primary = rc & 0xff;
    if (primary == SQLITE_FULL) return QString::fromLocal8Bit(std::strerror(ENOSPC));
    if (primary == SQLITE_IOERR || primary == SQLITE_CANTOPEN) {
        if (db != nullptr && sqlite3_system_errno(db) != 0)
            return QString::fromLocal8Bit(std::strerror(sqlite3_system_errno(db)));
        for (const int cause : {ENOSPC, EFBIG, EDQUOT, EROFS, EIO, EACCES, EPERM})
            if (lastErrno == cause) return QString::fromLocal8Bit(std::strerror(cause));
    }
    return errorText(db, rc);
}

}  // namespace veska
