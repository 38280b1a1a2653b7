#include "storage/LeftoverTemporaries.h"

#include "storage/TableFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace veska {

namespace {

// ".NAME.xxxxxx.tmp", optionally followed by a side file's suffix.
const QRegularExpression& temporaryPattern() {
    static const QRegularExpression kPattern(QStringLiteral("^\\..+\\.[A-Za-z0-9]{6}\\.tmp(-journal|-wal|-shm)?$"));
    return kPattern;
}

QString mainTemporaryOf(const QString& path) {
    for (const char* suffix : TableFiles::kSideFileSuffixes)
        if (path.endsWith(QLatin1String(suffix))) return path.left(path.size() - qsizetype(std::strlen(suffix)));
    return path;
}

bool isOldRegularFile(const QByteArray& path, qint64 olderThan) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) && qint64(st.st_mtime) < olderThan;
}

// Whether no live writer holds the temporary at `path` (a missing file has no writer).
bool writerGone(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

}  // namespace

bool LeftoverTemporaries::isTemporaryName(const QString& fileName) {
    return temporaryPattern().match(fileName).hasMatch();
}

bool LeftoverTemporaries::lock(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; }

int LeftoverTemporaries::removeIn(const QString& folder, qint64 olderThan) {
    if (olderThan <= 0) return 0;
    const QStringList names = QDir(folder).entryList({QStringLiteral(".*.tmp*")}, QDir::Files | QDir::Hidden | QDir::System);
    int removed = 0;
    for (const QString& name : names) {
        if (!isTemporaryName(name)) continue;
        const QString path = folder + QLatin1Char('/') + name;
        const QByteArray encoded = QFile::encodeName(path);
        if (!isOldRegularFile(encoded, olderThan)) continue;
        const QByteArray mainTemporary = QFile::encodeName(mainTemporaryOf(path));
        if (!writerGone(mainTemporary)) continue;
        if (::unlink(encoded.constData()) == 0) ++removed;
    }
    return removed;
}

qint64 LeftoverTemporaries::processStart() {
    // Field 22 of /proc/self/stat: the start in clock ticks after boot; btime: the boot.
    std::ifstream stat("/proc/self/stat");
    std::string line;
    if (!std::getline(stat, line)) return 0;
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    unsigned long long startTicks = 0;
    for (int i = 3; i <= 22 && fields >> field; ++i)
        if (i == 22) startTicks = std::strtoull(field.c_str(), nullptr, 10);
    std::ifstream system("/proc/stat");
    long long bootTime = 0;
    for (std::string key; system >> key;) {
        if (key == "btime") {
            system >> bootTime;
            break;
        }
        std::getline(system, line);
    }
    const long ticks = ::sysconf(_SC_CLK_TCK);
    if (bootTime <= 0 || ticks <= 0 || startTicks == 0) return 0;
    return bootTime + qint64(startTicks / (unsigned long long)ticks);
}

}  // namespace veska
