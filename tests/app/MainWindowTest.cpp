#include "links/HidDeviceMonitor.h"
#include "ui/StatisticsWindow.h"
#include <QTableWidget>
#include "support/FakeDialogs.h"
#include "support/FileSizeLimit.h"
#include "ui/MainMenu.h"
#include "ui/PortsDialog.h"
#include "ui/MainWindow.h"
#include "ui/AnalogGauge.h"
#include "ui/LcdLabel.h"
#include "ui/LcdPanel.h"
#include "ui/LimitPanel.h"
#include "ui/ReadingBar.h"
#include "links/SimulatedHidDevice.h"
#include "links/SimulatedHidPlatform.h"
#include "links/UsbConnection.h"
#include "ui/HistoryChart.h"
#include "ui/RecordGrid.h"
#include "ui/StatusLine.h"
#include "storage/RecordTable.h"
#include "storage/RecoveryJournal.h"
#include "session/Recorder.h"
#include "storage/TableEngine.h"
#include "storage/TableStatistics.h"
#include "links/MeterSimulator.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QSettings>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <memory>
#include <string>

namespace veska::test {
namespace {

// A packet text as the serial framing hands it on: sign, digits, separator, point code,
// four status bytes, the unused byte and the end byte.
std::string Packet(const char* sign, const char* digits, char point, const char* status = "00000000") {
    return std::string(sign) + digits + "20" + "3" + point + status + "00" + "0D";
}

const char* const kVolt = "30000080";     // DC, AUTO, V
const char* const kHertz = "00000008";

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
    }
    void TearDown() override {
        window.reset();
        QDir::setCurrent(previous);
    }
    MainWindow& open(std::shared_ptr<HidPlatform> hid = std::make_shared<SimulatedHidPlatform>()) {
        MainWindow::Options o;
        o.dialogs = &dialogs;
        o.deviceMonitor = std::make_shared<HidDeviceMonitor>(std::move(hid));
        window = std::make_unique<MainWindow>(o);
        window->setBeep([this] { ++beeps; });  // tests stay silent
        return *window;
    }
    QString digits() const {
        QString s;
        for (int i = 1; i <= 4; ++i) s += window->lcdPanel().digit(i)->text();
        return s;
    }

    QTemporaryDir dir;
    QString previous;
    FakeDialogs dialogs;
    std::unique_ptr<MainWindow> window;
    int beeps = 0;
};

TEST_F(MainWindowTest, StartsAsTheShippedModel) {
    MainWindow& w = open();
    EXPECT_EQ(w.windowTitle(), "Veska Interface Program _Ver: 1.00");
    EXPECT_EQ(w.serialDriver().comPortSpeed(), ComPortBaudRate::Baud2400);
    EXPECT_EQ(w.gauge().scaleCode(), ScaleCode::Count6000);
    EXPECT_EQ(w.gauge().fullScaleCount(), 6000);
    EXPECT_EQ(w.gauge().gaugeOffset(), 600);
    EXPECT_EQ(w.gauge().barMax(), 60);
    EXPECT_EQ(w.gauge().gaugeSpan(), 120);
    EXPECT_EQ(w.session().limits().upper(), 6000.0F);
    EXPECT_EQ(w.session().limits().lower(), -6000.0F);
    EXPECT_EQ(w.session().extremes().maximum(), -6001.0F);
    EXPECT_EQ(w.session().extremes().minimum(), 6001.0F);
    EXPECT_EQ(w.limitPanel().minReadout()->text(), "6001");
    EXPECT_EQ(w.limitPanel().maxReadout()->text(), "-6001");
    EXPECT_EQ(w.historyChart().leftAxisMinimum(), -6000);
    EXPECT_EQ(w.historyChart().leftAxisMaximum(), 6000);
    EXPECT_EQ(w.gauge().needleTip(), QPoint(160, 34));
    EXPECT_EQ(w.recorder().nextRecordNo(), 1);
    EXPECT_EQ(w.recorder().recordLimit(), 10000);
    EXPECT_TRUE(w.historyChart().followLastPage());
    EXPECT_TRUE(w.recordTable().isOpen());
    EXPECT_EQ(digits(), "5999");
    EXPECT_TRUE(dialogs.errors.isEmpty());

    // A byte stream from the driver reaches the display through the profile's framing.
    const std::uint8_t stream[] = {0x0A, 0x2B, 0x30, 0x31, 0x32, 0x33, 0x20, 0x32, 0x00, 0x00, 0x00, 0x80, 0x00, 0x0D};
    w.session().handleSerialBytes(stream, sizeof stream);
    EXPECT_EQ(digits(), "0123");
}

