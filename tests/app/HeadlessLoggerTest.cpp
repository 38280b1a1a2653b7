#include "app/HeadlessLogger.h"
#include "records/RecordTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace veska::test {
namespace {

// Runs one headless session in a scratch directory and keeps what it wrote.
struct HeadlessRun {
    int status = -1;
    QStringList rows;
    QString errors;
    QStringList savedTo;
};

std::string ReadAll(std::FILE* f) {
    std::rewind(f);
    std::string s;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    return s;
}

HeadlessRun RunHeadless(const QStringList& args, const QString& dir) {
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir);
    QString error;
    auto cl = CommandLine::parse(QStringList{"--headless"} + args, error);
    EXPECT_TRUE(cl) << error.toStdString();
    HeadlessRun run;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    {
        HeadlessLogger logger(*cl, [&](RecordTable& table, const QString& file) {
            run.savedTo << QStringLiteral("%1 rows to %2").arg(table.rowCount()).arg(file);
            return QString();
        }, out, err);
        run.status = logger.run();
    }
    run.rows = QString::fromStdString(ReadAll(out)).split('\n', Qt::SkipEmptyParts);
    run.errors = QString::fromStdString(ReadAll(err));
    std::fclose(out);
    std::fclose(err);
    QDir::setCurrent(previous);
    return run;
}

TEST(HeadlessLogger, LogsTheSimulatedMeterOnEitherLink) {
    for (const QString& simulate : {QStringLiteral("--simulate"), QStringLiteral("--simulate=usb")}) {
        SCOPED_TRACE(simulate.toStdString());
        QTemporaryDir dir;
        const HeadlessRun run = RunHeadless({simulate, "--rate", "40", "--samples", "5", "--save", "out.xls"}, dir.path());
        EXPECT_EQ(run.status, 0) << run.errors.toStdString();
        ASSERT_EQ(run.rows.size(), 5);
        for (int i = 0; i < 5; ++i) {
            const QStringList fields = run.rows[i].split('\t');
            ASSERT_EQ(fields.size(), 6) << run.rows[i].toStdString();
            EXPECT_EQ(fields[0], QString::number(i + 1));
            EXPECT_EQ(fields[5], "AUTO");
        }
        EXPECT_EQ(run.savedTo, QStringList{"5 rows to out.xls"});
        // A normal end leaves no recovery journal behind.
        EXPECT_FALSE(QFile::exists(dir.filePath("Kestodb-recovery.db")));
    }
}

TEST(HeadlessLogger, AMissingPortFailsWithItsPath) {
    QTemporaryDir dir;
    const HeadlessRun run = RunHeadless({"--port", dir.filePath("no-such-tty")}, dir.path());
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.rows.isEmpty());
    EXPECT_TRUE(run.errors.contains(dir.filePath("no-such-tty"))) << run.errors.toStdString();
}

TEST(HeadlessLogger, StopsOnSigtermWithTheLimitApplied) {
    QTemporaryDir dir;
    // The record limit stops recording at 3 rows; SIGTERM then ends the run normally.
    QTimer::singleShot(1500, [] { std::raise(SIGTERM); });
    const HeadlessRun run = RunHeadless({"--simulate", "--rate", "50", "--limit", "3", "--no-repeat"}, dir.path());
    EXPECT_EQ(run.status, 0) << run.errors.toStdString();
    EXPECT_EQ(run.rows.size(), 3);
}

// A table that cannot be written ends the run at once with the reason, instead of running
// for ever without recording.
TEST(HeadlessLogger, AnUnwritableTableEndsTheRunWithItsReason) {
    QTemporaryDir dir;
    const QString tables = dir.filePath("tables");
    QDir().mkpath(tables);
    const QByteArray at = QFile::encodeName(tables);
    const bool mounted = ::geteuid() == 0 && ::mount("tmpfs", at.constData(), "tmpfs", 0, "size=1m") == 0;
    if (::geteuid() == 0 && !mounted) GTEST_SKIP() << "root writes regardless of permissions and no tmpfs can be mounted";
    TableEngine::createTable(tables + "/Kestodb.db", RecordTable::recordFields(), "Kestodb");
    const bool readOnly = mounted ? ::mount("tmpfs", at.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0
                                  : ::chmod(at.constData(), 0555) == 0;
    ASSERT_TRUE(readOnly);
    QTimer guard;  // a run that kept going would otherwise never end
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { std::raise(SIGTERM); });
    guard.start(10000);
    const HeadlessRun run = RunHeadless({"--simulate", "--rate", "50", "--samples", "2"}, tables);
    guard.stop();
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.rows.isEmpty());
    EXPECT_TRUE(run.errors.contains(tables + "/Kestodb.db")) << run.errors.toStdString();
    EXPECT_EQ(run.errors.count('\n'), 1) << run.errors.toStdString();
    if (mounted) {
        ::umount2(at.constData(), MNT_DETACH);
    } else {
        ::chmod(at.constData(), 0755);
    }
}

}  // namespace
}  // namespace veska::test
