#pragma once

#include <QString>

struct sqlite3;
struct sqlite3_stmt;

namespace veska {

// A prepared statement for the length of a scope.
class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, const QString& sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    int rc() const { return m_rc; }
    sqlite3_stmt* get() const { return m_stmt; }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc = 0;
};

}  // namespace veska