TEST_F(MainWindowTest, ATableHeldByAnotherProgramIsReportedOnceAndStartUpGoesOn) {
    TableEngine::createTable(dir.filePath("Kestodb.db"), RecordTable::recordFields());
    TableEngine holder;
    holder.setTableName(dir.filePath("Kestodb.db"));
    holder.setExclusive(true);
    holder.open();

    MainWindow& w = open();
    EXPECT_EQ(dialogs.errors.size(), 1);
    EXPECT_FALSE(w.recordTable().isOpen());
    EXPECT_EQ(w.windowTitle(), "Veska Interface Program _Ver: 1.00");
    EXPECT_EQ(w.gauge().scaleCode(), ScaleCode::Count6000);
    EXPECT_EQ(w.session().limits().upper(), 6000.0F);
    w.handlePacket(Packet("2B", "30313233", '2', kVolt));
    EXPECT_EQ(digits(), "0123");  // the link still works without a table
}

TEST_F(MainWindowTest, RowsLeftByACrashedRunAreOfferedBack) {
    {
        // A run that ended without closing its table leaves its journal behind.
        TableEngine::createTable(dir.filePath("Kestodb.db"), RecordTable::recordFields());
        RecoveryJournal journal;
        journal.start(dir.filePath("Kestodb.db"), RecordTable::recordFields());
        for (qint64 no = 1; no <= 3; ++no) {
            journal.append({no, QTime(12, 0, 0), QString("DC"), QString("1.000"), QString("V"), QString("AUTO"), 1000.0});
        }
        journal.commit();
    }
    MainWindow& w = open();
    // Asked over the window once it is on screen, not before it exists.
    EXPECT_TRUE(dialogs.questions.isEmpty());
    w.show();
    EXPECT_TRUE(QTest::qWaitFor([this] { return !dialogs.questions.isEmpty(); }));
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(dialogs.questions[0].contains("3")) << dialogs.questions[0].toStdString();
    EXPECT_EQ(w.recordTable().rowCount(), 3);
    EXPECT_EQ(w.recordTable().unsavedRows(), 3);
    // The restored rows count as the grid shows them, in the status line and against the
    // record limit.
    EXPECT_EQ(w.statusLine().rowsText(), "rows 3 / 10000");
    // Numbering goes on after the restored rows instead of repeating No 1.
    w.handlePacket(Packet("2B", "30313233", '2', kVolt));
    ASSERT_EQ(w.recordTable().rowCount(), 4);
    EXPECT_EQ(w.recordTable().rowTexts(3).value(0), "4");
    EXPECT_EQ(w.statusLine().rowsText(), "rows 4 / 10000");
    w.recorder().setRecordLimit(5);
    for (int i = 0; i < 3; ++i) w.handlePacket(Packet("2B", "30313233", '2', kVolt));
    EXPECT_EQ(w.recordTable().rowCount(), 5);
    EXPECT_EQ(w.statusLine().rowsText(), "recording stopped: limit reached");
}

TEST_F(MainWindowTest, OnePacketUpdatesTheWholeWindow) {
    MainWindow& w = open();
    w.handlePacket(Packet("2D", "31323334", '1', kVolt));  // -1.234 V DC AUTO
    EXPECT_EQ(digits(), "1234");
    EXPECT_TRUE(w.lcdPanel().control("LcdFH")->isVisibleTo(&w.lcdPanel()));
    EXPECT_TRUE(w.lcdPanel().control("LcdV")->isVisibleTo(&w.lcdPanel()));
    EXPECT_TRUE(w.gauge().linkOkPicture()->isVisibleTo(&w.gauge()));
    EXPECT_EQ(w.watchdog().linkIdleTicks(), 0);
    EXPECT_NE(w.gauge().needleTip(), QPoint(160, 34));  // left of zero
    EXPECT_LT(w.gauge().needleTip().x(), 160);
    EXPECT_EQ(w.recordTable().rowCount(), 1);
    EXPECT_EQ(w.recordTable().rowTexts(0).mid(0, 6),
              (QStringList{"1", w.recordTable().rowTexts(0)[1], "DC", "-1.234", "V", "AUTO"}));
    EXPECT_EQ(w.readingBar().value(), 12);
    EXPECT_EQ(w.historyChart().pointValue(0, w.historyChart().pointCount(0) - 1), -1234);
    EXPECT_EQ(w.recorder().nextRecordNo(), 2);

    // The first packet restarted the peaks (a new unit); the next one is tracked.
    w.handlePacket(Packet("2D", "31323334", '1', kVolt));
    EXPECT_EQ(w.session().extremes().maximum(), -1234.0F);
    EXPECT_EQ(w.session().extremes().minimum(), -1234.0F);
}

