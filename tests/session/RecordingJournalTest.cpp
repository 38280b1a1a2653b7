#include "storage/RecordTable.h"
#include "session/Recorder.h"
#include "storage/RecoveryJournal.h"
#include "storage/TableError.h"
#include "support/FileSizeLimit.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

using namespace veska;
using veska::test::FileSizeLimit;

namespace {

qint64 monotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}


// A small tmpfs mounted for the length of a scope: the quickest real full disk. Needs root
// (or the mount capability); reason() says why it is not there otherwise.
class Tmpfs {
public:
    Tmpfs(const QString& at, const char* options) : m_at(at) {
        QDir().mkpath(at);
        if (::mount("tmpfs", QFile::encodeName(at).constData(), "tmpfs", 0, options) == 0) {
            m_mounted = true;
        } else {
            m_reason = QString::fromLocal8Bit(std::strerror(errno));
        }
    }
    ~Tmpfs() {
        if (!m_mounted) return;
        QDir::setCurrent(QDir::tempPath());
        ::umount2(QFile::encodeName(m_at).constData(), MNT_DETACH);
    }
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;
    bool mounted() const { return m_mounted; }
    QString reason() const { return m_reason; }
    bool remountReadOnly() {
        return ::mount("tmpfs", QFile::encodeName(m_at).constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    QString m_at;
    bool m_mounted = false;
    QString m_reason;
};

// Writes into `path` until the file system refuses; returns how much went in.
qint64 fillDisk(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return 0;
    static const std::vector<char> block(64 * 1024, 'x');
    qint64 total = 0;
    for (std::size_t chunk = block.size(); chunk >= 512; chunk /= 2) {
        ssize_t n = 0;
        while ((n = ::write(fd, block.data(), chunk)) > 0) total += n;
    }
    ::fsync(fd);
    ::close(fd);
    return total;
}

QStringList filesOf(const QString& path) {
    QStringList present;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        if (QFile::exists(path + suffix)) present << path + suffix;
    return present;
}

// Records into <dir>/Kestodb.db in a separate process and SIGKILLs it once it has posted at
// least `rows` rows for more than a second (so some of them sit in the write-ahead log).
void killRecordingProcess(const QString& dir, int rows) {
    QProcess run;
    run.start(VESKA_RECORDING_HELPER, {"record", dir});
    ASSERT_TRUE(run.waitForStarted(20000));
    QByteArray out;
    qint64 firstRowMs = 0;
    qint64 lastNo = 0;
    while (firstRowMs == 0 || monotonicMs() - firstRowMs < 1200 || lastNo < rows) {
        ASSERT_TRUE(run.waitForReadyRead(20000)) << run.readAllStandardError().toStdString();
        out += run.readAllStandardOutput();
        if (firstRowMs == 0 && out.contains('\n')) firstRowMs = monotonicMs();
        const QList<QByteArray> lines = out.split('\n');
        if (lines.size() >= 2) lastNo = lines[lines.size() - 2].split(' ').value(0).toLongLong();
    }
    run.kill();
    run.waitForFinished(20000);
}

QString journalIn(const QString& dir) { return QDir(dir).filePath("Kestodb-recovery.db"); }

class RecordingJournal : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir::setCurrent(dir.path());
    }
    void TearDown() override { QDir::setCurrent(QDir::tempPath()); }

    void record(RecordTable& table, int rows) {
        Recorder recorder(table);
        recorder.samplingTimer().stop();
        for (int i = 0; i < rows; ++i) recorder.offerReading(MeterReading{"1.000", 1000.0F, "DC", "V", "AUTO"});
    }
    QString journal() const { return dir.filePath("Kestodb-recovery.db"); }

    // Records `rows` rows and leaves the journal behind as a killed run would (the file and
    // its write-ahead log as they stand after the last commit).
    void crashedRun(int rows) {
        {
            RecordTable crashed;
            crashed.openDefault();
            record(crashed, rows);
            crashed.commitJournal();
            for (const char* suffix : {"", "-wal"})
                QFile::copy(journal() + suffix, dir.filePath("kept.db") + suffix);
            crashed.close();
        }
        ASSERT_FALSE(QFile::exists(journal()));
        for (const char* suffix : {"", "-wal"}) QFile::rename(dir.filePath("kept.db") + suffix, journal() + suffix);
    }

