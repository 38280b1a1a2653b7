// The safe-write path's own promises; every writer of the program is tried against real
// faults in tests/app (SafeWriteTest).
#include "storage/SafeFileWriter.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

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

}  // namespace
