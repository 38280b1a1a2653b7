#include "TableCopy.h"

#include "TableEngine.h"
#include "TableError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <sqlite3.h>

#include <filesystem>

namespace veska {

namespace {

void removeWithSideFiles(const QString& path) {
    QFile::remove(path);
    for (const char* suffix : {"-journal", "-wal", "-shm"}) QFile::remove(path + QLatin1String(suffix));
}

bool sameFile(const QString& a, const QString& b) {
    std::error_code ec;
    return std::filesystem::equivalent(QFile::encodeName(a).toStdString(), QFile::encodeName(b).toStdString(), ec);
}

// A name in the destination's folder for the copy under construction, so the final rename
// stays on one file system and is atomic.
QString reserveTemporaryName(const QString& dest) {
    const QFileInfo info(dest);
    QTemporaryFile reserve(info.absolutePath() + QLatin1String("/.") + info.completeBaseName() +
                           QLatin1String("-XXXXXX.db"));
    reserve.setAutoRemove(false);
    if (!reserve.open()) {
        throw TableError(QStringLiteral("Cannot create table %1: %2").arg(dest, reserve.errorString()));
    }
    return reserve.fileName();
}

}  // namespace

void TableCopy::ensureNotHeld(const QString& path) {
    if (!QFileInfo::exists(path)) return;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 0);
        const int rc = sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
        const QString detail = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED) {
            throw TableError(QStringLiteral("Table %1 is in use by another program (%2)").arg(path, detail));
        }
        return;
    }
    sqlite3_close(db);  // not a table file: an ordinary file to replace
}

void TableCopy::indexCopy(const QString& path) {
    TableEngine dest;  // Tdest
    dest.setTableName(path);
    dest.setExclusive(true);
    dest.open();
    try {
        dest.addPrimaryIndex(primaryIndexField());
    } catch (const TableError&) {
        // Numbers repeat when a run continued an opened file's numbering: the rows are all
        // there, only the index is left out. The failed statement changed nothing.
    }
    dest.close();
}

void TableCopy::CopyTableTo(const TableEngine& source, const QString& fileName) {
    if (!source.isOpen()) throw TableError(QStringLiteral("Cannot perform this operation on a closed table"));
    const QString dest = QDir::cleanPath(QDir::current().absoluteFilePath(QDir::fromNativeSeparators(fileName)));
    if (sameFile(dest, source.filePath())) throw TableError(QStringLiteral("Cannot replace the open table %1").arg(dest));
    if (QFileInfo(dest).isDir()) throw TableError(QStringLiteral("Cannot create table %1: it is a folder").arg(dest));
    ensureNotHeld(dest);

    const QString part = reserveTemporaryName(dest);
    try {
        source.copyTo(part);
        indexCopy(part);
    } catch (const TableError& e) {
        removeWithSideFiles(part);
        // The user knows the file by the name chosen, not by its temporary name.
        QString message = e.message();
        message.replace(part + QLatin1String(".part"), dest).replace(part, dest);
        throw TableError(message);
    } catch (...) {
        removeWithSideFiles(part);
        throw;
    }
    // A journal left beside an old file of that name would be applied to the new one.
    for (const char* suffix : {"-journal", "-wal", "-shm"}) QFile::remove(dest + QLatin1String(suffix));
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(part).toStdString(), QFile::encodeName(dest).toStdString(), ec);
    if (ec) {
        removeWithSideFiles(part);
        throw TableError(QStringLiteral("%1: %2").arg(dest, QString::fromStdString(ec.message())));
    }
}

}  // namespace veska