TEST_F(MainWindowTest, BarFollowsTheFirstTwoDigits) {
    MainWindow& w = open();
    struct Case {
        const char* digits;
        const char* status;
        int maximum, position;
    };
    const Case cases[] = {
        {"30303030", kVolt, 60, 1},   {"30313030", kVolt, 60, 1}, {"35393030", kVolt, 60, 59},
        {"3F303030", kVolt, 60, 60},  {"30353030", kHertz, 100, 5},
        {"30303030", "00000200", 10, 1},  // percent
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.digits);
        w.handlePacket(Packet("2B", c.digits, '0', c.status));
        EXPECT_EQ(w.readingBar().maximum(), c.maximum);
        EXPECT_EQ(w.readingBar().value(), c.position);
    }
}

// The first overload after V -> Hz counts with the Hz scale, in the reading, the alarm and
// the stored row alike.
TEST_F(MainWindowTest, OverloadRightAfterAUnitChangeCountsWithItsOwnUnit) {
    MainWindow& w = open();
    w.limitPanel().upperLimitField()->setText("2000");
    w.limitPanel().upperLimitSwitch()->setChecked(true);
    w.handlePacket(Packet("2B", "30313233", '0', kVolt));
    w.handlePacket(Packet("2B", "3F303030", '0', kHertz));
    EXPECT_EQ(w.session().reading().numericValue, 1001.0F);
    EXPECT_EQ(beeps, 0);  // 1001 is below the limit; 6001 was not
    w.handlePacket(Packet("2B", "3F303030", '0', kHertz));
    EXPECT_EQ(w.session().reading().numericValue, 1001.0F);
    w.handlePacket(Packet("2D", "3F303030", '0', kVolt));
    EXPECT_EQ(w.session().reading().numericValue, -6001.0F);
    const TableEngine& rows = w.recordTable().engine();
    const int nval = rows.fieldIndex(QStringLiteral("Nval"));
    QStringList nvals;
    for (const QStringList& row : rows.rowTexts(0, 10)) nvals << row.value(nval);
    EXPECT_EQ(nvals, QStringList({"123", "1001", "1001", "-6001"}));
}

TEST_F(MainWindowTest, ADecodeFailureKeepsThePreviousReadingAndNoBoxOpens) {
    MainWindow& w = open();
    w.handlePacket(Packet("2B", "30313233", '2', "0A000080"));  // AC V
    const qint64 rows = w.recordTable().rowCount();
    for (int i = 0; i < 3; ++i) w.onWatchdogTick();
    EXPECT_FALSE(w.gauge().linkOkPicture()->isVisibleTo(&w.gauge()));

    w.handlePacket(Packet("2B", "3031323A", '2', "0A000080"));
    EXPECT_EQ(digits(), "0123");
    EXPECT_TRUE(w.gauge().linkOkPicture()->isVisibleTo(&w.gauge()));
    EXPECT_FALSE(w.lcdPanel().control("LcdAC")->isVisibleTo(&w.lcdPanel()));  // marks hidden
    EXPECT_EQ(w.recordTable().rowCount(), rows);
    EXPECT_EQ(w.session().decodeFailures(), 1U);
    QTest::qWait(10);
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_TRUE(w.gauge().linkOkPicture()->toolTip().contains("'012A' is not a valid integer value"));
}

