#include "storage/TableFiles.h"

#include "storage/TableError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace veska {

namespace {

QString liveJournalName(const QString& base, int n) {
    return n <= 1 ? base + QLatin1String("-recovery.db") : base + QStringLiteral("-recovery-%1.db").arg(n);
}

}  // namespace

void TableFiles::removeSideFiles(const QString& path) {
    for (const char* suffix : kSideFileSuffixes) QFile::remove(path + QLatin1String(suffix));
}

bool TableFiles::hasAnyFile(const QString& path) {
    return QFileInfo::exists(path) || QFileInfo::exists(path + QLatin1String("-wal")) ||
           QFileInfo::exists(path + QLatin1String("-journal"));
}

bool TableFiles::isHeldCode(int resultCode) {
    const int primary = resultCode & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

QString TableFiles::heldMessage(const QString& path, const QString& detail) {
    return QStringLiteral("Table %1 is in use by another program (%2)").arg(path, detail);
}

bool TableFiles::isHeld(const QString& path) {
    if (!QFileInfo::exists(path)) return false;
    sqlite3* db = nullptr;
    bool held = false;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 0);
        held = isHeldCode(sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr));
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
    return held;
}

QString TableFiles::journalPath(const QString& tableFile) {
    const QFileInfo info(tableFile);
    return info.dir().filePath(liveJournalName(info.completeBaseName(), 1));
}

QStringList TableFiles::liveJournalPaths(const QString& tableFile) {
    const QFileInfo info(tableFile);
    const QString base = info.completeBaseName();
    // Moved-aside files ("-recovery-yyyyMMdd-hhmmss.db") do not match: their stamp has a dash.
    const QRegularExpression live(QStringLiteral("^%1-recovery(?:-(\\d+))?\\.db$").arg(QRegularExpression::escape(base)));
    std::vector<std::pair<qint64, QString>> found;
    const QStringList names = info.dir().entryList({base + QLatin1String("-recovery*.db")}, QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        const auto m = live.match(name);
        if (!m.hasMatch()) continue;
        const qint64 n = m.captured(1).isEmpty() ? 1 : m.captured(1).toLongLong();
        if (n < 2 && !m.captured(1).isEmpty()) continue;
        found.emplace_back(n, info.dir().filePath(name));
    }
    std::sort(found.begin(), found.end());
    QStringList paths;
    for (const auto& f : found) paths << f.second;
    return paths;
}

QString TableFiles::freeJournalPath(const QString& tableFile) {
    const QFileInfo info(tableFile);
    for (int n = 1;; ++n) {
        const QString path = info.dir().filePath(liveJournalName(info.completeBaseName(), n));
        if (!hasAnyFile(path)) return path;
    }
}

}  // namespace veska
