#include "storage/ProtectedFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace veska {

namespace {

const QRegularExpression& sideFileSuffix() {
    static const QRegularExpression suffix(QStringLiteral("(-wal|-shm|-journal)$"));
    return suffix;
}

QString withoutSideSuffix(const QString& fileName) {
    QString name = fileName;
    name.remove(sideFileSuffix());
    return name;
}

bool sameFile(const QString& a, const QString& b) {
    struct stat sa {}, sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

QString describeName(const QString& fileName, const QString& folder) {
    const bool side = sideFileSuffix().match(fileName).hasMatch();
    if (ProtectedFiles::isRecordTableName(fileName))
        return side ? QStringLiteral("a side file of the record table of %1, which SQLite needs to read it").arg(folder)
                    : QStringLiteral("the record table of %1").arg(folder);
    if (ProtectedFiles::isJournalName(fileName))
        return side ? QStringLiteral("a side file of a recovery journal, which holds rows of a run that are saved nowhere else")
                    : QStringLiteral("a recovery journal, which keeps the rows of a run until they are saved");
    return QString();
}

}  // namespace

bool ProtectedFiles::isRecordTableName(const QString& fileName) {
    return withoutSideSuffix(fileName).compare(recordTableFileName(), Qt::CaseInsensitive) == 0;
}

bool ProtectedFiles::isJournalName(const QString& fileName) {
    // The live names and the moved-aside ones (whose stamp is two more numbers).
    static const QRegularExpression journal(QStringLiteral("^.+-recovery(-[0-9]+)*\\.db$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return journal.match(withoutSideSuffix(fileName)).hasMatch();
}

bool ProtectedFiles::holdsJournal(const QString& path) {
    // Only regular files are read: a FIFO would wait for a writer, a device may never end.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    unsigned char header[72] = {};
    const bool read = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::pread(fd, header, sizeof header, 0) == ssize_t(sizeof header);
    ::close(fd);
    if (!read || std::memcmp(header, "SQLite format 3", 16) != 0) return false;
    const unsigned char* id = header + 68;
    const quint32 value = (quint32(id[0]) << 24) | (quint32(id[1]) << 16) | (quint32(id[2]) << 8) | quint32(id[3]);
    return value == quint32(kJournalApplicationId);
}

QString ProtectedFiles::whatItIs(const QString& path) {
    const QFileInfo given(QDir::current().absoluteFilePath(path));
    // The name as given (a link called Kestodb.db is how the program reaches the table) and
    // the file it leads to.
    if (QString what = describeName(given.fileName(), given.absolutePath()); !what.isEmpty()) return what;
    const QString real = given.canonicalFilePath();
    const QFileInfo target(real.isEmpty() ? given.absoluteFilePath() : real);
    if (given.isSymLink() && real.isEmpty()) {
        // A dangling link: the file it would create.
        const QFileInfo pointed(given.absoluteDir(), given.symLinkTarget());
        if (QString what = describeName(pointed.fileName(), pointed.absolutePath()); !what.isEmpty()) return what;
    }
    if (QString what = describeName(target.fileName(), target.absolutePath()); !what.isEmpty()) return what;
    if (real.isEmpty()) return QString();
    for (const QString& folder : {target.absolutePath(), QDir::currentPath()}) {
        if (sameFile(real, QDir(folder).filePath(recordTableFileName())))
            return QStringLiteral("the record table of %1").arg(folder);
    }
    if (holdsJournal(real)) return QStringLiteral("a recovery journal by its content, which keeps the rows of a run until they are saved");
    return QString();
}

}  // namespace veska
