#pragma once

#include <QString>
#include <QStringList>

struct sqlite3;

namespace veska {

// One SQLite connection for the length of a scope, and what every user of the library needs
// beside it: quoting a name, the first table of a file, and the reason of a failure.
class SqliteConnection {
public:
    // Opens `path` with the sqlite3_open_v2 flags; rc() says how that went.
    SqliteConnection(const QString& path, int flags);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    int rc() const { return m_rc; }
    sqlite3* get() const { return m_db; }
    int exec(const char* sql) const;
    // Name of the first user table; empty when there is none (`rc` then says whether the
    // lookup itself failed).
    QString firstTable(int* rc) const { return firstTable(m_db, rc); }

    static QString firstTable(sqlite3* db, int* rc);
    // Every user table of the file, in the order they were made.
    static QStringList tables(sqlite3* db, int* rc);
    // `name` as an SQL identifier in double quotes.
    static QString quoted(const QString& name);
    // The engine's message for a failure of `db` (or of `rc` without a connection).
    static QString errorText(sqlite3* db, int rc);
    // The reason as the user should read it: the system's words where there are some ("No
    // space left on device", "Read-only file system"), the engine's otherwise. Call it right
    // after the failing call: a failed write of the log leaves its cause only in errno.
    static QString failureReason(sqlite3* db, int rc);

private:
    sqlite3* m_db = nullptr;
    int m_rc = 0;
};

}  // namespace veska
