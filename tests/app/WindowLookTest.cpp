// The window as people see it: whole captions, the status line, the keyboard, the chart's fill.
#include "links/HidDeviceMonitor.h"
#include "support/FakeDialogs.h"

#include "protocol/ScaleSet.h"
#include "session/Recorder.h"
#include "storage/RecordTable.h"
#include "storage/RecoveryJournal.h"
#include "storage/TableEngine.h"
#include "links/MeterSimulator.h"
#include "links/SimulatedHidPlatform.h"
#include "ui/ArialFont.h"
#include "ui/DataFileDialogs.h"
#include "ui/GaugeFace.h"
#include "ui/HistoryChart.h"
#include "ui/JournalFileFilter.h"
#include "ui/LimitPanel.h"
#include "ui/MainMenu.h"
#include "ui/MainWindow.h"
#include "ui/PortsDialog.h"
#include "ui/RecordGrid.h"
#include "ui/RecordGridModel.h"
#include "ui/StatusLine.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QTableWidget>
#include <QGlyphRun>
#include <QRawFont>
#include <QTextLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace veska::test {
namespace {

std::string Packet(const char* digits) { return std::string("2B") + digits + "20" + "32" + "30000080" + "00" + "0D"; }

class WindowLookTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        ArialFont::installWindowFonts();  // as the program starts the window
    }
    void TearDown() override {
        window.reset();
        QDir::setCurrent(previous);
    }
    MainWindow& open() {
        MainWindow::Options o;
        o.dialogs = &dialogs;
        o.deviceMonitor = std::make_shared<HidDeviceMonitor>(std::make_shared<SimulatedHidPlatform>());
        window = std::make_unique<MainWindow>(o);
        window->setBeep([] {});
        return *window;
    }

    QTemporaryDir dir;
    QString previous;
    FakeDialogs dialogs;
    std::unique_ptr<MainWindow> window;
};

// Where a check box or push button starts drawing its caption, in its own pixels.
QRect CaptionRoom(QAbstractButton* button) {
    if (auto* box = qobject_cast<QCheckBox*>(button)) {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        return box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    }
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    return button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
}