TEST_F(MainWindowTest, LayoutIsHeldAndTheChartEnlargesAndRestores) {
    MainWindow& w = open();
    w.show();
    EXPECT_EQ(w.outerWidth(), 622);
    EXPECT_EQ(w.outerHeight(), 463);
    EXPECT_EQ(w.client()->size(), QSize(618, 413));
    EXPECT_EQ(w.control("exitPanel")->x(), 542);
    EXPECT_EQ(w.control("connectPanel")->x(), 432);
    EXPECT_EQ(w.control("disconnectPanel")->x(), 432);
    EXPECT_EQ(w.recordGrid().geometry().bottom(), w.client()->height() - 1);  // nothing under the edge
    EXPECT_EQ(w.historyChart().geometry(), QRect(288, 173, 322, 246));
    EXPECT_EQ(w.gauge().width(), 319);
    EXPECT_EQ(w.control("gaugeShadow")->size(), QSize(317, 133));

    w.toggleChartEnlarged();
    EXPECT_EQ(w.historyChart().geometry(), QRect(2, 28, 610, 378));
    EXPECT_FALSE(w.historyChart().enlargeButton()->isVisibleTo(&w.historyChart()));
    w.toggleChartEnlarged();
    EXPECT_EQ(w.historyChart().geometry(), QRect(288, 173, 322, 246));
    EXPECT_TRUE(w.historyChart().enlargeButton()->isVisibleTo(&w.historyChart()));

    // A size change from outside is undone and the layout re-applied.
    w.toggleChartEnlarged();
    const QSize held = w.size();
    w.resize(800, 600);
    QTest::qWait(10);
    EXPECT_EQ(w.size(), held);
    w.applyLayout();
    EXPECT_EQ(w.historyChart().y(), 173);
    EXPECT_EQ(w.historyChart().width(), 322);
}

TEST_F(MainWindowTest, MenusHaveTheirItemsAndStates) {
    MainWindow& w = open();
    const MainMenu& m = w.menu();
    EXPECT_TRUE(m.com1Item->isChecked());
    EXPECT_FALSE(m.stopItem->isEnabled());
    EXPECT_TRUE(m.fillItem->isChecked());
    QStringList record;
    // The captions as shown: a mnemonic's "&" only underlines a letter.
    for (QAction* a : m.recordMenu->actions()) record << (a->isSeparator() ? QStringLiteral("-") : a->text().remove('&'));
    EXPECT_EQ(record, (QStringList{"New", "Save", "-", "1000", "5000", "10000", "50000", "100000", "limitless", "-",
                                   "History", "Statistics"}));
    EXPECT_TRUE(m.recordMenu->actions()[5]->isChecked());
    m.recordMenu->actions()[3]->trigger();
    EXPECT_EQ(w.recorder().recordLimit(), 1000);

    m.fillItem->trigger();  // "Fill" off: the line series
    EXPECT_TRUE(w.historyChart().isSeriesActive(1));
    EXPECT_FALSE(m.fillItem->isChecked());

    // Port stepping through the visible panel: COM4's panel selects COM1.
    w.selectCom4();
    EXPECT_TRUE(m.com4Item->isChecked());
    EXPECT_TRUE(w.control("comPanel4")->isVisibleTo(w.client()));
    w.selectCom1();
    EXPECT_TRUE(m.com1Item->isChecked());
    EXPECT_FALSE(w.control("comPanel4")->isVisibleTo(w.client()));
}

