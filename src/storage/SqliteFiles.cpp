#include "storage/SqliteFiles.h"

#include "storage/TableError.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace veska {

void SqliteFiles::removeSideFiles(const QString& path) {
    for (const char* suffix : {"-journal", "-wal", "-shm"}) QFile::remove(path + QLatin1String(suffix));
}

void SqliteFiles::removeWithSideFiles(const QString& path) {
    QFile::remove(path);
    removeSideFiles(path);
}

bool SqliteFiles::isHeldCode(int resultCode) {
    const int primary = resultCode & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

QString SqliteFiles::heldMessage(const QString& path, const QString& detail) {
    return QStringLiteral("Table %1 is in use by another program (%2)").arg(path, detail);
}

bool SqliteFiles::isHeld(const QString& path) {
    try {
        ensureNotHeld(path);
        return false;
    } catch (const TableError&) {
        return true;
    }
}

void SqliteFiles::ensureNotHeld(const QString& path) {
    if (!QFileInfo::exists(path)) return;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);  // not a table file: an ordinary file to replace
        return;
    }
    sqlite3_busy_timeout(db, 0);
    const int rc = sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
    const QString detail = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    if (isHeldCode(rc)) throw TableError(heldMessage(path, detail), TableError::Cause::Held);
}

}  // namespace veska