TEST_F(WindowLookTest, EveryCaptionIsWholeInsideItsControl) {
    MainWindow& w = open();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    // Check boxes and buttons: the caption's ink from where the style puts it must end
    // inside the control.
    for (const char* name : {"repeatBox", "samplingBox", "comConnectButton", "usbConnectButton", "exitButton"}) {
        SCOPED_TRACE(name);
        auto* button = qobject_cast<QAbstractButton*>(w.control(QString::fromLatin1(name)));
        ASSERT_NE(button, nullptr);
        const QRect room = CaptionRoom(button);
        const QFontMetrics metrics(button->font());
        const QRect ink = metrics.boundingRect(button->text());
        const int left = qobject_cast<QCheckBox*>(button) != nullptr ? room.left()
                                                                       : room.center().x() - ink.width() / 2;
        EXPECT_LE(left + ink.right(), button->contentsRect().right()) << button->text().toStdString();
        EXPECT_GE(left + ink.left(), button->contentsRect().left());
        EXPECT_LE(ink.height(), button->contentsRect().height());
    }
    for (QCheckBox* box : {w.limitPanel().upperLimitSwitch(), w.limitPanel().lowerLimitSwitch(), w.historyChart().fillBox()}) {
        SCOPED_TRACE(box->text().toStdString());
        const QRect ink = QFontMetrics(box->font()).boundingRect(box->text());
        EXPECT_LE(CaptionRoom(box).left() + ink.right(), box->contentsRect().right());
    }

    // "Sampling Interval" ends before the interval field lying over the caption's gap, and
    // "'S" shows between the field and the New button.
    auto* sampling = qobject_cast<QCheckBox*>(w.control("samplingBox"));
    const QWidget* field = w.control("intervalField");
    const QWidget* newButton = w.control("newRecordButton");
    const QFontMetrics metrics(sampling->font());
    const int textLeft = sampling->x() + CaptionRoom(sampling).left();
    const QString caption = sampling->text();
    ASSERT_EQ(caption, "Sampling Interval           'S");
    EXPECT_LE(textLeft + metrics.boundingRect(QStringLiteral("Sampling Interval")).right(), field->x() - 1);
    const int sLeft = textLeft + metrics.horizontalAdvance(caption.left(caption.size() - 2));
    const QRect sInk = metrics.boundingRect(QStringLiteral("'S")).translated(sLeft, 0);
    EXPECT_GT(sInk.left(), field->geometry().right());
    EXPECT_LT(sInk.right(), newButton->x());
    // "Repeat" ends before the Sampling Interval box begins.
    auto* repeat = qobject_cast<QCheckBox*>(w.control("repeatBox"));
    EXPECT_LT(repeat->x() + CaptionRoom(repeat).left() + QFontMetrics(repeat->font()).boundingRect("Repeat").right(),
              sampling->x());

    // The grid's column titles, "DC/AC" among them: drawn, and within their columns.
    const RecordGrid& grid = w.recordGrid();
    const QImage titles = grid.viewport()->grab().toImage();
    for (int c = 0; c < int(RecordGridModel::columns().size()); ++c) {
        const QRect room = grid.titleTextRect(c);
        int ink = 0;
        for (int x = room.left(); x <= room.right(); ++x)
            for (int y = room.top(); y <= room.bottom(); ++y) ink += qGray(titles.pixel(x, y)) < 80 ? 1 : 0;
        EXPECT_GT(ink, 10) << "no caption in column " << c;
    }
    const QFontMetrics gridMetrics(RecordGrid::titleFont());
    for (int c = 0; c < int(RecordGridModel::columns().size()); ++c) {
        const QString title = grid.gridModel()->headerData(c, Qt::Horizontal).toString();
        SCOPED_TRACE(title.toStdString());
        const QRect room = grid.titleTextRect(c);
        EXPECT_LE(gridMetrics.boundingRect(title).right(), room.width() - 1);
        EXPECT_LE(room.right(), grid.columnWidth(c) + room.left() + 1);
    }
}

TEST_F(WindowLookTest, GaugeLabelsStayInsideThePanelOnEveryScale) {
    for (const char* code : {"4", "34", "6", "10", "1", "13"}) {
        SCOPED_TRACE(code);
        const ScaleSet* scale = findScaleSet(code);
        ASSERT_NE(scale, nullptr);
        GaugeFaceSpec spec;
        spec.scaleCode = scale->code;
        spec.gaugeOffset = scale->gaugeOffset;
        spec.countsPerNeedleStep = scale->countsPerNeedleStep();
        spec.gaugeSpan = scale->gaugeSpan;
        spec.size = QSize(319, 139);
        const QRect inside = QRect(QPoint(0, 0), spec.size).adjusted(1, 1, -1, -1);  // within the sunken frame
        QFont font(QStringLiteral("Liberation Sans"));
        font.setPixelSize(11);
        const QFontMetrics metrics(font);
        const auto boxes = GaugeFace::labelBoxes(spec);
        ASSERT_FALSE(boxes.empty());
        for (const auto& [text, box] : boxes) {
            SCOPED_TRACE(text.toStdString());
            EXPECT_TRUE(inside.contains(box)) << box.x() << "," << box.y() << " " << box.width() << "x" << box.height();
            EXPECT_TRUE(box.contains(metrics.boundingRect(text).translated(box.topLeft() + QPoint(0, metrics.ascent()))));
            // Not under the scale's dots either ("-1000" and "1000" on the °C dial were).
            for (const QRect& dot : GaugeFace::dotBoxes(spec)) EXPECT_FALSE(box.intersects(dot)) << dot.x() << "," << dot.y();
        }
    }
}

