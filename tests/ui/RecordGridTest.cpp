#include "ui/RecordGrid.h"
#include "ui/RecordGridModel.h"
#include "storage/RecordTable.h"
#include "session/Recorder.h"

#include "ui/LcdSymbolDelegate.h"

#include <QDir>
#include <QScrollBar>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace veska;

namespace {

class RecordGridTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir::setCurrent(dir.path());
        table.openDefault();
        recorder.samplingTimer().stop();
        recorder.setRecordLimit(Recorder::kLimitless);
    }
    void TearDown() override {
        table.close();
        QDir::setCurrent(QDir::tempPath());
    }
    void record(int rows) {
        for (int i = 0; i < rows; ++i)
            recorder.offerReading(MeterReading{std::to_string(i), float(i), "AC", "k*", "MANU"});
    }

    QTemporaryDir dir;
    RecordTable table;
    Recorder recorder{table};
};

TEST_F(RecordGridTest, ColumnsAsDesigned) {
    RecordGrid grid(table);
    auto* model = grid.gridModel();
    const QStringList titles{"No", "Time", "DC/AC", "Value", "Unit", "AUTO"};
    const int widths[] = {39, 53, 37, 43, 36};
    const Qt::Alignment horizontal[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignHCenter,
                                        Qt::AlignRight, Qt::AlignRight, Qt::AlignLeft};
    record(1);
    ASSERT_EQ(model->columnCount(), 6);
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(model->headerData(c, Qt::Horizontal).toString(), titles[c]);
        if (c < 5) {
            EXPECT_EQ(grid.columnWidth(c), widths[c]) << c;
        }
        const auto align = model->data(model->index(0, c), Qt::TextAlignmentRole).value<Qt::Alignment>();
        EXPECT_EQ(align & Qt::AlignHorizontal_Mask, horizontal[c]) << c;
        const QFont font = model->data(model->index(0, c), Qt::FontRole).value<QFont>();
        EXPECT_EQ(font.family(), "Arial");
        EXPECT_EQ(font.pixelSize(), 12);
    }
    EXPECT_EQ(grid.columnWidth(5), RecordGrid::kDefaultColumnWidth);
    EXPECT_NE(grid.unitDelegate(), nullptr);
    EXPECT_EQ(model->data(model->index(0, 4)).toString(), "k*");
    EXPECT_EQ(model->data(model->index(0, 2)).toString(), "AC");
    EXPECT_FALSE(model->flags(model->index(0, 0)) & Qt::ItemIsEditable);
}

TEST_F(RecordGridTest, FollowsTheNewestRowAndReadsOnlyWhatItShows) {
    record(5000);
    RecordGrid grid(table);
    grid.resize(289, 152);
    grid.show();
    record(25);
    const int last = grid.gridModel()->rowCount() - 1;
    EXPECT_EQ(last, 5024);
    EXPECT_EQ(grid.currentRow(), last);
    EXPECT_TRUE(grid.isRowVisible(last));
    const QPixmap shot = grid.grab();
    EXPECT_FALSE(shot.isNull());
    EXPECT_EQ(grid.gridModel()->data(grid.gridModel()->index(last, 0)).toString(), "5025");
    EXPECT_LE(grid.gridModel()->rowsFetched(), 4 * 128) << "the grid must not read the whole table";
}

TEST_F(RecordGridTest, EmptiedAndReopenedTablesShowWhatTheyHold) {
    RecordGrid grid(table);
    record(30);
    recorder.setConfirmHook([](const QString&) { return true; });
    recorder.newRecord();
    EXPECT_EQ(grid.gridModel()->rowCount(), 0);
    record(2);
    EXPECT_EQ(grid.gridModel()->data(grid.gridModel()->index(1, 0)).toString(), "2");
    table.close();
    EXPECT_EQ(grid.gridModel()->rowCount(), 0);
    table.openDefault();
    EXPECT_EQ(grid.gridModel()->rowCount(), 0);  // the run's rows were never written to the file
}

}  // namespace
