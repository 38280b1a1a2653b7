// The safe-write path's own promises; every writer of the program is tried against real
// faults in tests/app (SafeWriteTest).
#include "storage/SafeFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace veska;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What a journal move relies on: the file is moved whole, an existing name is never replaced
// unless asked, and a failure says why and leaves the file where it was.
TEST(SafeWrite, MoveFileNeverReplacesUnlessAsked) {
    QTemporaryDir dir;
    const QString from = dir.filePath("journal.db");
    const QString to = dir.filePath("aside.db");
    writeFile(from, "rows");
    writeFile(to, "other rows");
    EXPECT_EQ(SafeFileWriter::moveFile(from, to), QString::fromLocal8Bit(std::strerror(EEXIST)));
    EXPECT_EQ(readAll(from), "rows");
    EXPECT_EQ(readAll(to), "other rows");
    EXPECT_EQ(SafeFileWriter::moveFile(from, dir.filePath("missing/aside.db")),
              QString::fromLocal8Bit(std::strerror(ENOENT)));
    EXPECT_EQ(readAll(from), "rows");
    QFile::remove(to);
    EXPECT_EQ(SafeFileWriter::moveFile(from, to), QString());
    EXPECT_FALSE(QFileInfo::exists(from));
    EXPECT_EQ(readAll(to), "rows");
    writeFile(from, "newer rows");
    EXPECT_EQ(SafeFileWriter::moveFile(from, to, true), QString());
    EXPECT_EQ(readAll(to), "newer rows");
}

void makeOld(const QString& path) {
    const struct timespec hourAgo {::time(nullptr) - 3600, 0};
    const struct timespec times[2] = {hourAgo, hourAgo};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

QStringList temporariesIn(const QDir& dir) {
    return dir.entryList({QStringLiteral(".*.tmp*")}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// A save killed half-way leaves its temporary; the next writer beside it removes it, and only
// it: a live writer's temporary, files of other patterns and links stay.
TEST(SafeWrite, TheTemporaryOfAKilledSaveIsRemovedByTheNextWriterBesideIt) {
    QTemporaryDir dir;
    const QDir folder(dir.path());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SafeFileWriter killed(dir.filePath("run.txt"));
        const bool opened = killed.open(QIODevice::WriteOnly) && killed.write(QByteArray(100000, 'x')) > 0;
        ::_exit(opened ? 0 : 1);  // as SIGKILL would: no destructor, no commit
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const QStringList left = temporariesIn(folder);
    ASSERT_EQ(left.size(), 1);
    const QString leftover = dir.filePath(left[0]);
    writeFile(leftover + "-journal", "a table copy's side file");

    SafeFileWriter live(dir.filePath("other.txt"));
    ASSERT_TRUE(live.open(QIODevice::WriteOnly));
    ASSERT_EQ(temporariesIn(folder).size(), 3);
    const QStringList foreign{".notes.tmp", ".run.txt.abc.tmp", "run.txt.abcdef.tmp", ".run.txt.abcdef.tmpx"};
    for (const QString& name : foreign) writeFile(dir.filePath(name), "not ours");
    ASSERT_TRUE(QFile::link(dir.filePath("run.txt"), dir.filePath(".link.txt.abcdef.tmp")));
    // Seen from a later run, every one of them is older than it.
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) makeOld(dir.filePath(name));
    const QString liveTemporary = live.temporaryPath();

    SafeFileWriter next(dir.filePath("run.txt"));
    ASSERT_TRUE(next.open(QIODevice::WriteOnly));
    next.write("the whole save");
    ASSERT_TRUE(next.commit());
    EXPECT_FALSE(QFileInfo::exists(leftover));
    EXPECT_FALSE(QFileInfo::exists(leftover + "-journal"));
    EXPECT_TRUE(QFileInfo::exists(liveTemporary)) << "a live writer keeps its temporary";
    for (const QString& name : foreign) EXPECT_TRUE(QFileInfo::exists(dir.filePath(name))) << name.toStdString();
    EXPECT_TRUE(QFileInfo(dir.filePath(".link.txt.abcdef.tmp")).isSymLink());
    EXPECT_EQ(readAll(dir.filePath("run.txt")), "the whole save");
    live.write("other rows");
    ASSERT_TRUE(live.commit());
    EXPECT_EQ(readAll(dir.filePath("other.txt")), "other rows");
}

// A leftover newer than the running program may be another program's save just begun.
TEST(SafeWrite, ATemporaryNewerThanTheRunStays) {
    QTemporaryDir dir;
    const QString recent = dir.filePath(".run.txt.Ab12Cd.tmp");
    writeFile(recent, "maybe someone's save");
    SafeFileWriter out(dir.filePath("run.txt"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("rows");
    ASSERT_TRUE(out.commit());
    EXPECT_TRUE(QFileInfo::exists(recent));
}

}  // namespace