    QTemporaryDir dir;
};

// A recording process killed mid-run loses at most its last second of rows, also when its
// rows had spilled from the page cache into the table file (recording without pauses).
class KilledRun : public RecordingJournal, public ::testing::WithParamInterface<const char*> {};

TEST_P(KilledRun, IsRestoredUpToItsLastSecond) {
    QProcess run;
    run.start(VESKA_RECORDING_HELPER, {"record", dir.path(), GetParam()});
    ASSERT_TRUE(run.waitForStarted(20000));
    QByteArray out;
    qint64 firstRowMs = 0;
    // Let it record for about two seconds of its own rows.
    while (firstRowMs == 0 || monotonicMs() - firstRowMs < 2000) {
        ASSERT_TRUE(run.waitForReadyRead(20000)) << run.readAllStandardError().toStdString();
        out += run.readAllStandardOutput();
        if (firstRowMs == 0 && out.contains('\n')) firstRowMs = monotonicMs();
    }
    run.kill();  // SIGKILL: no destructor, no commit
    const qint64 killedMs = monotonicMs();
    run.waitForFinished(20000);
    out += run.readAllStandardOutput();

    qint64 mustSurvive = 0;
    for (const QByteArray& line : out.split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2 && parts[1].toLongLong() <= killedMs - 1000) mustSurvive = parts[0].toLongLong();
    }
    ASSERT_GT(mustSurvive, 10);

    RecordTable table;
    table.openDefault();
    EXPECT_EQ(table.rowCount(), 0);  // the killed run's rows never stay in the table file
    ASSERT_TRUE(table.hasLeftoverJournal());
    EXPECT_GE(table.leftoverJournalRows(), mustSurvive);
    const qint64 restored = table.restoreJournal();
    EXPECT_GE(restored, mustSurvive);
    EXPECT_EQ(table.rowCount(), restored);
    EXPECT_EQ(table.unsavedRows(), restored);
    for (qint64 i = 0; i < restored; i += std::max<qint64>(1, restored / 50))
        EXPECT_EQ(table.rowTexts(i).value(0), QString::number(i + 1));
    EXPECT_EQ(table.rowTexts(restored - 1).value(0), QString::number(restored));

    // Rows of this run join the restored ones in the same journal; a normal end removes it.
    record(table, 3);
    EXPECT_EQ(table.rowCount(), restored + 3);
    table.close();
    EXPECT_FALSE(QFile::exists(journal()));
}

INSTANTIATE_TEST_SUITE_P(PauseMs, KilledRun, ::testing::Values("2", "0"));

TEST_F(RecordingJournal, LeftoverIsMovedAsideNeverOverwritten) {
    crashedRun(5);
    ASSERT_GT(QFileInfo(journal() + "-wal").size(), 0) << "the rows must sit in the write-ahead log";

    RecordTable table;
    table.setNow([] { return QDateTime(QDate(2026, 5, 12), QTime(14, 5, 9)); });
    table.openDefault();
    ASSERT_TRUE(table.hasLeftoverJournal());
    EXPECT_EQ(table.leftoverJournalRows(), 5);
    const QString moved = table.moveJournalAside();
    EXPECT_EQ(moved, dir.filePath("Kestodb-recovery-20260512-140509.db"));
    EXPECT_FALSE(table.hasLeftoverJournal());
    // Nothing stays behind under the old name, and the moved file holds every row on its own.
    EXPECT_EQ(filesOf(journal()), QStringList());
    EXPECT_EQ(filesOf(moved), QStringList{moved});
    ASSERT_TRUE(QFile::copy(moved, dir.filePath("alone.db")));
    EXPECT_EQ(RecoveryJournal::countRows(dir.filePath("alone.db")), 5);

    // The moved file is an ordinary record file.
    TableEngine old;
    old.setTableName(moved);
    old.open();
    old.first();
    EXPECT_EQ(old.fieldText("Value"), "1.000");
    old.close();

    record(table, 2);
    EXPECT_EQ(RecoveryJournal::rowsIn(moved), 5);
    table.markSaved();  // saved rows leave the journal
    table.close();
    EXPECT_FALSE(QFile::exists(journal()));
}