TEST_F(MainWindowTest, ExitAsksAndNeverDropsUnsavedRowsSilently) {
    MainWindow& w = open();
    dialogs.yes = false;
    w.confirmExit();
    EXPECT_EQ(dialogs.questions, (QStringList{QStringLiteral("Are you ensure to exit the program\uFF1F")}));
    EXPECT_TRUE(w.recordTable().isOpen());

    w.handlePacket(Packet("2B", "30313233", '2', kVolt));
    ASSERT_EQ(w.recordTable().unsavedRows(), 1);
    dialogs.yes = true;
    dialogs.saveChoice = UserDialogs::SaveChoice::Cancel;
    w.confirmExit();
    w.exitProgram();
    EXPECT_FALSE(w.close());
    EXPECT_EQ(dialogs.saveQuestions.size(), 3);
    EXPECT_TRUE(w.recordTable().isOpen());

    // Save: the save dialog's file gets the rows, then the program ends.
    dialogs.saveChoice = UserDialogs::SaveChoice::Save;
    dialogs.chosenFile = dir.filePath("run1.xls");
    w.exitProgram();
    EXPECT_FALSE(w.recordTable().isOpen());
    QFile saved(dir.filePath("run1.xls"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().count("\r\n"), 2);  // header and one row
}

// The interval and limit fields: no box while typing, one when the edit ends, then the
// value in force in the field.
TEST_F(MainWindowTest, NumberFieldsTellABadTextOnceWhenTheEditEnds) {
    MainWindow& w = open();
    auto* interval = qobject_cast<QLineEdit*>(w.control("intervalField"));
    ASSERT_NE(interval, nullptr);
    interval->selectAll();
    QTest::keyClicks(interval, QStringLiteral("99999999999"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_EQ(w.recorder().interval(), 999999999);  // the last text that was a number
    QTest::keyClick(interval, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs.errors, QStringList{"'99999999999' is not a valid integer value"});
    EXPECT_EQ(interval->text(), "999999999");

    dialogs.errors.clear();
    QLineEdit* setMin = w.limitPanel().lowerLimitField();
    setMin->selectAll();
    QTest::keyClicks(setMin, QStringLiteral("12-3"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_EQ(w.session().limits().lower(), 12.0F);
    QTest::keyClick(setMin, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs.errors, QStringList{"'12-3' is not a valid integer value"});
    EXPECT_EQ(setMin->text(), "12");
}

TEST_F(MainWindowTest, EachPacketBeyondASwitchedOnLimitSoundsTheAlarm) {
    MainWindow& w = open();
    w.session().setUpperLimit(1000.0F, true);
    w.handlePacket(Packet("2B", "30393939", '0', kVolt));  // 999: within
    EXPECT_EQ(beeps, 0);
    w.handlePacket(Packet("2B", "31303031", '0', kVolt));  // 1001: beyond
    w.handlePacket(Packet("2B", "31303032", '0', kVolt));
    EXPECT_EQ(beeps, 2);
}

TEST_F(MainWindowTest, DataFileCommandsGoThroughTheWindowsDialogs) {
    MainWindow& w = open();
    w.handlePacket(Packet("2B", "30313233", '2', kVolt));
    w.handlePacket(Packet("2B", "30313234", '2', kVolt));
    dialogs.chosenFile = dir.filePath("copy.db");
    w.saveRecordFileAs();
    EXPECT_TRUE(QFile::exists(dir.filePath("copy.db")));
    EXPECT_EQ(w.recordTable().unsavedRows(), 0);

    w.printRecords();
    EXPECT_EQ(dialogs.previews, 1);

    w.openRecordFile();  // the saved copy replaces the record table
    EXPECT_EQ(w.recordTable().rowCount(), 2);
    EXPECT_TRUE(w.recordTable().filePath().endsWith("copy.db", Qt::CaseInsensitive));
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
}

TEST_F(MainWindowTest, SimulatedMeterOnCom1ReachesTheDisplay) {
    MeterSimulator sim;
    ASSERT_TRUE(sim.open()) << sim.errorText().toStdString();
    sim.setRate(50);
    MainWindow::Options o;
    o.dialogs = &dialogs;
    o.deviceMonitor = std::make_shared<HidDeviceMonitor>(std::make_shared<SimulatedHidPlatform>());
    o.portMap.setPath(ComPortNumber::Com1, sim.slavePath());
    window = std::make_unique<MainWindow>(o);
    window->setBeep([this] { ++beeps; });
    sim.start();
    window->comConnectClicked();
    EXPECT_TRUE(window->serialDriver().isConnected());
    EXPECT_TRUE(window->menu().stopItem->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->recordTable().rowCount() >= 3; }, 5000));
    EXPECT_TRUE(window->gauge().linkOkPicture()->isVisibleTo(&window->gauge()));

    // The meter falls silent: the watchdog's own timer turns the indicator.
    sim.stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->gauge().linkDownPicture()->isVisibleTo(&window->gauge()); }, 2000));

    // Pressed again: disconnects.
    window->comConnectClicked();
    EXPECT_FALSE(window->serialDriver().isConnected());
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(MainWindowTest, SimulatedCableThroughUsbConnect) {
    auto platform = std::make_shared<SimulatedHidPlatform>();
    auto cable = platform->plug(SimulatedHidPlatform::bridge());
    MainWindow& w = open(platform);
    QTest::qWait(20);
    w.usbConnectClicked();
    EXPECT_TRUE(w.session().usbLink()->meterReadingOn());
    EXPECT_EQ(cable->bitRate(), 2400U);
    cable->feed({0x2B, 0x30, 0x34, 0x35, 0x36, 0x20, 0x34, 0x00, 0x00, 0x00, 0x08, 0x00, 0x0D, 0x0A});
    EXPECT_TRUE(QTest::qWaitFor([&] { return digits() == "0456"; }, 5000));
    EXPECT_EQ(w.gauge().scaleCode(), ScaleCode::Frequency);

    w.usbConnectClicked();  // released: stops reading
    EXPECT_FALSE(w.session().usbLink()->meterReadingOn());
    EXPECT_FALSE(w.session().usbLink()->isLinkActive());
}

// One link at a time: pressing either link's button first disconnects the other one
// cleanly, so packets of both never feed one display and one table.
TEST_F(MainWindowTest, EitherLinksButtonStopsTheOtherLink) {
    MeterSimulator sim;
    ASSERT_TRUE(sim.open()) << sim.errorText().toStdString();
    sim.setRate(50);
    auto platform = std::make_shared<SimulatedHidPlatform>();
    auto cable = platform->plug(SimulatedHidPlatform::bridge());
    MainWindow::Options o;
    o.dialogs = &dialogs;
    o.deviceMonitor = std::make_shared<HidDeviceMonitor>(platform);
    o.portMap.setPath(ComPortNumber::Com1, sim.slavePath());
    window = std::make_unique<MainWindow>(o);
    window->setBeep([this] { ++beeps; });
    MainWindow& w = *window;
    sim.start();
    const auto serialIsOff = [&] {
        EXPECT_FALSE(w.serialDriver().isConnected());
        EXPECT_FALSE(w.linkControls().isPressed(LinkControls::ComConnect));
        EXPECT_FALSE(w.menu().stopItem->isEnabled());
        EXPECT_TRUE(w.menu().stopItem->isChecked());
        EXPECT_TRUE(w.menu().startItem->isEnabled());
        EXPECT_TRUE(w.menu().comSetupMenu->isEnabled());
    };
    const auto usbIsOff = [&] {
        EXPECT_FALSE(w.session().usbLink()->meterReadingOn());
        EXPECT_FALSE(w.session().usbLink()->isLinkActive());
        EXPECT_FALSE(w.linkControls().isPressed(LinkControls::UsbConnect));
        ASSERT_NE(w.session().usbLink()->selectedHidDevice(), nullptr);
        EXPECT_FALSE(w.session().usbLink()->selectedHidDevice()->readerRunning());
    };
    const std::vector<std::uint8_t> cablePacket{0x2B, 0x30, 0x34, 0x35, 0x36, 0x20, 0x34, 0x00,
                                                0x00, 0x00, 0x08, 0x00, 0x0D, 0x0A};  // 045.6 Hz

    // Serial first, then USB Connect: the port closes before the cable is read.
    w.comConnectClicked();
    ASSERT_TRUE(w.serialDriver().isConnected());
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.recordTable().rowCount() >= 2; }, 5000));
    w.usbConnectClicked();
    serialIsOff();
    EXPECT_TRUE(w.session().usbLink()->meterReadingOn());
    EXPECT_TRUE(w.session().usbLink()->selectedHidDevice()->readerRunning());
    cable->feed(cablePacket);
    EXPECT_TRUE(QTest::qWaitFor([&] { return digits() == "0456"; }, 5000));
    const qint64 rows = w.recordTable().rowCount();
    QTest::qWait(300);  // the simulator keeps sending into a closed port
    EXPECT_EQ(digits(), "0456");
    EXPECT_LE(w.recordTable().rowCount(), rows + 1);

    // USB first, then COM Connect: the reader stops before the port opens.
    w.comConnectClicked();
    usbIsOff();
    EXPECT_TRUE(w.serialDriver().isConnected());
    EXPECT_TRUE(w.linkControls().isPressed(LinkControls::ComConnect));
    EXPECT_TRUE(QTest::qWaitFor([&] { return digits() != "0456"; }, 5000));
    cable->feed(cablePacket);
    QTest::qWait(200);
    EXPECT_NE(digits(), "0456");

    // "START" from the menu stops the USB link as well.
    w.comConnectClicked();
    w.usbConnectClicked();
    ASSERT_TRUE(w.session().usbLink()->meterReadingOn());
    w.menu().startItem->trigger();
    usbIsOff();
    EXPECT_TRUE(w.serialDriver().isConnected());
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
}


