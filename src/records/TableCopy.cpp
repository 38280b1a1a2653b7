#include "TableCopy.h"

#include "SqliteFiles.h"
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

void TableCopy::ensureNotHeld(const QString& path) { SqliteFiles::ensureNotHeld(path); }

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
        SqliteFiles::removeWithSideFiles(part);
        // The user knows the file by the name chosen, not by its temporary name.
        QString message = e.message();
        message.replace(part + QLatin1String(".part"), dest).replace(part, dest);
        throw TableError(message);
    } catch (...) {
        SqliteFiles::removeWithSideFiles(part);
        throw;
    }
    // A journal left beside an old file of that name would be applied to the new one.
    SqliteFiles::removeSideFiles(dest);
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(part).toStdString(), QFile::encodeName(dest).toStdString(), ec);
    if (ec) {
        SqliteFiles::removeWithSideFiles(part);
        throw TableError(QStringLiteral("%1: %2").arg(dest, QString::fromStdString(ec.message())));
    }
}

}  // namespace veska