TEST_F(RecordingJournal, UnansweredLeftoverIsKeptAsideBeforeNewRows) {
    crashedRun(4);
    RecordTable table;
    table.openDefault();
    ASSERT_TRUE(table.hasLeftoverJournal());
    record(table, 1);
    const QStringList aside = QDir(dir.path()).entryList({"Kestodb-recovery-*.db"});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(RecoveryJournal::rowsIn(dir.filePath(aside[0])), 4);
    EXPECT_EQ(RecoveryJournal::rowsIn(journal()), 0) << "held by the running table";
}

// Kill a recording process, fill the disk, start again: moving the journal aside is refused
// with the path and the reason, the journal keeps every row under its own name through two
// restarts (the runs in between neither overwrite nor remove it), and once there is space it
// moves aside with every row in the moved file alone.
void killFillRestart(const QString& work, const std::function<void()>& fill, const std::function<void()>& unfill,
                     const QString& reason) {
    killRecordingProcess(work, 600);
    if (::testing::Test::HasFatalFailure()) return;
    const QString journal = journalIn(work);
    ASSERT_GT(QFileInfo(journal + "-wal").size(), 0) << "the killed run left rows in the write-ahead log";
    // Rows committed before the kill: more than the journal's first pages hold.
    const qint64 rows = RecoveryJournal::countRows(journal);
    ASSERT_GE(rows, 200);
    QDir::setCurrent(work);
    const auto recoveryFiles = [&work] {
        QStringList found;
        for (const QString& name : QDir(work).entryList({"Kestodb-recovery*"}, QDir::Files)) found << QDir(work).filePath(name);
        return found;
    };
    const QStringList journalFiles = recoveryFiles();

    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE(start);
        fill();  // again: the run before may have freed some space
        RecordTable table;
        table.openDefault();
        ASSERT_TRUE(table.hasLeftoverJournal());
        EXPECT_EQ(table.leftoverJournalPath(), journal);
        EXPECT_EQ(table.leftoverJournalRows(), rows);
        try {
            table.moveJournalAside();
            ADD_FAILURE() << "moved aside without room for its write-ahead log";
        } catch (const TableError& e) {
            EXPECT_TRUE(e.message().contains(journal)) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(reason)) << e.message().toStdString();
        }
        Recorder recorder(table);
        recorder.samplingTimer().stop();
        QStringList errors;
        QObject::connect(&recorder, &Recorder::error, [&errors](const QString& m) { errors << m; });
        for (int i = 0; i < 5; ++i) recorder.offerReading(MeterReading{"2.000", 2000.0F, "DC", "V", "AUTO"});
        for (const QString& e : errors) EXPECT_FALSE(e.contains("Unknown error")) << e.toStdString();
        table.close();
        EXPECT_EQ(RecoveryJournal::countRows(journal), rows);
        EXPECT_EQ(recoveryFiles(), journalFiles);
    }
    unfill();

    RecordTable table;
    table.setNow([] { return QDateTime(QDate(2026, 5, 12), QTime(14, 5, 9)); });
    table.openDefault();
    ASSERT_TRUE(table.hasLeftoverJournal());
    const QString moved = table.moveJournalAside();
    EXPECT_EQ(filesOf(journal), QStringList());
    EXPECT_EQ(filesOf(moved), QStringList{moved});
    EXPECT_EQ(RecoveryJournal::countRows(moved), rows);
}