TEST_F(MainWindowTest, AFailingAppendShowsOneErrorBoxAndNoRowIsLost) {
    MainWindow& w = open();
    w.recorder().setRetryInterval(20);  // many retries, still one box
    int reading = 0;
    const auto feed = [&] {
        const std::string digits = QStringLiteral("%1").arg(1000 + reading++ % 5000).toStdString();
        std::string hex;
        for (char c : digits) hex += QStringLiteral("%1").arg(int(c), 2, 16).toUpper().toStdString();
        w.handlePacket(Packet("2B", hex.c_str(), '0', kVolt));
    };
    for (int i = 0; i < 10; ++i) feed();
    w.recordTable().commitJournal();
    {
        const FileSizeLimit full(1);
        // Packets keep coming for longer than the journal's commit period and many retries.
        for (int i = 0; i < 60; ++i) {
            feed();
            QTest::qWait(25);
        }
        QTest::qWait(100);
        EXPECT_TRUE(w.recorder().paused());
    }
    EXPECT_EQ(dialogs.errors.size(), 1) << dialogs.errors.join('\n').toStdString();
    ASSERT_FALSE(dialogs.errors.isEmpty());
    EXPECT_TRUE(dialogs.errors[0].startsWith("Recording paused")) << dialogs.errors[0].toStdString();

    // Writing works again: recording goes on, numbered on without a gap, and every row held
    // through the full disk is in the table (put back from the journal when the failed write
    // took the held rows along) and in the journal, those of the failed batch included.
    QTest::qWait(30);
    feed();
    EXPECT_FALSE(w.recorder().paused());
    const qint64 rows = w.recordTable().rowCount();
    EXPECT_GE(rows, 11);
    EXPECT_EQ(rows, w.recorder().nextRecordNo() - 1);
    const auto texts = w.recordTable().engine().rowTexts(0, 1000);
    ASSERT_EQ(texts.size(), std::size_t(rows));
    for (qint64 i = 0; i < rows; ++i) EXPECT_EQ(texts[std::size_t(i)].value(0), QString::number(i + 1));
    EXPECT_EQ(dialogs.errors.size(), 1);
    const QString journal = w.recordTable().closeKeepingJournal();
    EXPECT_EQ(RecoveryJournal::rowsIn(journal), rows);
}

