#include "storage/SafeFileWriter.h"

#include "storage/LeftoverTemporaries.h"
#include "storage/ProtectedFiles.h"
#include "storage/TableFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <sqlite3.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veska {

namespace {

constexpr qint64 kBufferBytes = 1 << 16;
constexpr int kMaxLinks = 40;

QByteArray encoded(const QString& path) { return QFile::encodeName(path); }
QString decoded(const QByteArray& path) { return QFile::decodeName(path); }

QString systemReason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

QString absolute(const QString& path) { return QDir::cleanPath(QDir::current().absoluteFilePath(path)); }

QString folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QString nameOf(const QString& path) { return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1); }

// realpath(); empty with errno set when the path cannot be resolved.
QString realPath(const QString& path) {
    char* resolved = ::realpath(encoded(path).constData(), nullptr);
    if (resolved == nullptr) return QString();
    const QString out = decoded(QByteArray(resolved));
    std::free(resolved);
    return out;
}

// Follows links from `path` until a name that is not a link (it may not exist). Returns an
// empty text with errno set on a loop or an unreadable link.
QString followLinks(const QString& path) {
    QString current = path;
    for (int i = 0; i < kMaxLinks; ++i) {
        struct stat st {};
        if (::lstat(encoded(current).constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        QByteArray link(4096, '\0');
        const ssize_t n = ::readlink(encoded(current).constData(), link.data(), std::size_t(link.size()));
        if (n < 0) return QString();
        link.truncate(qsizetype(n));
        const QString text = decoded(link);
        current = QDir::cleanPath(text.startsWith(QLatin1Char('/')) ? text
                                                                    : folderOf(current) + QLatin1Char('/') + text);
    }
    errno = ELOOP;
    return QString();
}

// The one name a file is known by: links followed, folders resolved. A file that does not
// exist yet gets the name it would have. Empty when not even its folder exists.
QString canonicalName(const QString& path) {
    const QString followed = followLinks(absolute(path));
    if (followed.isEmpty()) return QString();
    const QString real = realPath(followed);
    if (!real.isEmpty()) return real;
    const QString folder = realPath(folderOf(followed));
    if (folder.isEmpty()) return QString();
    return (folder == QLatin1String("/") ? QString() : folder) + QLatin1Char('/') + nameOf(followed);
}

bool sameIdentity(const QString& a, const QString& b) {
    struct stat sa {}, sb {};
    return ::stat(encoded(a).constData(), &sa) == 0 && ::stat(encoded(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Paths naming files that are already open somewhere (/dev/stdout, /proc/self/fd/N): a
// rename there would make no sense, so they are always written in place.
bool namesAnOpenFile(const QString& absolutePath) {
    return absolutePath.startsWith(QLatin1String("/dev/")) || absolutePath.startsWith(QLatin1String("/proc/"));
}

QString randomTag() {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString tag;
    for (int i = 0; i < 6; ++i) tag += QLatin1Char(kChars[QRandomGenerator::global()->bounded(62)]);
    return tag;
}

// A writer to a FIFO whose reader went away gets EPIPE, not a SIGPIPE that ends the
// program: the signal is blocked for this thread while writing and a raised one consumed.
class PipeSignalBlock {
public:
    explicit PipeSignalBlock(bool active) : m_active(active) {
        if (!m_active) return;
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
    }
    ~PipeSignalBlock() {
        if (!m_active) return;
        if (!m_wasPending) {
            sigset_t pending;
            sigpending(&pending);
            if (sigismember(&pending, SIGPIPE) == 1) {
                const timespec zero{};
                sigtimedwait(&m_pipe, nullptr, &zero);
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    PipeSignalBlock(const PipeSignalBlock&) = delete;
    PipeSignalBlock& operator=(const PipeSignalBlock&) = delete;

private:
    bool m_active;
    bool m_wasPending = false;
    sigset_t m_pipe{};
    sigset_t m_old{};
};

// fsync() that accepts files which cannot be synced (devices, pipes).
bool syncFd(int fd) {
    if (::fsync(fd) == 0) return true;
    return errno == EINVAL || errno == EROFS || errno == ENOTSUP;
}

}  // namespace

SafeFileWriter::SafeFileWriter(const QString& fileName) : m_fileName(fileName) {}

SafeFileWriter::~SafeFileWriter() {
    if (!m_committed) cancel();
}

void SafeFileWriter::protectFile(const QString& path, const QString& why) {
    if (!path.isEmpty()) m_protected.push_back({path, why});
}

void SafeFileWriter::protectTable(const QString& tableFile) {
    if (tableFile.isEmpty()) return;
    const QString table = QDir::toNativeSeparators(tableFile);
    const QString journal = TableFiles::journalPath(tableFile);
    protectFile(tableFile, QStringLiteral("the open table %1").arg(table));
    protectFile(journal, QStringLiteral("the recovery journal of %1").arg(table));
    for (const char* suffix : TableFiles::kSideFileSuffixes) {
        protectFile(tableFile + QLatin1String(suffix), QStringLiteral("the open table %1").arg(table));
        protectFile(journal + QLatin1String(suffix), QStringLiteral("the recovery journal of %1").arg(table));
    }
}

QString SafeFileWriter::failureMessage() const {
    return QStringLiteral("Cannot write %1 (%2)").arg(m_fileName, m_reason);
}

bool SafeFileWriter::fail(int error) { return failWith(systemReason(error)); }

bool SafeFileWriter::failWith(const QString& reason) {
    if (m_reason.isEmpty()) m_reason = reason;
    setErrorString(failureMessage());
    return false;
}

bool SafeFileWriter::resolveTarget() {
    if (m_fileName.isEmpty()) return fail(ENOENT);
    const QString path = absolute(m_fileName);
    struct stat st {};
    if (::stat(encoded(path).constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return fail(EISDIR);
        m_direct = !S_ISREG(st.st_mode) || namesAnOpenFile(path);
        m_fifo = S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode);
        if (m_direct) {
            m_targetPath = path;
            return true;
        }
        m_targetPath = realPath(path);
        if (m_targetPath.isEmpty()) return fail(errno);
        m_replacing = true;
        m_targetMode = st.st_mode & 07777;
        // A file the user may not change is not replaced behind its back.
        if (::access(encoded(m_targetPath).constData(), W_OK) != 0) return fail(errno);
        return true;
    }
    if (errno != ENOENT) return fail(errno);
    // Missing, or a link to a file still to be made: the file is made where the link points.
    const QString followed = followLinks(path);
    if (followed.isEmpty()) return fail(errno);
    const QString folder = realPath(folderOf(followed));
    if (folder.isEmpty()) return fail(errno);
    m_targetPath = (folder == QLatin1String("/") ? QString() : folder) + QLatin1Char('/') + nameOf(followed);
    return true;
}

bool SafeFileWriter::refuseProtected() {
    const QString target = m_direct ? m_targetPath : canonicalName(m_targetPath);
    for (const Protected& p : m_protected) {
        const QString name = canonicalName(p.path);
        if ((!name.isEmpty() && name == target) || sameIdentity(m_targetPath, p.path))
            return failWith(QStringLiteral("it is %1").arg(p.why));
    }
    return true;
}

bool SafeFileWriter::refuseHeldTable() {
    // Only SQLite files are asked; nothing else is ever opened as one.
    QFile file(m_targetPath);
    if (!file.open(QIODevice::ReadOnly) || file.read(16) != QByteArray("SQLite format 3", 16)) return true;
    file.close();
    sqlite3* db = nullptr;
    bool held = false;
    if (sqlite3_open_v2(encoded(m_targetPath).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 0);
        const int rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
        held = TableFiles::isHeldCode(rc);
    }
    sqlite3_close(db);
    // Replacing it would pull the file from under the program still writing to it.
    return !held || failWith(QStringLiteral("it is a table in use by another program"));
}

QString SafeFileWriter::neverWritten(const QString& fileName) {
    return fileName.isEmpty() ? QString() : ProtectedFiles::whatItIs(fileName);
}

bool SafeFileWriter::refuseKeptFile() {
    QString what = ProtectedFiles::whatItIs(m_fileName);
    if (what.isEmpty() && m_targetPath != absolute(m_fileName)) what = ProtectedFiles::whatItIs(m_targetPath);
    if (what.isEmpty()) return true;
    // A record table still to be made is no table yet, and createOnly() never replaces one.
    if (m_createOnly && !m_replacing && !m_direct && ProtectedFiles::isRecordTableName(nameOf(m_targetPath))) return true;
    return failWith(QStringLiteral("it is %1").arg(what));
}

bool SafeFileWriter::createTemporary(const QString& folder) {
    const QString base = nameOf(m_targetPath).left(100);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = folder + QLatin1String("/.") + base + QLatin1Char('.') + randomTag() +
                                  QLatin1String(".tmp");
        const int fd = ::open(encoded(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            m_fd = fd;
            m_tempPath = candidate;
            // Held until the temporary is renamed or removed: a later writer beside it sees a
            // live writer, not a leftover. Another writer may fill the file, so a descriptor
            // of its own keeps the lock.
            m_lockFd = ::open(encoded(candidate).constData(), O_RDONLY | O_CLOEXEC);
            if (m_lockFd >= 0) LeftoverTemporaries::lock(m_lockFd);
            return true;
        }
        if (errno != EEXIST) return fail(errno);
    }
    return fail(EEXIST);
}

bool SafeFileWriter::openDirect() {
    const QByteArray path = encoded(m_targetPath);
    int flags = O_WRONLY | O_NOCTTY | O_CLOEXEC;
    struct stat st {};
    if (::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode)) flags |= O_TRUNC;
    if (m_fifo) {
        // Opening a FIFO without a reader would wait for ever.
        const int fd = ::open(path.constData(), flags | O_NONBLOCK);
        if (fd < 0) return errno == ENXIO ? failWith(QStringLiteral("no program is reading from it")) : fail(errno);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        m_fd = fd;
        return true;
    }
    m_fd = ::open(path.constData(), flags);
    return m_fd >= 0 || fail(errno);
}

bool SafeFileWriter::prepare() {
    m_reason.clear();
    m_committed = false;
    if (!resolveTarget() || !refuseProtected() || !refuseKeptFile()) return false;
    if (m_createOnly && (m_replacing || m_direct)) return fail(EEXIST);
    if (m_replacing && !refuseHeldTable()) return false;
    if (m_direct) {
        // Another writer fills a temporary first; its bytes go to the device at commit.
        if (m_otherWriter) {
            if (!createTemporary(QDir::tempPath())) return false;
            closeFd();
            return true;
        }
        return openDirect();
    }
    const QString folder = folderOf(m_targetPath);
    LeftoverTemporaries::removeIn(folder, LeftoverTemporaries::processStart());
    if (!createTemporary(folder)) return false;
    if (m_otherWriter) closeFd();
    return true;
}

bool SafeFileWriter::open(OpenMode mode) {
    if ((mode & (ReadOnly | Append)) != 0 || (mode & WriteOnly) == 0) return failWith(QStringLiteral("unsupported mode"));
    m_otherWriter = false;
    if (!prepare()) {
        removeTemporary();
        return false;
    }
    return QIODevice::open(WriteOnly | Unbuffered);
}

bool SafeFileWriter::openForOtherWriter() {
    m_otherWriter = true;
    if (!prepare()) {
        removeTemporary();
        return false;
    }
    return true;
}

bool SafeFileWriter::seek(qint64 pos) { return pos == QIODevice::pos() && QIODevice::seek(pos); }

qint64 SafeFileWriter::readData(char*, qint64) { return -1; }

qint64 SafeFileWriter::writeData(const char* data, qint64 size) {
    if (failed() || m_fd < 0) return -1;
    m_buffer.append(data, size);
    if (m_buffer.size() >= kBufferBytes && !flushBuffer()) return -1;
    return size;
}

bool SafeFileWriter::writeOut(int fd, const char* data, qint64 size) {
    const PipeSignalBlock block(m_fifo);
    while (size > 0) {
        const ssize_t n = ::write(fd, data, std::size_t(size));
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        if (n == 0) return fail(ENOSPC);
        data += n;
        size -= n;
    }
    return true;
}

bool SafeFileWriter::flushBuffer() {
    if (m_buffer.isEmpty() || failed()) return !failed();
    const bool ok = writeOut(m_fd, m_buffer.constData(), m_buffer.size());
    m_buffer.clear();
    return ok;
}

void SafeFileWriter::close() {
    flushBuffer();
    QIODevice::close();
}

void SafeFileWriter::closeFd() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

void SafeFileWriter::releaseLock() {
    if (m_lockFd >= 0) ::close(m_lockFd);
    m_lockFd = -1;
}

void SafeFileWriter::removeTemporary() {
    closeFd();
    if (m_tempPath.isEmpty()) return;
    // A SQLite writer may have left its own side files next to the temporary.
    ::unlink(encoded(m_tempPath).constData());
    for (const char* suffix : TableFiles::kSideFileSuffixes) ::unlink(encoded(m_tempPath + QLatin1String(suffix)).constData());
    m_tempPath.clear();
    releaseLock();
}

void SafeFileWriter::cancel() {
    m_buffer.clear();
    removeTemporary();
    if (isOpen()) QIODevice::close();
}

bool SafeFileWriter::copyTemporaryToTarget() {
    QFile temp(m_tempPath);
    if (!temp.open(QIODevice::ReadOnly)) return failWith(temp.errorString());
    if (!openDirect()) return false;
    QByteArray chunk;
    while (!(chunk = temp.read(kBufferBytes)).isEmpty())
        if (!writeOut(m_fd, chunk.constData(), chunk.size())) return false;
    if (temp.error() != QFileDevice::NoError) return failWith(temp.errorString());
    return true;
}

bool SafeFileWriter::commit() {
    if (m_committed) return true;
    bool ok = !failed() && (m_fd >= 0 || !m_tempPath.isEmpty());
    if (ok && m_otherWriter && m_direct) ok = copyTemporaryToTarget();
    if (ok && m_fd < 0 && !m_direct) {
        // The other writer closed its file; open it again to sync it.
        m_fd = ::open(encoded(m_tempPath).constData(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0) ok = fail(errno);
    }
    if (ok) ok = flushBuffer();
    if (ok && !syncFd(m_fd)) ok = fail(errno);
    if (m_fd >= 0) {
        const int rc = ::close(m_fd);
        m_fd = -1;
        if (ok && rc != 0 && errno != EINTR) ok = fail(errno);
    }
    if (ok && !m_direct) {
        const QByteArray temp = encoded(m_tempPath);
        if (m_replacing) ::chmod(temp.constData(), m_targetMode);
        ok = putInPlace();
    }
    if (m_direct && m_otherWriter) ::unlink(encoded(m_tempPath).constData());
    if (m_direct) m_tempPath.clear();
    if (!ok) cancel();
    releaseLock();
    if (isOpen()) QIODevice::close();
    m_committed = ok;
    return ok;
}

bool SafeFileWriter::putInPlace() {
    if (m_createOnly) {
        // Linked, never renamed: a file another program made meanwhile stays.
        if (const QString why = moveFile(m_tempPath, m_targetPath); !why.isEmpty()) return failWith(why);
        m_tempPath.clear();
        return true;
    }
    if (::rename(encoded(m_tempPath).constData(), encoded(m_targetPath).constData()) != 0) return fail(errno);
    m_tempPath.clear();
    syncFolderOf(m_targetPath);  // the file is in place; a failure here changes nothing
    return true;
}

QString SafeFileWriter::syncFile(const QString& path) {
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return systemReason(errno);
    const bool ok = syncFd(fd);
    const int error = errno;
    ::close(fd);
    return ok ? QString() : systemReason(error);
}

QString SafeFileWriter::syncFolderOf(const QString& path) {
    const int fd = ::open(encoded(folderOf(absolute(path))).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return systemReason(errno);
    const bool ok = syncFd(fd);
    const int error = errno;
    ::close(fd);
    return ok ? QString() : systemReason(error);
}

QString SafeFileWriter::moveFile(const QString& from, const QString& to, bool replace) {
    if (const QString why = syncFile(from); !why.isEmpty()) return why;
    const QByteArray source = encoded(from);
    const QByteArray target = encoded(to);
    if (replace) {
        if (::rename(source.constData(), target.constData()) != 0) return systemReason(errno);
    } else {
        // link() refuses an existing name, so nothing there is ever replaced.
        if (::link(source.constData(), target.constData()) != 0) {
            if (errno == EEXIST) return systemReason(EEXIST);
            // File systems without hard links: a checked rename (small race, no data lost).
            if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP) return systemReason(errno);
            if (::access(target.constData(), F_OK) == 0) return systemReason(EEXIST);
            if (::rename(source.constData(), target.constData()) != 0) return systemReason(errno);
        } else if (::unlink(source.constData()) != 0) {
            const QString why = systemReason(errno);
            ::unlink(target.constData());
            return why;
        }
    }
    syncFolderOf(to);
    if (folderOf(absolute(from)) != folderOf(absolute(to))) syncFolderOf(from);
    return QString();
}

}  // namespace veska