TEST_F(WindowLookTest, StatusLineTellsWhatTheLinkAndTheRecordingDo) {
    MainWindow& w = open();
    StatusLine& line = w.statusLine();
    qint64 now = 0;
    line.setClock([&now] { return now; });
    EXPECT_EQ(line.linkText(), "not connected");
    EXPECT_EQ(line.rowsText(), "rows 0 / 10000");

    line.setLink(QStringLiteral("COM1 /dev/ttyUSB0"));
    now = 3000;
    line.tick();
    EXPECT_EQ(line.activityText(), "no data for 3 s");

    // Two packets a second for two seconds.
    for (int i = 0; i < 4; ++i) {
        now += 500;
        w.handlePacket(Packet(i % 2 == 0 ? "30313233" : "30313234"));
        if (i % 2 == 1) line.tick();
    }
    EXPECT_EQ(line.activityText(), "receiving 2.0/s");
    EXPECT_EQ(line.rowsText(), "rows 4 / 10000");
    now += 5000;
    EXPECT_EQ(line.activityText(), "no data for 5 s");

    w.setRecordLimit(1000);
    EXPECT_EQ(line.rowsText(), "rows 4 / 1000");
    w.recorder().setRecordLimit(4);
    w.handlePacket(Packet("30313235"));
    EXPECT_EQ(line.rowsText(), "recording stopped: limit reached");

    // A packet that does not decode goes to the line, not to a box.
    w.handlePacket("2B3031323320FF30000080000D");
    w.handlePacket("2B3031323320FF30000080000D");
    EXPECT_TRUE(line.errorText().startsWith("decode error (2): ")) << line.errorText().toStdString();
    EXPECT_TRUE(dialogs.errors.isEmpty());

    // The file commands confirm what they did; a table copy is otherwise silent.
    dialogs.chosenFile = dir.filePath("copy.db");
    w.saveRecordFileAs();
    EXPECT_EQ(line.fileText(), "saved " + QDir::toNativeSeparators(dir.filePath("copy.db")));
    EXPECT_TRUE(dialogs.infos.isEmpty());
    EXPECT_TRUE(dialogs.plains.isEmpty());
    w.printRecords();
    EXPECT_EQ(line.fileText(), "print preview of 4 rows closed");

    // The text export's outcome: a plain box, as the application.
    dialogs.chosenFile = dir.filePath("run.txt");
    w.saveRecordFileAs();
    ASSERT_EQ(dialogs.plains.size(), 1);
    EXPECT_TRUE(dialogs.plains[0].endsWith(" Scuss!"));
    EXPECT_TRUE(dialogs.infos.isEmpty());

    line.setBrokerState(QStringLiteral("MQTT connected"));
    EXPECT_TRUE(line.text().endsWith("MQTT connected")) << line.text().toStdString();
}

// Each section of the status line is as wide as its text needs; a long path shortens in the
// middle with the whole text in the tool tip; the broker's state reads in words.
TEST_F(WindowLookTest, StatusLineSectionsHoldTheirTexts) {
    MainWindow& w = open();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    StatusLine& line = w.statusLine();
    const QString broker = QStringLiteral("MQTT: connected to mqtt://localhost:1883 (3 rows queued, 0 dropped)");
    EXPECT_EQ(StatusLine::brokerWords(broker), "MQTT connected");
    EXPECT_EQ(StatusLine::brokerWords("MQTT: broker unreachable, retrying (0 rows queued, 0 dropped): refused"),
              "MQTT broker unreachable");
    EXPECT_EQ(StatusLine::brokerWords("MQTT: off"), "MQTT off");

    line.setLink(QStringLiteral("COM1 /dev/ttyUSB0"));
    line.setBrokerState(broker);
    const QString shortPath = QStringLiteral("saved /tmp/run.db");
    const QString longPath = QStringLiteral("saved /home/somebody/measurements/2026/december/bench-three/run.db");
    for (const QString& file : {shortPath, longPath}) {
        SCOPED_TRACE(file.toStdString());
        line.noteFile(file);
        for (QLabel* section : line.sections()) {
            if (!section->isVisible()) continue;
            SCOPED_TRACE(section->text().toStdString());
            EXPECT_LE(section->fontMetrics().horizontalAdvance(section->text()), section->contentsRect().width());
            EXPECT_LE(section->geometry().right(), line.width() - 1);
        }
        QLabel* fileSection = line.sections()[4];
        if (file == shortPath) {
            EXPECT_EQ(fileSection->text(), file);
            EXPECT_TRUE(fileSection->toolTip().isEmpty());
        } else {
            EXPECT_TRUE(fileSection->text().startsWith("saved /home")) << fileSection->text().toStdString();
            EXPECT_TRUE(fileSection->text().endsWith("run.db")) << fileSection->text().toStdString();
            EXPECT_TRUE(fileSection->text().contains(QChar(0x2026)));
            EXPECT_EQ(fileSection->toolTip(), file);
        }
        QLabel* brokerSection = line.sections()[5];
        EXPECT_EQ(brokerSection->text(), "MQTT connected");
        EXPECT_EQ(brokerSection->toolTip(), broker);
        EXPECT_EQ(line.sections()[0]->text(), "COM1 /dev/ttyUSB0");
    }
    // Sections without a text take no room.
    EXPECT_FALSE(line.sections()[3]->isVisible());
}

