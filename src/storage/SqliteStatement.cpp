#include "storage/SqliteStatement.h"

#include <sqlite3.h>

namespace veska {

SqliteStatement::SqliteStatement(sqlite3* db, const QString& sql) {
    const QByteArray utf8 = sql.toUtf8();
    m_rc = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_stmt, nullptr);
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(m_stmt); }

}  // namespace veska
