// The record table and the recovery journals against the real program: no command may
// replace them, whatever name or link leads there, and what it says it kept is there.
#include "DataFilesTestSupport.h"
#include "support/FakeDialogs.h"

#include "links/HidDeviceMonitor.h"
#include "links/SimulatedHidPlatform.h"
#include "ui/MainWindow.h"
#include "ui/StatusLine.h"

#include "storage/RecoveryJournal.h"

#include <QDir>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <map>

#include <sys/mount.h>
#include <sys/resource.h>
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

// A full disk for the program: a 2 MB tmpfs where it may be mounted (root), else a file size
// limit for the child.
class FullDisk {
public:
    explicit FullDisk(const QString& dir) : m_dir(QFile::encodeName(dir)) {
        m_mounted = ::mount("tmpfs", m_dir.constData(), "tmpfs", 0, "size=2m") == 0;
    }
    ~FullDisk() {
        if (m_mounted) ::umount2(m_dir.constData(), MNT_DETACH);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;
    void limit(QProcess& p) const {
        if (m_mounted) return;
        p.setChildProcessModifier([] {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = 400 * 1024;
            setrlimit(RLIMIT_FSIZE, &limit);
        });
    }

private:
    QByteArray m_dir;
    bool m_mounted = false;
};

// Runs a fast recording onto a full disk until recording pauses, then ends it with `signal`;
// returns what it said.
QString RunUntilPaused(const QString& dir, const FullDisk& disk, int signal) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProgram(QStringLiteral(VESKA_PROGRAM));
    p.setArguments({"--headless", "--simulate", "--rate", "3000", "--limit", "10000000", "--save", "run.db"});
    disk.limit(p);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start();
    EXPECT_TRUE(p.waitForStarted(10000));
    QString err;
    const QDeadlineTimer deadline(60000);
    while (!err.contains("Recording paused") && !deadline.hasExpired() && p.state() == QProcess::Running) {
        p.waitForReadyRead(100);
        err += QString::fromUtf8(p.readAllStandardError());
    }
    QDeadlineTimer more(1000);  // more readings meet the paused recording
    while (!more.hasExpired()) p.waitForReadyRead(100);
    ::kill(pid_t(p.processId()), signal);
    EXPECT_TRUE(p.waitForFinished(30000));
    return err + QString::fromUtf8(p.readAllStandardError());
}

}  // namespace

// What a run on a full disk says it kept is what the journal holds, counted there: at the
// end of a run whose save failed, and in the pause message when the run is killed after it.
TEST(KeptFiles, ClaimsOnAFullDiskAreCounted) {
    for (const int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal == SIGTERM ? "ended" : "killed");
        QTemporaryDir dir;
        const FullDisk disk(dir.path());
        const QString err = RunUntilPaused(dir.path(), disk, signal);
        const QString journal = dir.filePath("Kestodb-recovery.db");
        const qint64 inFile = RecoveryJournal::countRows(journal);
        ASSERT_GT(inFile, 0) << err.toStdString();
        if (signal == SIGTERM) {
            // "the run's N rows are kept in J" or "K of the run's N rows are kept in J; the other ..."
            const QString line = err.split('\n').filter("rows are kept in").value(0);
            ASSERT_FALSE(line.isEmpty()) << err.toStdString();
            EXPECT_TRUE(line.startsWith(QStringLiteral("veska: %1 of the run's ").arg(inFile)) ||
                        line.startsWith(QStringLiteral("veska: the run's %1 rows").arg(inFile)))
                << line.toStdString() << " / " << inFile;
        } else {
            const QString line = err.split('\n').filter("Recording paused").value(0);
            const QString counted = line.section("; ", 1).section(" of the ", 0, 0);
            const bool all = line.contains(QStringLiteral("those not yet saved in the recovery journal %1").arg(journal));
            ASSERT_TRUE(all || !counted.isEmpty()) << line.toStdString();
            if (!all) {
                EXPECT_GE(inFile, counted.toLongLong()) << line.toStdString();
            }
        }
    }
}

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

namespace veska::test {

// The window started while another copy records: it says so in the status line for as long
// as that lasts, and records once the other copy has ended.
TEST(SecondCopy, TheWindowSaysItCannotRecordAndRecordsOnceTheTableIsFree) {
    QTemporaryDir dir;
    QProcess first;
    first.setWorkingDirectory(dir.path());
    first.setProgram(QStringLiteral(VESKA_PROGRAM));
    first.setArguments({"--headless", "--simulate", "--rate", "50", "--save", "first.txt"});
    first.start();
    ASSERT_TRUE(first.waitForStarted(10000));
    QByteArray out;
    const QDeadlineTimer deadline(30000);
    while (out.count('\n') < 3 && !deadline.hasExpired()) {
        first.waitForReadyRead(100);
        out += first.readAllStandardOutput();
    }
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    {
        FakeDialogs dialogs;
        MainWindow::Options o;
        o.dialogs = &dialogs;
        o.deviceMonitor = std::make_shared<HidDeviceMonitor>(std::make_shared<SimulatedHidPlatform>());
        MainWindow window(o);
        window.setBeep([] {});
        QTest::qWait(2500);  // a retry or so while the other copy still holds it
        EXPECT_EQ(dialogs.errors.size(), 1) << dialogs.errors.join('\n').toStdString();
        EXPECT_EQ(window.statusLine().rowsText(), "not recording");
        EXPECT_TRUE(window.statusLine().errorText().contains("is in use by another program"))
            << window.statusLine().errorText().toStdString();
        EXPECT_FALSE(window.recordTable().isOpen());

        ::kill(pid_t(first.processId()), SIGTERM);
        ASSERT_TRUE(first.waitForFinished(30000));
        EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
        QTRY_VERIFY_WITH_TIMEOUT(window.recordTable().isOpen(), 10000);
        EXPECT_NE(window.statusLine().rowsText(), "not recording");
        EXPECT_FALSE(window.statusLine().errorText().contains("in use")) << window.statusLine().errorText().toStdString();
        window.handlePacket("2B30313233203200000080000D");
        QTest::qWait(100);
        EXPECT_EQ(window.recordTable().rowCount(), 1);
        EXPECT_EQ(dialogs.errors.size(), 1) << dialogs.errors.join('\n').toStdString();
    }
    QDir::setCurrent(previous);
}

// Two copies started at the same instant, on a folder with and without a record table:
// exactly one records, the other says the table is in use. Tried several times.
TEST(SecondCopy, OfTwoStartedTogetherExactlyOneGetsTheTable) {
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        QTemporaryDir dir;
        if (round % 2 == 1) writeRecordFile(dir.filePath("Kestodb.db"), rows(1, 2));
        QProcess copies[2];
        for (QProcess& p : copies) {
            p.setWorkingDirectory(dir.path());
            p.setProgram(QStringLiteral(VESKA_PROGRAM));
            p.setArguments({"--headless", "--simulate", "--rate", "10", "--samples", "20"});
            p.setStandardOutputFile(QProcess::nullDevice());
        }
        for (QProcess& p : copies) p.start();
        int recorded = 0;
        int refused = 0;
        for (QProcess& p : copies) {
            ASSERT_TRUE(p.waitForFinished(60000));
            const QString err = QString::fromUtf8(p.readAllStandardError());
            if (p.exitCode() == 0) {
                ++recorded;
            } else if (err.contains("is in use by another program")) {
                ++refused;
            } else {
                ADD_FAILURE() << err.toStdString();
            }
        }
        EXPECT_EQ(recorded, 1);
        EXPECT_EQ(refused, 1);
    }
}

}  // namespace veska::test
