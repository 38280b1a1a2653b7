// The record table and the recovery journals against the real program: no command may
// replace them, whatever name or link leads there, and what it says it kept is there.
#include "DataFilesTestSupport.h"

#include "storage/RecoveryJournal.h"

#include <QDir>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <map>

#include <unistd.h>

namespace veska::test {
namespace {

struct Result {
    int status = -1;
    QString err;
};

Result Veska(const QStringList& args, const QString& dir) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProgram(QStringLiteral(VESKA_PROGRAM));
    p.setArguments(args);
    p.start();
    EXPECT_TRUE(p.waitForFinished(60000)) << args.join(' ').toStdString();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError())};
}

// Every file of a folder with its bytes.
std::map<QString, QByteArray> Contents(const QString& dir) {
    std::map<QString, QByteArray> files;
    for (const QString& name : QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System))
        files[name] = readAll(QDir(dir).filePath(name));
    return files;
}

// A run killed while recording: its journal with the rows still in the write-ahead log.
void KillARun(const QString& dir) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProgram(QStringLiteral(VESKA_PROGRAM));
    p.setArguments({"--headless", "--simulate", "--rate", "200"});
    p.start();
    ASSERT_TRUE(p.waitForStarted(10000));
    QByteArray out;
    const QDeadlineTimer deadline(30000);
    while (out.count('\n') < 150 && !deadline.hasExpired()) {
        p.waitForReadyRead(100);
        out += p.readAllStandardOutput();
    }
    ::kill(pid_t(p.processId()), SIGKILL);
    p.waitForFinished(10000);
    ASSERT_TRUE(QFile::exists(dir + "/Kestodb-recovery.db-wal"));
}

}  // namespace

// Each way of naming the record table or a journal, through every kind of writer the
// command line has: refused with what the file is, nothing on disk changed, and the next
// start records as usual.
TEST(KeptFiles, NoCommandReplacesTheRecordTableOrAJournal) {
    QTemporaryDir dir;
    const QString d = dir.path();
    writeRecordFile(d + "/src.db", rows(1, 50));
    writeRecordFile(d + "/Kestodb.db", rows(1, 2));
    KillARun(d);
    writeRecordFile(d + "/aside.db", rows(1, 7));
    QFile::rename(d + "/aside.db", d + "/Kestodb-recovery-20261210-120000.db");
    QFile::link(d + "/Kestodb.db", d + "/lk.db");
    QFile::link(d + "/Kestodb.db", d + "/lk.pdf");
    ASSERT_EQ(::link(QFile::encodeName(d + "/Kestodb.db").constData(), QFile::encodeName(d + "/hard.txt").constData()), 0);
    QFile::copy(d + "/Kestodb-recovery.db", d + "/renamed.db");  // a journal under another name
    const qint64 crashedRows = RecoveryJournal::countRows(d + "/Kestodb-recovery.db");
    ASSERT_GT(crashedRows, 0);
    const auto before = Contents(d);

    const QString table = "it is the record table of";
    const QString journal = "it is a recovery journal";
    struct Case {
        QStringList args;
        QString says;
    };
    for (const Case& c : {
             Case{{"--export", "src.db", "Kestodb-recovery.db"}, journal},
             Case{{"--export", "src.db", "Kestodb-recovery.db-wal"}, "a side file of a recovery journal"},
             Case{{"--export", "src.db", "Kestodb.db"}, table},
             Case{{"--export", "src.db", "kestodb.txt"}, ""},  // an ordinary name: written
             Case{{"--export", "src.db", "lk.db"}, table},
             Case{{"--export", "src.db", "hard.txt"}, table},
             Case{{"--export", "src.db", "renamed.db"}, "it is a recovery journal by its content"},
             Case{{"--print", "src.db", "--pdf", "lk.pdf"}, table},
             Case{{"--headless", "--simulate", "--samples", "3", "--save", "Kestodb-recovery-20261210-120000.db"},
                  "--save Kestodb-recovery-20261210-120000.db: " + journal},
             Case{{"--headless", "--simulate", "--samples", "3", "--save", "lk.db"}, table},
             Case{{"--headless", "--simulate", "--samples", "3", "--save", "Kestodb.db"}, table},
         }) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Result r = Veska(c.args, d);
        if (c.says.isEmpty()) {
            EXPECT_EQ(r.status, 0) << r.err.toStdString();
            QFile::remove(d + "/kestodb.txt");
            continue;
        }
        EXPECT_EQ(r.status, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
        EXPECT_EQ(r.err.split('\n').filter("veska:").size(), 1) << r.err.toStdString();
        EXPECT_TRUE(Contents(d) == before) << "a file changed";
    }
    EXPECT_EQ(RecoveryJournal::countRows(d + "/Kestodb-recovery-20261210-120000.db"), 7);

    // The next start keeps the crashed run's rows aside, whole, and records.
    const Result next = Veska({"--headless", "--simulate", "--samples", "3", "--save", "next.txt"}, d);
    EXPECT_EQ(next.status, 0) << next.err.toStdString();
    const QString kept = next.err.section("were kept in ", 1).section('\n', 0, 0);
    ASSERT_FALSE(kept.isEmpty()) << next.err.toStdString();
    EXPECT_EQ(RecoveryJournal::countRows(kept), crashedRows);
}

}  // namespace veska::test