TEST_F(RecordingJournal, KilledRunSurvivesAFullTmpfs) {
    Tmpfs disk(dir.filePath("disk"), "size=4m");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a 4 MB tmpfs (" << disk.reason().toStdString()
                     << "); the file-size-limit variant covers the same path";
    int fillers = 0;
    killFillRestart(
        dir.filePath("disk"), [&] { fillDisk(dir.filePath("disk/filler%1").arg(++fillers)); },
        [&] {
            for (int i = 1; i <= fillers; ++i) QFile::remove(dir.filePath("disk/filler%1").arg(i));
        },
        QString::fromLocal8Bit(std::strerror(ENOSPC)));
}

TEST_F(RecordingJournal, KilledRunSurvivesAFileSizeLimit) {
    std::optional<FileSizeLimit> limit;
    killFillRestart(
        dir.path(), [&] { limit.emplace(rlim_t(QFileInfo(journalIn(dir.path())).size())); }, [&] { limit.reset(); },
        QString::fromLocal8Bit(std::strerror(EFBIG)));
}

// A commit that fails (the file cannot grow) keeps its rows; they reach the journal with the
// next commit that works.
TEST_F(RecordingJournal, RowsOfAFailedCommitAreCommittedLater) {
    RecordTable table;
    table.openDefault();
    record(table, 1);
    table.commitJournal();
    const QString wal = table.journalPath() + "-wal";
    {
        FileSizeLimit limit(rlim_t(QFileInfo(wal).size()));
        record(table, 40);
        try {
            table.commitJournal();
            ADD_FAILURE() << "committed past the file size limit";
        } catch (const TableError& e) {
            EXPECT_TRUE(e.message().contains(table.journalPath())) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QString::fromLocal8Bit(std::strerror(EFBIG)))) << e.message().toStdString();
        }
    }
    table.commitJournal();
    EXPECT_EQ(table.rowCount(), 41);
    const QString kept = table.closeKeepingJournal();
    EXPECT_EQ(RecoveryJournal::countRows(kept), 41);
}