TEST_F(MainWindowTest, ACableUnpluggedWhileRecordingIsReadAndRecordedAgainWhenItComesBack) {
    auto platform = std::make_shared<SimulatedHidPlatform>();
    SimulatedHidDevice::Spec spec = SimulatedHidPlatform::bridge();
    spec.portPath = "1-1.2";
    auto cable = platform->plug(spec);
    MainWindow& w = open(platform);
    QTest::qWait(20);
    w.usbConnectClicked();
    ASSERT_TRUE(w.session().usbLink()->meterReadingOn());
    cable->feed({0x2B, 0x30, 0x34, 0x35, 0x36, 0x20, 0x34, 0x00, 0x00, 0x00, 0x08, 0x00, 0x0D, 0x0A});
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.recordTable().rowCount() == 1; }, 5000));

    platform->unplug(cable);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.session().usbLink()->awaitingCable(); }, 5000));
    auto back = platform->plug(spec);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.session().usbLink()->awaitingCable(); }, 5000));
    EXPECT_TRUE(w.session().usbLink()->meterReadingOn());
    EXPECT_EQ(back->bitRate(), 2400U);  // configured again
    back->feed({0x2B, 0x30, 0x37, 0x38, 0x39, 0x20, 0x34, 0x00, 0x00, 0x00, 0x08, 0x00, 0x0D, 0x0A});
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.recordTable().rowCount() == 2; }, 5000));
    EXPECT_EQ(digits(), "0789");

    const QStringList history = w.session().usbLink()->historyModel()->stringList();
    EXPECT_EQ(std::count_if(history.begin(), history.end(), [](const QString& l) { return l.contains("gap of"); }), 1);
    EXPECT_TRUE(w.control("usbConnectButton")->toolTip().contains("is back after a gap of"));
    EXPECT_TRUE(dialogs.infos.isEmpty());
}

