// A record table whose held rows were lost to a full disk refuses to be saved or printed
// partially: the rows are only in the journal until they are put back.
#include "session/Recorder.h"
#include "storage/RecordTable.h"
#include "storage/TableError.h"
#include "support/FileSizeLimit.h"
#include "ui/DataFileCommands.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

using namespace veska;
using veska::test::FileSizeLimit;

namespace {

class RecordingJournal : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir::setCurrent(dir.path());
    }
    void TearDown() override { QDir::setCurrent(QDir::tempPath()); }
    QString journal() const { return dir.filePath("Kestodb-recovery.db"); }

    QTemporaryDir dir;
};

// A long run whose rows spill into the table file meets a full disk: the failed spill takes
// every held row along, the recorder pauses, and once the disk takes writes again the rows
// come back from the journal, in order, before the next one. Nothing is lost or doubled.
TEST_F(RecordingJournal, HeldRowsLostToAFullDiskComeBackFromTheJournal) {
    RecordTable table;
    table.openDefault();
    Recorder recorder(table);
    recorder.samplingTimer().stop();
    recorder.setRecordLimit(Recorder::kLimitless);
    recorder.setRetryInterval(0);
    QStringList errors;
    QObject::connect(&recorder, &Recorder::error, [&](const QString& m) { errors << m; });
    int resets = 0;
    QObject::connect(&table, &RecordTable::tableReset, [&] { ++resets; });
    const auto offer = [&] { recorder.offerReading(MeterReading{"1.000", 1000.0F, "DC", "V", "AUTO"}); };
    for (int i = 0; i < 40000; ++i) offer();  // past the page cache: the table file has grown
    table.commitJournal();
    qint64 recorded = table.rowCount();
    {
        // The table file may not grow: its next spill fails (the journal's log is larger).
        FileSizeLimit limit{rlim_t(QFileInfo(table.filePath()).size())};
        bool lost = false;
        for (int i = 0; i < 200000 && !lost; ++i) {
            offer();
            lost = table.rowCount() < recorded;
            recorded = std::max(recorded, table.rowCount());
        }
        ASSERT_TRUE(lost) << "no spill failed";
        EXPECT_TRUE(recorder.paused());
        EXPECT_LT(table.rowCount(), 100) << "the held rows are gone from the table for now";
        EXPECT_GT(resets, 0) << "the grid must hear that rows went away";
        // No save of the partial table while the rows cannot be put back, nor may one drop
        // the journal that holds them.
        EXPECT_FALSE(table.holdsEveryRow());
        const FileSizeLimit nothingGrows{1};
        EXPECT_THROW(table.restoreLostRows(), TableError);
        DataFileCommands commands(table);
        QStringList refusals;
        QObject::connect(&commands, &DataFileCommands::error, [&](const QString& m, bool) { refusals << m; });
        EXPECT_FALSE(commands.saveTo(dir.filePath("partial.txt")));
        EXPECT_FALSE(commands.printRecords());
        ASSERT_EQ(refusals.size(), 2);
        for (const QString& refusal : refusals) EXPECT_TRUE(refusal.contains(journal())) << refusal.toStdString();
        table.markSaved();
        EXPECT_GT(table.unsavedRows(), recorded - 100);
    }
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QString::fromLocal8Bit(std::strerror(EFBIG)))) << errors[0].toStdString();
    EXPECT_TRUE(errors[0].contains("(free some space)")) << errors[0].toStdString();
    // Counted, not assumed: what the journal holds and what only memory holds.
    EXPECT_TRUE(errors[0].contains("not yet saved in the recovery journal") ||
                errors[0].contains("not yet saved are in the recovery journal"))
        << errors[0].toStdString();
    offer();  // the disk takes writes again: the held rows come back, then this one
    EXPECT_FALSE(recorder.paused());
    const qint64 rows = table.rowCount();
    EXPECT_EQ(rows, recorder.nextRecordNo() - 1);
    EXPECT_GE(rows, recorded);
    for (qint64 i = 0; i < rows; i += 997) EXPECT_EQ(table.rowTexts(i).value(0), QString::number(i + 1));
    EXPECT_EQ(table.rowTexts(rows - 1).value(0), QString::number(rows));
    EXPECT_EQ(table.unsavedRows(), rows);
    table.close();
}

}  // namespace