// The journal goes only when its rows are saved or the user chose to drop them.
TEST_F(RecordingJournal, JournalIsRemovedOnlyWhenItsRowsAreSafeOrDropped) {
    struct Case {
        const char* end;
        std::function<void(std::unique_ptr<RecordTable>&)> finish;
        bool kept;
    };
    const Case cases[] = {
        {"closeKeepingJournal (a final save failed)", [](auto& t) { t->closeKeepingJournal(); }, true},
        {"destroyed without a decision", [](auto& t) { t.reset(); }, true},
        {"close (the user discarded the rows)", [](auto& t) { t->close(); }, false},
        {"saved, then destroyed", [](auto& t) { t->markSaved(); t.reset(); }, false},
        {"New, then destroyed", [](auto& t) { t->empty(); t.reset(); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.end);
        QTemporaryDir run;
        QDir::setCurrent(run.path());
        auto table = std::make_unique<RecordTable>();
        table->openDefault();
        record(*table, 3);
        c.finish(table);
        table.reset();
        EXPECT_EQ(QFile::exists(journalIn(run.path())), c.kept);
        if (c.kept) {
            RecordTable next;
            next.openDefault();
            ASSERT_TRUE(next.hasLeftoverJournal());
            EXPECT_EQ(next.leftoverJournalRows(), 3);
        }
    }
    QDir::setCurrent(dir.path());
}

// A second copy of the program on the same folder never touches the journal the first one
// is writing: it is not offered, not moved, and the second copy journals under another name.
TEST_F(RecordingJournal, AJournalInUseIsLeftAlone) {
    TableEngine::createTable(dir.filePath("Kestodb.db"), RecordTable::recordFields());
    RecoveryJournal running;
    running.start(dir.filePath("Kestodb.db"), RecordTable::recordFields());
    for (qint64 no = 1; no <= 3; ++no)
        running.append({no, QTime(12, 0, 0), QString("DC"), QString("1.000"), QString("V"), QString("AUTO"), 1000.0});
    running.commit();
    ASSERT_EQ(running.path(), journal());

    RecordTable second;
    second.openDefault();
    EXPECT_FALSE(second.hasLeftoverJournal());
    EXPECT_TRUE(RecoveryJournal::inUse(journal()));
    try {
        RecoveryJournal::moveAside(journal(), QDateTime::currentDateTime());
        ADD_FAILURE() << "moved a journal another copy is writing";
    } catch (const TableError& e) {
        EXPECT_TRUE(e.message().contains("in use")) << e.message().toStdString();
    }
    record(second, 2);
    EXPECT_EQ(second.journalPath(), dir.filePath("Kestodb-recovery-2.db"));
    second.close();

    EXPECT_EQ(running.release(), journal());
    EXPECT_EQ(RecoveryJournal::countRows(journal()), 3);
}

// Several journals left behind (a journal that could not be moved, then another crash) are
// offered one after the other; restoring both puts every row into the table and into one
// journal, and numbering goes on after the highest restored No.
TEST_F(RecordingJournal, EveryLeftoverIsOfferedAndNumberingGoesOn) {
    TableEngine::createTable(dir.filePath("Kestodb.db"), RecordTable::recordFields());
    const auto leave = [this](std::initializer_list<qint64> numbers) {
        RecoveryJournal j;
        j.start(dir.filePath("Kestodb.db"), RecordTable::recordFields());
        for (const qint64 no : numbers)
            j.append({no, QTime(12, 0, 0), QString("DC"), QString("1.000"), QString("V"), QString("AUTO"), 1000.0});
        return j.release();
    };
    EXPECT_EQ(leave({7, 3, 12}), journal());
    EXPECT_EQ(leave({1, 2}), dir.filePath("Kestodb-recovery-2.db"));

    RecordTable table;
    table.openDefault();
    ASSERT_EQ(table.leftoverJournalPath(), journal());
    EXPECT_EQ(table.restoreJournal(), 3);
    ASSERT_EQ(table.leftoverJournalPath(), dir.filePath("Kestodb-recovery-2.db"));
    EXPECT_EQ(table.restoreJournal(), 2);
    EXPECT_FALSE(table.hasLeftoverJournal());
    EXPECT_EQ(table.rowCount(), 5);
    EXPECT_EQ(table.highestRestoredNo(), 12);
    EXPECT_EQ(filesOf(dir.filePath("Kestodb-recovery-2.db")), QStringList());

    Recorder recorder(table);
    recorder.samplingTimer().stop();
    recorder.setNextRecordNo(int(table.highestRestoredNo()) + 1);
    recorder.offerReading(MeterReading{"1.000", 1000.0F, "DC", "V", "AUTO"});
    EXPECT_EQ(table.rowTexts(5).value(0), "13");
    EXPECT_EQ(table.closeKeepingJournal(), journal());
    EXPECT_EQ(RecoveryJournal::countRows(journal()), 6);
}

// A table that already holds rows (a backup put back, a saved run copied over it, with the
// unique index a saved copy has) records on after its highest number, at start and when it
// is opened in the middle of a run; a constraint that renumbering cannot satisfy is named
// and never blamed on the disk.
TEST_F(RecordingJournal, ATableThatHoldsRowsRecordsOnAfterItsHighestNumber) {
    const auto tableOf = [this](const QString& name, int rows, const QString& extraField) {
        auto fields = RecordTable::recordFields();
        if (!extraField.isEmpty()) fields.push_back({"Extra", extraField, TableEngine::FieldKind::Text});
        TableEngine::createTable(dir.filePath(name), fields, "Kestodb");
        TableEngine e;
        e.setTableName(dir.filePath(name));
        e.open();
        for (int no = 1; no <= rows; ++no) {
            e.append();
            e.setField("No", qint64(no));
            e.setField("Extra", QString("x"));
            e.post();
        }
        e.addPrimaryIndex("No");
        e.close();
    };
    const MeterReading reading{"1.000", 1000.0F, "DC", "V", "AUTO"};
    tableOf("Kestodb.db", 20, "TEXT");
    tableOf("other.db", 30, "TEXT");
    tableOf("strict.db", 0, "TEXT NOT NULL");

    RecordTable table;
    table.openDefault();
    Recorder recorder(table);
    recorder.samplingTimer().stop();
    recorder.setRetryInterval(0);
    QStringList errors;
    QObject::connect(&recorder, &Recorder::error, [&](const QString& m) { errors << m; });
    recorder.setNextRecordNo(1);
    recorder.continueNumbering();  // as start-up does
    for (int i = 0; i < 3; ++i) recorder.offerReading(reading);
    EXPECT_EQ(table.rowCount(), 23);
    EXPECT_EQ(table.rowTexts(22).value(0), "23");

    table.openTable("other.db");  // the run's numbering goes on, unless the table has it
    recorder.offerReading(reading);
    EXPECT_EQ(table.rowTexts(30).value(0), "31");
    EXPECT_EQ(errors, QStringList());

    table.openTable("strict.db");
    recorder.offerReading(reading);
    recorder.offerReading(reading);
    EXPECT_EQ(table.rowCount(), 0);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("NOT NULL constraint failed")) << errors[0].toStdString();
    EXPECT_FALSE(errors[0].contains("space")) << errors[0].toStdString();
    table.close();
}