TEST_F(MainWindowTest, PortsDialogMapsComPortsAndTheMappingIsRememberedUnlessTheCommandLineSaysOtherwise) {
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    MainWindow::Options o;
    o.dialogs = &dialogs;
    o.deviceMonitor = std::make_shared<HidDeviceMonitor>(std::make_shared<SimulatedHidPlatform>());
    o.settings = &settings;
    window = std::make_unique<MainWindow>(o);
    EXPECT_EQ(window->menu().com2Item->text().remove('&'), "COM2\t/dev/ttyS1");

    window->showPortsDialog();
    ASSERT_TRUE(window->portsDialog());
    EXPECT_FALSE(window->portsDialog()->isModal());
    window->portsDialog()->comboFor(ComPortNumber::Com2)->setCurrentText("/dev/pts/99");
    window->portsDialog()->accept();
    EXPECT_EQ(window->serialDriver().portMap().path(ComPortNumber::Com2), "/dev/pts/99");
    EXPECT_EQ(window->menu().com2Item->text().remove('&'), "COM2\t/dev/pts/99");

    window.reset();  // the next start remembers it
    window = std::make_unique<MainWindow>(o);
    EXPECT_EQ(window->serialDriver().portMap().path(ComPortNumber::Com2), "/dev/pts/99");
    EXPECT_EQ(window->serialDriver().portMap().path(ComPortNumber::Com1), "/dev/ttyS0");

    window.reset();  // --port COM2=... wins, and is not written over the remembered one
    o.portMap.setPath(ComPortNumber::Com2, "/dev/ttyUSB5");
    o.portsFromCommandLine[1] = true;
    window = std::make_unique<MainWindow>(o);
    EXPECT_EQ(window->serialDriver().portMap().path(ComPortNumber::Com2), "/dev/ttyUSB5");
    window->showPortsDialog();
    EXPECT_FALSE(window->portsDialog()->comboFor(ComPortNumber::Com2)->isEnabled());
    window->portsDialog()->accept();
    EXPECT_EQ(settings.value("serial/COM2").toString(), "/dev/pts/99");
}

// "Statistics" opens a window beside the main one that starts from the table's rows and
// follows each row recorded after that.
TEST_F(MainWindowTest, TheStatisticsWindowFollowsTheRecordedRows) {
    MainWindow& w = open();
    w.handlePacket(Packet("2B", "30313233", '2', kVolt));  // 1.23 V recorded before it opens
    QAction* item = w.menu().recordMenu->actions().last();
    ASSERT_EQ(item->text(), "Statistics");
    item->trigger();
    auto* window = w.findChild<StatisticsWindow*>();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isModal());
    ASSERT_NE(window->statistics().find("V", "DC"), nullptr);
    EXPECT_EQ(window->statistics().find("V", "DC")->count, 1u);

    w.handlePacket(Packet("2D", "31323334", '1', kVolt));  // -1.234 V
    const auto* volts = window->statistics().find("V", "DC");
    ASSERT_NE(volts, nullptr);
    EXPECT_EQ(volts->count, 2u);
    EXPECT_EQ(volts->minimum(), -1.234);
    ASSERT_EQ(window->grid().rowCount(), 1);
    EXPECT_EQ(window->grid().item(0, 1)->text(), "2");
    EXPECT_EQ(window->grid().item(0, 0)->text(), "V DC");
    EXPECT_EQ(window->grid().item(0, 2)->text(), "-1.234 V");

    // "Statistics" again brings the same window forward.
    item->trigger();
    EXPECT_EQ(w.findChildren<StatisticsWindow*>().size(), 1);
}

// A big table is read a slice at a time between events: the window says how far it got,
// a row recorded meanwhile is counted once, and the result is the one-pass result.
TEST_F(MainWindowTest, TheStatisticsWindowReadsABigTableInSlices) {
    MainWindow& w = open();
    for (int i = 0; i < 5000; ++i) w.handlePacket(Packet("2B", i % 2 == 0 ? "30313233" : "30313234", '2', kVolt));
    StatisticsWindow window(w.session());
    window.setSliceBudget(0);  // one step per slice
    window.recompute();
    EXPECT_TRUE(window.computing());
    EXPECT_TRUE(window.findChild<QLabel*>()->text().startsWith("Reading the table: 4096 of 5000 rows"));
    w.handlePacket(Packet("2B", "30313235", '2', kVolt));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.computing(); }));
    const auto* volts = window.statistics().find("V", "DC");
    ASSERT_NE(volts, nullptr);
    EXPECT_EQ(volts->count, 5001u);
    const ReadingStatistics once = TableStatistics::compute(w.recordTable().engine());
    EXPECT_DOUBLE_EQ(*volts->mean(), *once.find("V", "DC")->mean());
    EXPECT_EQ(window.grid().item(0, 1)->text(), "5001");
}

}  // namespace
}  // namespace veska::test
