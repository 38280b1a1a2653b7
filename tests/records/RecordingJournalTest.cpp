#include "records/RecordTable.h"
#include "records/Recorder.h"
#include "records/RecoveryJournal.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>

using namespace veska;

namespace {

qint64 monotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class RecordingJournal : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir::setCurrent(dir.path());
    }
    void TearDown() override { QDir::setCurrent(QDir::tempPath()); }

    void record(RecordTable& table, int rows) {
        Recorder recorder(table);
        recorder.Trecord().stop();
        for (int i = 0; i < rows; ++i) recorder.INDataToTable(MeterReading{"1.000", 1000.0F, "DC", "V", "AUTO"});
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
        }
        ASSERT_FALSE(QFile::exists(journal()));
        for (const char* suffix : {"", "-wal"}) QFile::rename(dir.filePath("kept.db") + suffix, journal() + suffix);
    }

    QTemporaryDir dir;
};

// A recording process killed mid-run loses at most its last second of rows.
TEST_F(RecordingJournal, KilledRunIsRestoredUpToItsLastSecond) {
    QProcess run;
    run.start(VESKA_RECORDING_HELPER, {"record", dir.path()});
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
    EXPECT_EQ(table.rowCount(), 0);  // the killed run's rows never reached the table file
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

TEST_F(RecordingJournal, LeftoverIsMovedAsideNeverOverwritten) {
    crashedRun(5);

    RecordTable table;
    table.setNow([] { return QDateTime(QDate(2026, 5, 12), QTime(14, 5, 9)); });
    table.openDefault();
    ASSERT_TRUE(table.hasLeftoverJournal());
    EXPECT_EQ(table.leftoverJournalRows(), 5);
    const QString moved = table.moveJournalAside();
    EXPECT_EQ(moved, dir.filePath("Kestodb-recovery-20260512-140509.db"));
    EXPECT_FALSE(table.hasLeftoverJournal());
    EXPECT_EQ(RecoveryJournal::rowsIn(moved), 5);

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

}  // namespace
