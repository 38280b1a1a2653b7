// The History window from the main window: following the record table, panes per unit,
// zoom by keys, cursors, export, and a record file of seven fields opened in it.
#include "support/FakeDialogs.h"
#include "DataFilesTestSupport.h"

#include "history/HistoryModel.h"
#include "session/HistoryDocument.h"
#include "ui/HistoryPlot.h"
#include "ui/HistoryWindow.h"
#include "ui/MainMenu.h"
#include "ui/MainWindow.h"
#include "links/HidDeviceMonitor.h"
#include "links/SimulatedHidPlatform.h"

#include <QAction>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace veska::test {
namespace {

std::string Packet(const char* sign, const char* digits, char point, const char* status) {
    return std::string(sign) + digits + "20" + "3" + point + status + "00" + "0D";
}

const char* const kVolt = "30000080";  // DC, AUTO, V
const char* const kHertz = "00000008";

class HistoryWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        MainWindow::Options o;
        o.dialogs = &dialogs;
        o.deviceMonitor = std::make_shared<HidDeviceMonitor>(std::make_shared<SimulatedHidPlatform>());
        window = std::make_unique<MainWindow>(o);
        window->setBeep([] {});
    }
    void TearDown() override {
        window.reset();
        QDir::setCurrent(previous);
    }
    HistoryWindow& openHistory() {
        QAction* item = nullptr;
        for (QAction* a : window->menu().recordMenu->actions())
            if (a->text() == QStringLiteral("History")) item = a;
        EXPECT_NE(item, nullptr);
        if (item) item->trigger();
        auto* history = window->findChild<HistoryWindow*>();
        EXPECT_NE(history, nullptr);
        return *history;
    }

    QTemporaryDir dir;
    QString previous;
    FakeDialogs dialogs;
    std::unique_ptr<MainWindow> window;
};

TEST_F(HistoryWindowTest, FollowsTheRecordTableWithAPanePerUnit) {
    window->handlePacket(Packet("2B", "30313233", '2', kVolt));  // 1.23 V before it opens
    HistoryWindow& history = openHistory();
    EXPECT_TRUE(history.isVisible());
    EXPECT_FALSE(history.isModal());
    QTRY_VERIFY(history.document().model() && !history.document().loading());
    EXPECT_EQ(history.document().model()->readings(), 1);

    window->handlePacket(Packet("2D", "31323334", '1', kVolt));  // -1.234 V, recorded live
    window->handlePacket(Packet("2B", "31323334", '1', kHertz));  // 1.234 kHz? the unit's own pane
    const HistoryModel& model = *history.document().model();
    EXPECT_EQ(model.readings(), 3);
    EXPECT_EQ(model.paneUnits().size(), 2u);
    EXPECT_TRUE(history.plot().following());
    EXPECT_TRUE(history.plot().view().contains(model.lastMs()));
    history.refresh();
    ASSERT_GE(history.statistics().rowCount(), 2);
    EXPECT_EQ(history.statistics().item(0, 0)->text(), "V DC");
    EXPECT_EQ(history.statistics().item(0, 1)->text(), "2");
    EXPECT_EQ(history.statistics().item(0, 2)->text(), "-1.234 V");

    // Keys: + halves the span, Home shows the whole run again.
    HistoryPlot& plot = history.plot();
    const std::int64_t whole = plot.view().span();
    QTest::keyClick(&plot, Qt::Key_Plus);
    EXPECT_NEAR(double(plot.view().span()), whole / 2.0, 2.0);
    QTest::keyClick(&plot, Qt::Key_Home);
    EXPECT_EQ(plot.view().span(), model.wholeRun().span());

    // A click sets cursor A, Shift+click cursor B; the readout says where they are.
    const QRect area = HistoryPicture::plotArea(plot.pictureArea());
    QTest::mouseClick(&plot, Qt::LeftButton, {}, QPoint(area.left() + 5, area.center().y()));
    QTest::mouseClick(&plot, Qt::LeftButton, Qt::ShiftModifier, QPoint(area.right() - 5, area.center().y()));
    ASSERT_TRUE(plot.cursor(0) && plot.cursor(1));
    EXPECT_LT(*plot.cursor(0), *plot.cursor(1));
    history.refresh();
    EXPECT_TRUE(history.readout().text().contains("Δt")) << history.readout().text().toStdString();
    // Once the rows around the cursors are read, their values are the readings themselves.
    QTRY_VERIFY_WITH_TIMEOUT(
        (history.refresh(), history.statistics().item(0, 8) && !history.statistics().item(0, 8)->text().startsWith("≈")), 3000);
    EXPECT_EQ(history.statistics().item(0, 8)->text(), "-1.234 V");

    // Export through the window's dialogs.
    dialogs.chosenFile = dir.filePath("view.png");
    history.exportPicture();
    EXPECT_EQ(dialogs.errors, QStringList());
    EXPECT_FALSE(QImage(dialogs.chosenFile).isNull());
}

TEST_F(HistoryWindowTest, OpensASevenFieldFileWhoseDateIsUnknown) {
    const QString file = dir.filePath("older.db");
    writeRecordFile(file, rows(1, 50));
    HistoryWindow& history = openHistory();
    dialogs.chosenFile = file;
    history.chooseFile();
    QTRY_VERIFY(history.document().model() && !history.document().loading());
    const HistoryModel& model = *history.document().model();
    EXPECT_FALSE(model.dateKnown());
    EXPECT_EQ(model.readings(), 50);
    EXPECT_FALSE(history.document().followsRecordTable());
    history.refresh();
    EXPECT_TRUE(history.readout().text().contains("date is unknown"));
    // Rows recorded now do not reach a file that is not the record table.
    window->handlePacket(Packet("2B", "30313233", '2', kVolt));
    EXPECT_EQ(history.document().model()->readings(), 50);
}

}  // namespace
}  // namespace veska::test