// The newest row of the grid shows whole, inside the window's client area; the Ports
// dialog's column titles show whole.
TEST_F(WindowLookTest, NewestGridRowAndPortsTitlesShowWhole) {
    MainWindow& w = open();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    for (int i = 0; i < 20; ++i) w.handlePacket(Packet(i % 2 == 0 ? "30313233" : "30313234"));
    const RecordGrid& grid = w.recordGrid();
    const int newest = grid.gridModel()->rowCount() - 1;
    ASSERT_EQ(newest, 19);
    EXPECT_TRUE(grid.isRowVisible(newest));
    const int top = RecordGrid::kRowHeight * (1 + newest - grid.topRow());
    const QRect row(grid.viewport()->mapTo(w.client(), QPoint(0, top)), QSize(grid.viewport()->width(), RecordGrid::kRowHeight));
    EXPECT_TRUE(w.client()->rect().contains(row)) << row.y() << "+" << row.height() << " in " << w.client()->height();
    EXPECT_LE(top + RecordGrid::kRowHeight, grid.viewport()->height());

    w.showPortsDialog();
    PortsDialog* ports = w.portsDialog();
    ASSERT_NE(ports, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(ports));
    QTableWidget* table = ports->deviceTable();
    const QHeaderView* header = table->horizontalHeader();
    for (int c = 0; c < table->columnCount(); ++c) {
        const QString title = table->horizontalHeaderItem(c)->text();
        SCOPED_TRACE(title.toStdString());
        EXPECT_LE(header->sectionViewportPosition(c) + header->sectionSize(c), table->viewport()->width());
        EXPECT_GE(header->sectionSize(c), QFontMetrics(header->font()).horizontalAdvance(title));
    }
    ports->reject();
}

TEST_F(WindowLookTest, TheSerialLinkShowsWithItsDevice) {
    MeterSimulator sim;
    ASSERT_TRUE(sim.open()) << sim.errorText().toStdString();
    sim.setRate(50);
    MainWindow::Options o;
    o.dialogs = &dialogs;
    o.deviceMonitor = std::make_shared<HidDeviceMonitor>(std::make_shared<SimulatedHidPlatform>());
    o.portMap.setPath(ComPortNumber::Com1, sim.slavePath());
    window = std::make_unique<MainWindow>(o);
    window->setBeep([] {});
    EXPECT_EQ(window->statusLine().linkText(), "not connected");
    EXPECT_EQ(window->statusLine().activityText(), "");
    sim.start();
    window->toggleSerialConnection();  // F5
    ASSERT_TRUE(window->serialDriver().isConnected());
    EXPECT_EQ(window->statusLine().linkText(), "COM1 " + sim.slavePath());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->recordTable().rowCount() >= 2; }, 5000));
    EXPECT_TRUE(window->statusLine().activityText().startsWith("receiving")) << window->statusLine().activityText().toStdString();
    window->toggleSerialConnection();
    EXPECT_FALSE(window->serialDriver().isConnected());
    EXPECT_EQ(window->statusLine().linkText(), "not connected");
}