// A table that cannot be written is said once, at open, with its path and the reason; no
// row is recorded and no journal is created.
TEST_F(RecordingJournal, UnwritableTableIsReportedAtOpen) {
    struct Case {
        const char* what;
        bool needsMount;
        std::function<bool(const QString& dir, Tmpfs* disk)> protect;
        const char* reason;
    };
    const Case cases[] = {
        {"read-only folder", false,
         [](const QString& d, Tmpfs*) { return ::chmod(QFile::encodeName(d).constData(), 0555) == 0; }, "folder"},
        {"read-only file", false,
         [](const QString& d, Tmpfs*) {
             return ::chmod(QFile::encodeName(d + "/Kestodb.db").constData(), 0444) == 0;
         },
         "the file cannot be written"},
        {"read-only mount", true, [](const QString&, Tmpfs* disk) { return disk->remountReadOnly(); },
         "Read-only file system"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir base;
        const QString d = base.filePath("tables");
        std::optional<Tmpfs> disk;
        if (c.needsMount) {
            disk.emplace(d, "size=1m");
            if (!disk->mounted()) {
                std::printf("[  SKIPPED ] %s: cannot mount a tmpfs (%s)\n", c.what, qPrintable(disk->reason()));
                continue;
            }
        } else if (::geteuid() == 0) {
            std::printf("[  SKIPPED ] %s: root writes regardless of permissions\n", c.what);
            continue;
        }
        QDir().mkpath(d);
        TableEngine::createTable(d + "/Kestodb.db", RecordTable::recordFields(), "Kestodb");
        ASSERT_TRUE(c.protect(d, disk ? &*disk : nullptr));
        QDir::setCurrent(d);
        {
            RecordTable table;
            table.openDefault();
            EXPECT_FALSE(table.isWritable());
            const QString why = table.notWritableReason();
            EXPECT_TRUE(why.contains(d + "/Kestodb.db")) << why.toStdString();
            EXPECT_TRUE(why.contains(c.reason)) << why.toStdString();
            Recorder recorder(table);
            recorder.samplingTimer().stop();
            QStringList errors;
            QObject::connect(&recorder, &Recorder::error, [&errors](const QString& m) { errors << m; });
            for (int i = 0; i < 5; ++i) recorder.offerReading(MeterReading{"1.000", 1000.0F, "DC", "V", "AUTO"});
            ASSERT_EQ(errors.size(), 1);  // once, not once per reading
            EXPECT_TRUE(errors[0].contains(why)) << errors[0].toStdString();
            EXPECT_EQ(table.rowCount(), 0);
        }
        EXPECT_EQ(QDir(d).entryList({"*recovery*"}), QStringList());
        QDir::setCurrent(dir.path());
        ::chmod(QFile::encodeName(d).constData(), 0755);
    }
}

}  // namespace