TEST_F(WindowLookTest, KeyboardReachesEveryCommand) {
    MainWindow& w = open();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.activateWindow();
    const MainMenu& m = w.menu();
    // Mnemonics: one "&" before a letter the caption already has.
    for (QAction* a : w.menuBar()->actions()) {
        if (a->objectName() == "gap") continue;
        EXPECT_EQ(a->text().count('&'), 1) << a->text().toStdString();
    }
    EXPECT_EQ(m.newRecordItem->shortcut(), QKeySequence("Ctrl+N"));
    EXPECT_EQ(m.saveRecordItem->shortcut(), QKeySequence("Ctrl+S"));
    struct Key {
        const char* action;
        const char* key;
    };
    for (const Key k : {Key{"openShortcut", "Ctrl+O"}, Key{"printShortcut", "Ctrl+P"}, Key{"exitShortcut", "Ctrl+Q"},
                        Key{"serialShortcut", "F5"}, Key{"menuShortcut", "F10"}}) {
        SCOPED_TRACE(k.action);
        QAction* a = w.shortcutAction(QString::fromLatin1(k.action));
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->shortcut(), QKeySequence(QString::fromLatin1(k.key)));
    }

    // Ctrl+P on an empty table says so; Ctrl+O asks for a file; Ctrl+Q asks before leaving.
    QTest::keyClick(&w, Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(dialogs.infos.value(0), "The record table holds no rows to print.");
    dialogs.yes = false;
    QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(w.isVisible());
    // F5 presses COM Connect: the port opens, or its failure is told.
    const int messagesBefore = int(dialogs.errors.size() + dialogs.infos.size());
    QTest::keyClick(&w, Qt::Key_F5);
    QTest::qWait(20);
    EXPECT_TRUE(w.serialDriver().isConnected() || int(dialogs.errors.size() + dialogs.infos.size()) > messagesBefore);
    if (w.serialDriver().isConnected()) {
        QTest::keyClick(&w, Qt::Key_F5);
        EXPECT_FALSE(w.serialDriver().isConnected());
    }
    // F10 opens the first menu.
    QTest::keyClick(&w, Qt::Key_F10);
    EXPECT_EQ(w.menuBar()->activeAction(), w.menuBar()->actions().front());
    if (QMenu* open = m.comSetupMenu; open->isVisible()) open->close();

    // Every tool button says what it does.
    for (const char* name : {"newRecordButton", "openFileButton", "saveAsButton", "printButton"}) {
        EXPECT_FALSE(w.control(QString::fromLatin1(name))->toolTip().isEmpty()) << name;
    }
    // Tab goes from the tool bar row down the left side, then to the chart.
    EXPECT_EQ(w.control("comConnectButton")->nextInFocusChain(), w.control("usbConnectButton"));
    EXPECT_EQ(w.control("printButton")->nextInFocusChain(), &w.recordGrid());
}

// No field keeps the focus: Tab and Shift+Tab leave each one, to its neighbours in the chain.
TEST_F(WindowLookTest, TabAndShiftTabLeaveEveryField) {
    MainWindow& w = open();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QWidget* grid = &w.recordGrid();
    for (QWidget* field : {static_cast<QWidget*>(w.limitPanel().upperLimitField()),
                           static_cast<QWidget*>(w.limitPanel().lowerLimitField()), w.control("intervalField"),
                           static_cast<QWidget*>(w.historyChart().pointsPerPageField()), grid}) {
        SCOPED_TRACE(field->objectName().toStdString());
        for (const bool back : {false, true}) {
            field->setFocus(Qt::OtherFocusReason);
            ASSERT_EQ(QApplication::focusWidget(), field);
            QTest::keyClick(field, Qt::Key_Tab, back ? Qt::ShiftModifier : Qt::NoModifier);
            QWidget* now = QApplication::focusWidget();
            EXPECT_NE(now, field) << (back ? "Shift+Tab" : "Tab");
            EXPECT_FALSE(field->isAncestorOf(now)) << (back ? "Shift+Tab" : "Tab");
        }
    }
}

// The exit question ends in a full-width question mark: some installed font draws it, no box.
TEST_F(WindowLookTest, TheExitQuestionsLastCharacterHasAGlyph) {
    const QString question = QStringLiteral("Are you ensure to exit the program\uFF1F");
    QTextLayout layout(question, QApplication::font());
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    bool found = false;
    for (const QGlyphRun& run : layout.glyphRuns(question.size() - 1, 1)) {
        const QRawFont font = run.rawFont();
        SCOPED_TRACE(font.familyName().toStdString());
        EXPECT_TRUE(font.supportsCharacter(QChar(0xFF1F)));
        for (const quint32 glyph : run.glyphIndexes()) EXPECT_NE(glyph, 0U);  // 0: the box
        found = found || !run.glyphIndexes().isEmpty();
    }
    EXPECT_TRUE(found);
}

TEST_F(WindowLookTest, JournalsAreNoRecordFilesInTheDialogs) {
    for (const auto& [name, journal] : std::initializer_list<std::pair<const char*, bool>>{
             {"Kestodb-recovery.db", true},
             {"Kestodb-recovery-2.db", true},
             {"run1-recovery-20240501-101500.db", true},
             {"KESTODB-RECOVERY.DB", true},
             {"Kestodb-recovery.db-journal", true},
             {"Kestodb.db", false},
             {"recovery.db", false},
             {"run-recovered.db", false}}) {
        EXPECT_EQ(JournalFileFilter::isJournalName(QString::fromLatin1(name)), journal) << name;
    }
    QFileDialog dialog;
    DataFileDialogs::configure(dialog, DataFileDialogs::openDialog());
    EXPECT_NE(qobject_cast<JournalFileFilter*>(dialog.proxyModel()), nullptr);
}

TEST_F(WindowLookTest, TheAreaFillsFromTheLineDownOnEveryPage) {
    HistoryChart chart;
    chart.resize(322, 246);
    chart.fillSampleValues();
    chart.showSeries(HistoryChart::AreaSeriesIndex);
    chart.setLeftAxisMaximum(6000);
    chart.setLeftAxisMinimum(-6000);
    chart.pointsPerPageField()->setText(QStringLiteral("10"));
    // Three pages of a low, flat reading.
    LcdState lcd;
    lcd.digit1 = "0";
    lcd.digit2 = "1";
    lcd.digit3 = "0";
    lcd.digit4 = "0";
    for (int i = 0; i < 30; ++i) ASSERT_TRUE(chart.addChartPoint(lcd, 6000));
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    ASSERT_EQ(chart.pageCount(), 4);
    for (int page : {1, 2, 3}) {  // the pages before the last
        SCOPED_TRACE(page);
        if (page == 1) chart.showFirstPage();
        if (page > 1) chart.showNextPage();
        const QImage picture = chart.renderPicture();
        const QColor fill(255, 255, 128);
        // Down the middle of the plot: no fill above the line (y of 100 is near the middle),
        // fill below it.
        const int x = picture.width() / 2;
        int firstFill = -1;
        int lastFill = -1;
        for (int y = 0; y < picture.height(); ++y) {
            if (QColor(picture.pixel(x, y)) == fill) {
                if (firstFill < 0) firstFill = y;
                lastFill = y;
            }
        }
        ASSERT_GE(firstFill, 0) << "no fill at all";
        EXPECT_GT(firstFill, picture.height() * 2 / 5) << "fill above the line";
        EXPECT_GT(lastFill, picture.height() * 3 / 5) << "fill does not reach down";
    }
}

}  // namespace
}  // namespace veska::test
