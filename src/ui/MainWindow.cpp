#include "ui/MainWindow.h"

#include "ui/MainMenu.h"
#include "ui/HistoryWindow.h"
#include "ui/StatisticsWindow.h"
#include "ui/MessageBoxDialogs.h"
#include "ui/MqttPasswordKeeper.h"
#include "ui/PrivateSettingsFile.h"
#include "ui/PanelButton.h"
#include "session/PortSettings.h"
#include "ui/PortsDialog.h"
#include "network/SessionPublisher.h"
#include "ui/AlarmSound.h"
#include "ui/AnalogGauge.h"
#include "ui/ArialFont.h"
#include "ui/DisplayResources.h"
#include "ui/LcdPanel.h"
#include "ui/LimitPanel.h"
#include "ui/ReadingBar.h"
#include "protocol/ScaleSet.h"
#include "ui/DataFileCommands.h"
#include "ui/HistoryChart.h"
#include "ui/RecordGrid.h"
#include "ui/RecordGridModel.h"
#include "ui/RecordLimitMenu.h"
#include "storage/RecordTable.h"
#include "session/Recorder.h"
#include "session/RunPolicy.h"
#include "ui/RecordingRow.h"
#include "ui/StatusLine.h"
#include "ui/ChartGlyphs.h"
#include "storage/TableFiles.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLinearGradient>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QStringListModel>
#include <QStyle>
#include <QToolButton>
#include <QShowEvent>
#include <QScopeGuard>
#include <QDir>
#include <QKeySequence>

namespace veska {

namespace {

constexpr int kClientWidth = 618;
constexpr int kClientHeight = 413;
constexpr int kOuterWidth = 622;
constexpr int kOuterHeight = 463;
// The classic window's frame: 2 px borders, caption and menu bar above the client area.
constexpr int kFrameWidth = kOuterWidth - kClientWidth;
constexpr int kFrameHeight = kOuterHeight - kClientHeight;

QPixmap gaugeShadowPicture(QSize size) {
    // The picture behind the gauge panel: only thin strips of it show at the right and
    // bottom edges, as a shadow.
    QPixmap pm(size);
    QPainter p(&pm);
    QLinearGradient g(0, 0, size.width(), size.height());
    g.setColorAt(0, QColor(96, 96, 96));
    g.setColorAt(1, QColor(48, 48, 48));
    p.fillRect(pm.rect(), g);
    return pm;
}

}  // namespace

MainWindow::MainWindow(const Options& options, QWidget* parent)
    : QMainWindow(parent),
      m_options(options),
      m_session(new MeterSession(SessionSetup{options.switches, options.deviceMonitor, options.tablePath, {}}, this)),
      m_linkControls(new LinkControls(*m_session, this)),
      m_run(new RunPolicy(*m_session, this)),
      m_alarmSound(std::make_unique<AlarmSound>()),
      m_beep([this] { m_alarmSound->play(); }) {
    setObjectName(QStringLiteral("mainWindow"));
    if (options.dialogs != nullptr) {
        m_dialogs = options.dialogs;
    } else {
        m_ownDialogs = std::make_unique<MessageBoxDialogs>(this);
        m_dialogs = m_ownDialogs.get();
    }
    if (options.settings != nullptr) {
        m_settings = options.settings;
    } else {
        m_ownSettings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                    QStringLiteral("Veska"), QStringLiteral("Veska"));
        m_settings = m_ownSettings.get();
    }
    // Broker addresses and users, perhaps a password: for the user's eyes only.
    PrivateSettingsFile::restrict(m_settings->fileName());
    m_passwordKeeper = new MqttPasswordKeeper(*m_settings, this);
    PortSettings::load(*m_settings, m_options.portMap, m_options.portsFromCommandLine);
    createComponents();
    createUsb();
    bindLinks();
    buildMenu();
    buildShortcuts();
    applyTabOrder();
    wireStatusLine();
    startUp();
    refreshRowStatus();
}

MainWindow::~MainWindow() {
    m_session->serialDriver().disconnectPort();
    // Rows recorded last get a moment to reach the broker, then "offline".
    m_run->stopPublishing(std::chrono::milliseconds(500));
    m_mqtt = nullptr;
    // Reached without endProgram (nobody chose to drop unsaved rows): they stay in the journal.
    m_run->closeTable(RunPolicy::UnsavedRows::Kept);
}

// ---------------------------------------------------------------------------------------
// The window resource: every component at its place.

void MainWindow::createComponents() {
    DisplayResources::ensureLoaded();
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(DisplayResources::picture(QStringLiteral("linkAlive")));

    // The client area keeps its size and places; the status line goes below it, so the
    // window grows by the line's height and nothing else moves.
    auto* frame = new QWidget(this);
    frame->setObjectName(QStringLiteral("clientFrame"));
    frame->setFixedSize(kClientWidth, kClientHeight + StatusLine::kHeight);
    m_client = new QWidget(frame);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setFixedSize(kClientWidth, kClientHeight);
    QPalette pal = m_client->palette();
    pal.setColor(QPalette::Window, QColor(128, 128, 128));
    m_client->setPalette(pal);
    m_client->setAutoFillBackground(true);
    m_statusLine = new StatusLine(frame);
    m_statusLine->setGeometry(0, kClientHeight, kClientWidth, StatusLine::kHeight);
    // The broker's state (publishing switched on in the Connect menu) shows here too.
    connect(this, &MainWindow::brokerStateChanged, m_statusLine, &StatusLine::setBrokerState);
    connect(m_passwordKeeper, &MqttPasswordKeeper::fetched, this, &MainWindow::onPasswordFetched);
    connect(m_passwordKeeper, &MqttPasswordKeeper::warning, this,
            [this](const QString& text) { m_statusLine->noteError(QStringLiteral("MQTT password"), text, 1); });
    setCentralWidget(frame);

    m_dataFiles = new DataFileCommands(m_session->recordTable(), this);

    buildToolbarRow();

    m_lcdPanel = new LcdPanel(m_client);
    m_lcdPanel->setObjectName(QStringLiteral("lcdPanel"));
    m_lcdPanel->move(3, 31);
    m_readingBar = new ReadingBar(m_client);
    m_readingBar->setObjectName(QStringLiteral("readingBar"));
    m_readingBar->move(3, 192);

    m_gaugeShadow = new QLabel(m_client);
    m_gaugeShadow->setObjectName(QStringLiteral("gaugeShadow"));
    m_gaugeShadow->move(294, 39);
    m_gauge = new AnalogGauge(m_client);
    m_gauge->setObjectName(QStringLiteral("gauge"));
    m_gauge->setGeometry(290, 31, 319, 139);

    m_limitPanel = new LimitPanel(m_client);
    m_limitPanel->setObjectName(QStringLiteral("limitPanel"));
    m_limitPanel->move(3, 208);

    buildRecordingRow();

    m_recordGrid = new RecordGrid(m_session->recordTable(), m_client);
    m_recordGrid->setObjectName(QStringLiteral("recordGrid"));
    m_recordGrid->setGeometry(0, 280, 289, kClientHeight - 280);  // see applyLayout

    m_historyChart = new HistoryChart(m_session->chart(), m_client);
    m_historyChart->setObjectName(QStringLiteral("historyChart"));
    m_historyChart->setGeometry(288, 173, 322, 246);
    m_historyChart->raise();  // drawn above every region it overlaps, also when enlarged

    buildHiddenControls();

    connect(m_session, &MeterSession::readingHandled, this, &MainWindow::showReading);
    connect(m_session, &MeterSession::decodeFailed, this, &MainWindow::noteDecodeFailure);
    connect(m_session, &MeterSession::limitsChanged, this, &MainWindow::pushLimitsToGauge);
    // A limit field's whole number and its switch go to the session; the face follows.
    connect(m_limitPanel, &LimitPanel::upperLimitEdited, this, [this](float limit, bool on) {
        m_session->setUpperLimit(limit, on);
        m_gauge->drawFace();
    });
    connect(m_limitPanel, &LimitPanel::lowerLimitEdited, this, [this](float limit, bool on) {
        m_session->setLowerLimit(limit, on);
        m_gauge->drawFace();
    });

    // Messages of the components. Those that can arrive during packet handling are queued,
    // so no modal box ever opens inside the cycle.
    connect(m_limitPanel, &LimitPanel::limitTextInvalid, this, [this](const QString& m) { m_dialogs->error(m); },
            Qt::QueuedConnection);
    connect(m_recordingRow, &RecordingRow::intervalTextInvalid, this, [this](const QString& m) { m_dialogs->error(m); },
            Qt::QueuedConnection);
    Recorder* recorder = &m_session->recorder();
    connect(recorder, &Recorder::information, this, [this](const QString& m) { m_dialogs->information(m); },
            Qt::QueuedConnection);
    connect(recorder, &Recorder::error, this, [this](const QString& m) { m_dialogs->error(m); },
            Qt::QueuedConnection);
    recorder->setConfirmHook([this](const QString& q) { return m_dialogs->askYesNo(q); });
    connect(m_historyChart, &HistoryChart::informationRequested, this,
            [this](const QString& m) { m_dialogs->information(m); });
    connect(m_historyChart, &HistoryChart::errorRequested, this, [this](const QString& m) { m_dialogs->error(m); });
    m_historyChart->setOpenTableHook([this] { return m_session->recordTable().filePath(); });
    connect(m_historyChart, &HistoryChart::enlargeClicked, this, &MainWindow::toggleChartEnlarged);

    m_dataFiles->setDialogs(m_dialogs);
    // The text export tells its outcome in plain boxes; the rest as information or error.
    connect(m_dataFiles, &DataFileCommands::information, this, [this](const QString& m, bool plain) {
        if (plain) {
            m_dialogs->plainMessage(m);
        } else {
            m_dialogs->information(m);
        }
    });
    connect(m_dataFiles, &DataFileCommands::error, this, [this](const QString& m, bool plain) {
        if (plain) {
            m_dialogs->plainMessage(m);
        } else {
            m_dialogs->error(m);
        }
    });
    connect(&m_session->watchdog(), &LinkWatchdog::linkIndicatorChanged, m_gauge, &AnalogGauge::setLinkAlive);
    m_watchdogTimer.setInterval(LinkWatchdog::kPeriodMs);
    connect(&m_watchdogTimer, &QTimer::timeout, this, &MainWindow::onWatchdogTick);
    m_watchdogTimer.start();
}

void MainWindow::buildToolbarRow() {
    for (int i = 0; i < 4; ++i) {
        auto* panel = new PanelButton(QStringLiteral("COM %1").arg(i + 1), m_client);
        panel->setObjectName(QStringLiteral("comPanel%1").arg(i + 1));
        panel->setGeometry(5, 3, 61, 24);
        panel->setFont(ArialFont::px(16, true));
        QPalette p = panel->palette();
        p.setColor(QPalette::Window, QColor(192, 192, 192));
        p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(112, 112, 112));  // greyed, still legible
        p.setColor(QPalette::Disabled, QPalette::Window, QColor(192, 192, 192));
        panel->setPalette(p);
        panel->setVisible(i == 0);
        m_comPanels[static_cast<std::size_t>(i)] = panel;
    }
    // Each panel steps to the next port.
    connect(m_comPanels[0], &PanelButton::clicked, this, &MainWindow::selectCom2);
    connect(m_comPanels[1], &PanelButton::clicked, this, &MainWindow::selectCom3);
    connect(m_comPanels[2], &PanelButton::clicked, this, &MainWindow::selectCom4);
    connect(m_comPanels[3], &PanelButton::clicked, this, &MainWindow::selectCom1);

    auto toggle = [this](const QString& name, const QString& caption, int left) {
        auto* b = new QPushButton(caption, m_client);
        b->setObjectName(name);
        b->setGeometry(left, 3, 94, 25);
        b->setFont(ArialFont::px(13, true));
        b->setCheckable(true);
        // A pressed toggle must read as pressed at a glance, as a classic toggle button does.
        b->setStyleSheet(QStringLiteral("QPushButton { border: 2px outset #e8e8e8; background: #dcdcdc; }"
                                        "QPushButton:checked { border: 2px inset #909090; background: #b4b4b4; }"));
        return b;
    };
    m_comConnectButton = toggle(QStringLiteral("comConnectButton"), QStringLiteral("COM Connect"), 68);
    m_usbConnectButton = toggle(QStringLiteral("usbConnectButton"), QStringLiteral("USB Connect"), 163);

    m_exitButton = new QPushButton(QStringLiteral("EXIT"), m_client);
    m_exitButton->setObjectName(QStringLiteral("exitButton"));
    m_exitButton->setGeometry(552, 3, 57, 25);
    m_exitButton->setFont(ArialFont::px(14, true, true));
    connect(m_exitButton, &QPushButton::clicked, this, &MainWindow::confirmExit);
}

void MainWindow::buildRecordingRow() {
    m_recordingRow = new RecordingRow(m_session->recorder(), m_client);
    connect(m_recordingRow->repeatBox(), &QCheckBox::clicked, this, &MainWindow::onFillBoxClicked);

    auto speedButton = [this](const char* name, int left, QStyle::StandardPixmap icon, const QString& hint) {
        auto* b = new QToolButton(m_client);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(left, 258, 22, 22);
        b->setIcon(style()->standardIcon(icon));
        b->setAutoRaise(true);
        if (!hint.isEmpty()) b->setToolTip(hint);
        return b;
    };
    m_newRecordButton = speedButton("newRecordButton", 200, QStyle::SP_DialogDiscardButton, QStringLiteral("Close Data"));
    m_openFileButton =
        speedButton("openFileButton", 222, QStyle::SP_DialogOpenButton, QStringLiteral("Open old data files"));
    m_saveAsButton = speedButton("saveAsButton", 244, QStyle::SP_DialogSaveButton, QStringLiteral("Save data files"));
    m_printButton = speedButton("printButton", 266, QStyle::SP_CustomBase, QStringLiteral("Print"));
    m_printButton->setIcon(ChartGlyphs::print());
    connect(m_newRecordButton, &QToolButton::clicked, this, &MainWindow::newRecord);
    connect(m_openFileButton, &QToolButton::clicked, this, &MainWindow::openRecordFile);
    connect(m_saveAsButton, &QToolButton::clicked, this, &MainWindow::saveRecordFileAs);
    connect(m_printButton, &QToolButton::clicked, this, &MainWindow::printRecords);
}

void MainWindow::buildHiddenControls() {
    auto hiddenPanel = [this](const char* name, const QString& caption, int left, int top) {
        auto* p = new PanelButton(caption, m_client);
        p->setObjectName(QLatin1String(name));
        p->setGeometry(left, top, 80, 30);
        p->setFont(ArialFont::px(13, true, true));
        QPalette pal = p->palette();
        pal.setColor(QPalette::Window, Qt::blue);
        pal.setColor(QPalette::WindowText, Qt::yellow);
        p->setPalette(pal);
        return p;
    };
    // They lie below the client area; the layout rules still move them.
    m_connectPanel = hiddenPanel("connectPanel", QStringLiteral("Connect"), kOuterWidth - 190, 482);
    m_disconnectPanel = hiddenPanel("disconnectPanel", QStringLiteral("Disconnect"), kOuterWidth - 190, 482);
    m_disconnectPanel->hide();
    m_exitPanel = hiddenPanel("exitPanel", QStringLiteral("Exit"), kOuterWidth - 80, 522);
    connect(m_connectPanel, &PanelButton::clicked, this, &MainWindow::connectSerial);
    connect(m_disconnectPanel, &PanelButton::clicked, this, &MainWindow::disconnectSerial);
    connect(m_exitPanel, &PanelButton::clicked, this, &MainWindow::exitProgram);

    m_readButton = new QPushButton(QStringLiteral("Read"), m_client);
    m_readButton->setObjectName(QStringLiteral("readButton"));
    m_readButton->setCheckable(true);
    m_readButton->hide();

    auto hiddenButton = [this](const char* name, const QString& caption, void (MainWindow::*handler)()) {
        auto* b = new QPushButton(caption, m_client);
        b->setObjectName(QLatin1String(name));
        b->hide();
        connect(b, &QPushButton::clicked, this, handler);
    };
    hiddenButton("bridgeConfigButton", QStringLiteral("SetFeature"), &MainWindow::sendBridgeConfiguration);
    hiddenButton("clearHistoryButton", QStringLiteral("Clear"), &MainWindow::clearHistory);
    hiddenButton("deviceInfoButton", QStringLiteral("Info"), &MainWindow::selectedDeviceInfo);
    m_deviceList = new QListView(m_client);
    m_deviceList->setObjectName(QStringLiteral("deviceList"));
    m_deviceList->hide();
    m_historyList = new QListView(m_client);
    m_historyList->setObjectName(QStringLiteral("historyList"));
    m_historyList->hide();
}

void MainWindow::createUsb() {
    if (!m_session->hasUsb()) return;
    m_deviceList->setModel(m_session->usbCableList());
    m_historyList->setModel(m_session->usbLog());
    connect(m_deviceList, &QListView::clicked, this, [this](const QModelIndex& i) { m_session->selectUsbCable(i.row()); });
    connect(m_session, &MeterSession::usbCableSelected, this, [this](int row) {
        m_deviceList->setCurrentIndex(m_session->usbCableList()->index(row));
    });
    connect(m_session, &MeterSession::usbLogLineAdded, this, [this](int row) {
        m_historyList->setCurrentIndex(m_session->usbLog()->index(row));
    });
    // The cable's comings and goings while it is read, where the user looks: the button.
    connect(m_run, &RunPolicy::cableLost, m_usbConnectButton, &QPushButton::setToolTip);
    connect(m_run, &RunPolicy::cableBack, m_usbConnectButton, &QPushButton::setToolTip);
    m_session->setUsbSettings(m_settings);
}

void MainWindow::buildMenu() {
    m_menu = new MainMenu(menuBar());
    MainMenu& m = *m_menu;
    connect(m.com1Item, &QAction::triggered, this, &MainWindow::selectCom1);
    connect(m.com2Item, &QAction::triggered, this, &MainWindow::selectCom2);
    connect(m.com3Item, &QAction::triggered, this, &MainWindow::selectCom3);
    connect(m.com4Item, &QAction::triggered, this, &MainWindow::selectCom4);
    connect(m.startItem, &QAction::triggered, this, &MainWindow::connectSerial);
    connect(m.stopItem, &QAction::triggered, this, &MainWindow::disconnectSerial);
    connect(m.publishItem, &QAction::triggered, this, &MainWindow::showMqttDialog);

    connect(m.firstPageItem, &QAction::triggered, this, &MainWindow::showFirstPage);
    connect(m.previousPageItem, &QAction::triggered, this, &MainWindow::showPreviousPage);
    connect(m.nextPageItem, &QAction::triggered, this, &MainWindow::showNextPage);
    connect(m.lastPageItem, &QAction::triggered, this, &MainWindow::showLastPage);
    connect(m.newChartItem, &QAction::triggered, this, &MainWindow::restartChart);
    connect(m.saveChartItem, &QAction::triggered, this, &MainWindow::saveChartPicture);
    connect(m.fillItem, &QAction::triggered, this, &MainWindow::toggleFill);
    connect(m_historyChart, &HistoryChart::fillCheckedChanged, m.fillItem, &QAction::setChecked);

    connect(m.newRecordItem, &QAction::triggered, this, &MainWindow::newRecord);
    connect(m.saveRecordItem, &QAction::triggered, this, &MainWindow::saveRecordFileAs);

    // The record limit items ("1000" ... "limitless"); choosing one sets the limit through
    // the limit menu, which also keeps the check marks in step with the recorder's limit.
    m_limitMenu = new RecordLimitMenu(m_session->recorder(), this);
    m_limitMenu->addTo(m.recordMenu);

    // Statistics of the record table per unit, in a window of its own that stays open
    // beside this one and follows the rows as they arrive.
    m.recordMenu->addSeparator();
    // The run on a time axis in real units, beside this window; the strip chart stays as it is.
    QAction* historyItem = m.recordMenu->addAction(QStringLiteral("History"));
    historyItem->setObjectName(QStringLiteral("History1"));
    historyItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    connect(historyItem, &QAction::triggered, this, [this] {
        auto* window = findChild<HistoryWindow*>();
        if (window == nullptr) window = new HistoryWindow(*m_session, *m_dialogs, this);
        window->show();
        window->raise();
        window->activateWindow();
    });
    QAction* statisticsItem = m.recordMenu->addAction(QStringLiteral("Statistics"));
    statisticsItem->setObjectName(QStringLiteral("statisticsItem"));
    connect(statisticsItem, &QAction::triggered, this, [this] {
        auto* window = findChild<StatisticsWindow*>();
        if (window == nullptr) window = new StatisticsWindow(*m_session, this);
        window->show();
        window->raise();
        window->activateWindow();
    });

    connect(m.exitItem, &QAction::triggered, this, &MainWindow::exitProgram);

    m.comSetupMenu->addSeparator();
    m_portsAction = m.comSetupMenu->addAction(QStringLiteral("&Ports..."));
    m_portsAction->setObjectName(QStringLiteral("portsItem"));
    connect(m_portsAction, &QAction::triggered, this, &MainWindow::showPortsDialog);
    applySerialState(m_linkControls->serialState());
}

void MainWindow::buildShortcuts() {
    // Standard keys on the menu items that exist, and window-wide actions for the commands
    // that only have a button.
    m_menu->newRecordItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    m_menu->saveRecordItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    auto add = [this](const char* name, const QKeySequence& key, auto handler) {
        auto* action = new QAction(this);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
        return action;
    };
    add("openShortcut", QKeySequence(Qt::CTRL | Qt::Key_O), &MainWindow::openRecordFile);
    add("printShortcut", QKeySequence(Qt::CTRL | Qt::Key_P), &MainWindow::printRecords);
    add("exitShortcut", QKeySequence(Qt::CTRL | Qt::Key_Q), &MainWindow::confirmExit);
    add("serialShortcut", QKeySequence(Qt::Key_F5), &MainWindow::toggleSerialConnection);
    // F10 opens the first menu, as on other desktops; the arrow keys go on from there.
    add("menuShortcut", QKeySequence(Qt::Key_F10), [this] {
        const QList<QAction*> menus = menuBar()->actions();
        if (!menus.isEmpty()) {
            menuBar()->setFocus(Qt::ShortcutFocusReason);
            menuBar()->setActiveAction(menus.front());
        }
    });
    m_openFileButton->setToolTip(m_openFileButton->toolTip() + QStringLiteral(" (Ctrl+O)"));
    m_saveAsButton->setToolTip(m_saveAsButton->toolTip() + QStringLiteral(" (Ctrl+S)"));
    m_printButton->setToolTip(m_printButton->toolTip() + QStringLiteral(" (Ctrl+P)"));
    m_newRecordButton->setToolTip(m_newRecordButton->toolTip() + QStringLiteral(" (Ctrl+N)"));
    m_comConnectButton->setToolTip(QStringLiteral("Connect or disconnect the serial link (F5)"));
}

QAction* MainWindow::shortcutAction(const QString& name) const {
    for (QAction* action : actions())
        if (action->objectName() == name) return action;
    return nullptr;
}

void MainWindow::applyTabOrder() {
    // From the top left: the tool bar row, the limit panel, the recording row, the grid,
    // then the chart's tool bar on the right.
    HistoryChart& chart = *m_historyChart;
    const QList<QWidget*> order{m_comConnectButton,
                                m_usbConnectButton,
                                m_exitButton,
                                m_limitPanel->upperLimitSwitch(),
                                m_limitPanel->upperLimitField(),
                                m_limitPanel->lowerLimitSwitch(),
                                m_limitPanel->lowerLimitField(),
                                m_recordingRow->repeatBox(),
                                m_recordingRow->samplingBox(),
                                m_recordingRow->intervalField(),
                                m_newRecordButton,
                                m_openFileButton,
                                m_saveAsButton,
                                m_printButton,
                                m_recordGrid,
                                chart.fillBox(),
                                chart.pointsPerPageField(),
                                chart.restartButton(),
                                chart.saveButton(),
                                chart.firstPageButton(),
                                chart.previousPageButton(),
                                chart.pageNumberButton(),
                                chart.nextPageButton(),
                                chart.lastPageButton(),
                                chart.enlargeButton(),
                                chart.shrinkButton()};
    for (QWidget* w : order) {
        if (w->focusPolicy() == Qt::NoFocus) w->setFocusPolicy(Qt::TabFocus);
    }
    for (qsizetype i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void MainWindow::wireStatusLine() {
    connect(m_session, &MeterSession::readingHandled, m_statusLine, &StatusLine::notePacket);
    connect(m_session, &MeterSession::decodeFailed, this, [this](const QString& error, quint64 failures) {
        m_statusLine->noteError(QStringLiteral("decode"), error, failures);
    });
    connect(m_session, &MeterSession::rowRecorded, this, &MainWindow::refreshRowStatus);
    Recorder* recorder = &m_session->recorder();
    connect(recorder, &Recorder::recordLimitChanged, this, &MainWindow::refreshRowStatus);
    connect(recorder, &Recorder::recordedRowsChanged, this, &MainWindow::refreshRowStatus);
    connect(recorder, &Recorder::recordLimitReached, this, [this] { m_statusLine->setLimitReached(true); });
    connect(recorder, &Recorder::error, this, [this](const QString& m) {
        m_statusLine->noteError(QStringLiteral("recording"), m, 1);
    });
    auto linkError = [this](const QString& m) { m_statusLine->noteError(QStringLiteral("link"), m, ++m_linkErrors); };
    connect(m_session, &MeterSession::linkFailed, this, [linkError](const LinkError& error) {
        if (error.link == LinkKind::Serial) linkError(error.text);
    });
    connect(m_session, &MeterSession::linkStatusChanged, this, &MainWindow::refreshLinkStatus);
    connect(&m_linkControls->buttons(), &ExclusiveToggleGroup::pressedChanged, this, &MainWindow::refreshLinkStatus);
    connect(m_session, &MeterSession::cableLost, this, [linkError](const QString& caption) {
        linkError(QStringLiteral("%1 unplugged, waiting for it").arg(caption));
    });
    connect(m_session, &MeterSession::usbCableSelected, this, &MainWindow::refreshLinkStatus);
    connect(m_dataFiles, &DataFileCommands::saved, this, [this](const QString& file) {
        m_statusLine->noteFile(QStringLiteral("saved %1").arg(QDir::toNativeSeparators(file)));
        refreshRowStatus();
    });
    connect(m_dataFiles, &DataFileCommands::opened, this, [this](const QString& file) {
        m_statusLine->noteFile(QStringLiteral("opened %1").arg(QDir::toNativeSeparators(file)));
        refreshRowStatus();
    });
    // A Paradox table opened is shown in the grid; recording goes on in the record table.
    connect(m_dataFiles, &DataFileCommands::shownTableChanged, this,
            [this](const TableEngine* shown) { m_recordGrid->gridModel()->showTable(shown); });
    connect(m_dataFiles, &DataFileCommands::previewed, this, [this](qint64 rows) {
        m_statusLine->noteFile(QStringLiteral("print preview of %1 rows closed").arg(rows));
    });
    connect(m_historyChart, &HistoryChart::informationRequested, this, [this](const QString& m) {
        if (m.startsWith(QLatin1String("graphic has saved"))) m_statusLine->noteFile(m);
    });
    refreshLinkStatus();
}

void MainWindow::refreshLinkStatus() {
    QString link;
    const LinkStatus status = m_session->linkStatus();
    if (status.kind == LinkKind::Serial && status.isOpen()) {
        link = PortMap::portName(m_session->serialPort()) + QLatin1Char(' ') + m_session->serialPortPath();
    } else if (status.kind != LinkKind::Serial && status.isOpen()) {
        const QString ids = m_session->usbCableIds();
        link = ids.isEmpty() ? QStringLiteral("USB (no cable)") : QStringLiteral("USB ") + ids;
    }
    m_statusLine->setLink(link);
}

void MainWindow::refreshRowStatus() {
    const Recorder& recorder = m_session->recorder();
    m_statusLine->setRows(recorder.recordedRows(), recorder.recordLimit());
}

void MainWindow::bindLinks() {
    connect(m_comConnectButton, &QPushButton::clicked, this, &MainWindow::comConnectClicked);
    connect(m_usbConnectButton, &QPushButton::clicked, this, &MainWindow::usbConnectClicked);
    connect(m_readButton, &QPushButton::clicked, this, &MainWindow::usbReadClicked);
    m_linkControls->setPortMap(m_options.portMap);
    connect(&m_linkControls->buttons(), &ExclusiveToggleGroup::pressedChanged, this, [this](int id, bool pressed) {
        QPushButton* b = id == LinkControls::ComConnect ? m_comConnectButton
                         : id == LinkControls::UsbConnect ? m_usbConnectButton
                                                          : m_readButton;
        b->setChecked(pressed);
    });
    connect(m_linkControls, &LinkControls::serialStateChanged, this, &MainWindow::applySerialState);
    connect(m_session, &MeterSession::linkFailed, this, &MainWindow::showLinkFailure, Qt::QueuedConnection);
    applySerialState(m_linkControls->serialState());
}

void MainWindow::showLinkFailure(const LinkError& error) {
    // The serial port's failures are errors; the USB cable's are notices with an OK button.
    if (error.link == LinkKind::Serial) {
        m_dialogs->error(error.text);
    } else {
        m_dialogs->information(error.text);
    }
}

void MainWindow::applySerialState(const SerialControlState& s) {
    if (m_menu != nullptr) {
        m_menu->comSetupMenu->setEnabled(s.comSetupEnabled);
        const std::array<QAction*, 4> items{m_menu->com1Item, m_menu->com2Item, m_menu->com3Item, m_menu->com4Item};
        for (std::size_t i = 0; i < items.size(); ++i) {
            items[i]->setChecked(s.comItemChecked[i]);
            // "COM1" (its digit the mnemonic) with the device it stands for in the shortcut
            // column; an "&" in a path is a letter, not a mnemonic.
            QString caption = PortMap::portName(static_cast<ComPortNumber>(i));
            caption.insert(caption.size() - 1, QLatin1Char('&'));
            QString path = m_session->portMap().path(static_cast<ComPortNumber>(i));
            path.replace(QLatin1Char('&'), QLatin1String("&&"));
            items[i]->setText(caption + QLatin1Char('\t') + path);
            items[i]->setStatusTip(s.portHints[i]);
            items[i]->setToolTip(s.portHints[i]);
        }
        m_menu->comSetupMenu->setToolTipsVisible(true);
        m_menu->startItem->setCheckable(true);
        m_menu->startItem->setChecked(s.startChecked);
        m_menu->startItem->setEnabled(s.startEnabled);
        m_menu->stopItem->setCheckable(true);
        m_menu->stopItem->setChecked(s.stopChecked);
        m_menu->stopItem->setEnabled(s.stopEnabled);
    }
    for (std::size_t i = 0; i < m_comPanels.size(); ++i) {
        m_comPanels[i]->setVisible(s.comPanelVisible[i]);
        m_comPanels[i]->setEnabled(s.comPanelsEnabled);
        m_comPanels[i]->setToolTip(s.portHints[i]);
    }
    m_connectPanel->setVisible(s.connectPanelVisible);
    m_disconnectPanel->setVisible(s.disconnectPanelVisible);
}

// ---------------------------------------------------------------------------------------
// Start-up and exit.

void MainWindow::startUp() {
    resize(kClientWidth, kClientHeight);  // the window's size (applyLayout holds it)

    // The session takes the model profile's scale and limits; then the record table opens
    // (a failure is reported and start-up goes on; a restore continues the numbering).
    m_session->startUp();
    openRecordTable();

    m_historyChart->fillSampleValues();
    m_historyChart->showSeries(0);
    m_historyChart->onFillBoxClicked();

    applyProfile();

    const ScaleSet& scale = m_session->scale();
    m_gauge->setScaleSet(scale);
    if (m_profile.scaleCode == ScaleCode::Count6000 || m_profile.scaleCode == ScaleCode::Count3400) writeScaleTexts(scale);

    m_historyChart->setLeftAxisMaximum(scale.fullScaleCount);
    m_historyChart->setLeftAxisMinimum(-scale.fullScaleCount);

    pushLimitsToGauge();
    m_gauge->drawFace();
    m_gauge->drawNeedle(scale.gaugeOffset);

    // Publishing goes on where the last run left it, once a remembered password is back
    // from the keyring (which answers in its own time).
    m_mqttSettings = MqttDialog::Settings::load(*m_settings);
    if (!m_mqttSettings.enabled) return;
    if (m_mqttSettings.rememberPassword && m_mqttSettings.password.isEmpty()) {
        m_awaitingPassword = true;
        m_passwordKeeper->fetch();
    } else {
        applyMqttSettings(m_mqttSettings);
    }
}

void MainWindow::onPasswordFetched(const QString& password) {
    // Settings applied from the dialog meanwhile have their own password.
    if (!m_awaitingPassword) return;
    m_awaitingPassword = false;
    m_mqttSettings.password = password;
    applyMqttSettings(m_mqttSettings);
}

void MainWindow::openRecordTable() {
    // A table that did not open: recording shows that no table is open; the rest of
    // start-up still runs, so the serial link keeps its packet handler. One that cannot be
    // written is said once now; journals of earlier runs wait for a start that can record.
    const RunPolicy::TableOpening opening = m_run->openTable();
    if (opening.state != RunPolicy::TableState::Recordable) {
        m_dialogs->error(opening.reason);
        if (opening.held) {
            // Said for as long as it lasts, and over once the other copy lets go.
            m_statusLine->setNotRecording(opening.reason + QStringLiteral("; trying again"));
            m_tableRetryTimer.setInterval(2000);
            connect(&m_tableRetryTimer, &QTimer::timeout, this, &MainWindow::retryRecordTable, Qt::UniqueConnection);
            m_tableRetryTimer.start();
        }
        return;
    }
    // Journals of an interrupted run are offered back once the window is on screen, so the
    // question stands over it (showEvent).
}

void MainWindow::retryRecordTable() {
    // A quick look first: opening waits a moment for a lock, which the UI must not do often.
    if (TableFiles::isHeld(TableEngine::resolvePath(m_session->tablePath()))) return;
    const RunPolicy::TableOpening opening = m_run->openTable();
    if (opening.held) {
        m_statusLine->setNotRecording(opening.reason + QStringLiteral("; trying again"));
        return;
    }
    m_tableRetryTimer.stop();
    m_statusLine->setNotRecording(QString());
    if (opening.state != RunPolicy::TableState::Recordable) {
        m_dialogs->error(opening.reason);
        return;
    }
    m_statusLine->noteFile(
        QStringLiteral("recording into %1").arg(QDir::toNativeSeparators(m_session->recordTable().filePath())));
    if (m_journalOffered) QTimer::singleShot(0, this, &MainWindow::offerJournalRestore);
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_journalOffered || event->spontaneous()) return;
    m_journalOffered = true;
    QTimer::singleShot(0, this, &MainWindow::offerJournalRestore);
}

void MainWindow::offerJournalRestore() {
    // Each journal left by an interrupted run is answered once, restored or kept aside.
    m_run->answerLeftoverJournals(
        [this](const RunPolicy::LeftoverJournal& journal) {
            return m_dialogs->askYesNo(
                QStringLiteral("The last run ended without closing its record table. %1 recorded rows were kept in %2.\n\n"
                               "Restore them into the record table?")
                    .arg(journal.rows)
                    .arg(journal.path));
        },
        [this](RunPolicy::LeftoverOutcome outcome, const QString& detail) {
            if (outcome == RunPolicy::LeftoverOutcome::MovedAside) {
                m_dialogs->information(QStringLiteral("The rows of the last run stay in %1.").arg(detail));
            } else if (outcome == RunPolicy::LeftoverOutcome::Failed) {
                m_dialogs->error(detail);
            }
        });
}

void MainWindow::applyProfile() {
    m_profile = m_session->profile();
    setWindowTitle(QString::fromStdString(m_profile.windowTitle));
    m_lcdPanel->setFirstDigit(QString::fromStdString(m_profile.firstLcdDigit));
}

void MainWindow::writeScaleTexts(const ScaleSet& scale) {
    m_gauge->setScaleSet(scale);
    const int full = scale.fullScaleCount;
    // Writing the fields runs their change handlers, which hand the limits to the session.
    m_limitPanel->upperLimitField()->setText(QString::number(full));
    m_limitPanel->lowerLimitField()->setText(QString::number(-full));
    m_limitPanel->minReadout()->setText(QString::number(full + 1));
    m_limitPanel->maxReadout()->setText(QString::number(-(full + 1)));
}

void MainWindow::pushLimitsToGauge() {
    const AlarmLimits& l = m_session->limits();
    m_gauge->setLimitMarks(l.upper(), l.upperOn(), l.lower(), l.lowerOn());
}

void MainWindow::confirmExit() {
    if (!m_dialogs->askYesNo(QStringLiteral("Are you ensure to exit the program\uFF1F"))) return;
    if (!mayDiscardUnsavedRows()) return;
    endProgram();
}

void MainWindow::exitProgram() {
    if (!mayDiscardUnsavedRows()) return;
    endProgram();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!m_ending && !mayDiscardUnsavedRows()) {
        event->ignore();
        return;
    }
    if (!m_ending) endProgram();
    event->accept();
}

void MainWindow::endProgram() {
    m_ending = true;
    m_session->serialDriver().disconnectPort();
    m_run->closeTable(RunPolicy::UnsavedRows::Decided);
    QApplication::quit();
    close();
}

bool MainWindow::mayDiscardUnsavedRows() {
    if (!m_session->recordTable().isOpen() || m_session->recordTable().unsavedRows() == 0) return true;
    const QString question =
        QStringLiteral("%1 recorded rows have not been saved. Save them before leaving?").arg(m_session->recordTable().unsavedRows());
    switch (m_dialogs->askSaveUnsaved(question)) {
    case UserDialogs::SaveChoice::Save: return saveUnsavedRows();
    case UserDialogs::SaveChoice::Discard: return true;
    case UserDialogs::SaveChoice::Cancel: return false;
    }
    return false;
}

bool MainWindow::saveUnsavedRows() { return m_dataFiles->saveRecordTableAs(); }

// ---------------------------------------------------------------------------------------
// Layout.

int MainWindow::outerWidth() const { return m_client->width() + kFrameWidth; }
int MainWindow::outerHeight() const { return m_client->height() + kFrameHeight; }

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    applyLayout();
}

void MainWindow::applyLayout() {
    if (m_inApplyLayout) return;
    m_inApplyLayout = true;
    // The window keeps its size: client 618 x 413 under the menu bar.
    const QSize held(kClientWidth, kClientHeight + StatusLine::kHeight + menuBar()->sizeHint().height());
    setFixedSize(held);
    if (size() != held) resize(held);
    const int w = kOuterWidth;
    m_exitPanel->move(w - 80, m_exitPanel->y());                      // the exit panel at the right
    m_connectPanel->move(w - 190, m_connectPanel->y());                       // the Connect and Disconnect panels
    m_disconnectPanel->move(w - 190, m_disconnectPanel->y());
    // 5. H - 311 (152) reached 19 px below the client area, hiding the newest row and the
    // scroll bar's lower arrow: the grid ends where the client area does.
    m_recordGrid->resize(m_recordGrid->width(), kClientHeight - m_recordGrid->y());
    m_historyChart->resize(w - 300, m_historyChart->height());            // the chart as wide as the room right of the grid
    m_gauge->resize(w - 303, m_gauge->height());                      // the gauge likewise
    m_gaugeShadow->resize(w - 305, m_gauge->height() - 6);                 // its shadow
    m_gaugeShadow->setPixmap(gaugeShadowPicture(m_gaugeShadow->size()));
    m_historyChart->move(m_historyChart->x(), m_gauge->height() + 34);       // the chart below the gauge
    m_inApplyLayout = false;
}

void MainWindow::toggleChartEnlarged() {
    const bool enlarged = m_historyChart->y() <= 50;
    if (!enlarged) {
        m_historyChart->setEnlarged(true);
        m_savedChartTop = m_historyChart->y();
        m_savedChartLeft = m_historyChart->x();
        m_savedChartHeight = m_historyChart->height();
        m_savedChartWidth = m_historyChart->width();
        m_historyChart->setGeometry(2, 28, outerWidth() - 12, outerHeight() - 85);
    } else {
        m_historyChart->setEnlarged(false);
        m_historyChart->setGeometry(m_savedChartLeft, m_savedChartTop, m_savedChartWidth, m_savedChartHeight);
    }
}

QWidget* MainWindow::control(const QString& name) const { return findChild<QWidget*>(name); }

// ---------------------------------------------------------------------------------------
// Serial link.

void MainWindow::showPortsDialog() {
    // Not modal: the meter goes on being read while the user looks at the devices.
    if (m_portsDialog == nullptr) {
        m_portsDialog = new PortsDialog(m_session->portMap(), MeterSession::serialDevices(), m_options.portsFromCommandLine, this);
        m_portsDialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_portsDialog, &QDialog::accepted, this, &MainWindow::applyPortsDialog);
    }
    m_portsDialog->show();
    m_portsDialog->raise();
    m_portsDialog->activateWindow();
}

void MainWindow::showMqttDialog() {
    // Not modal: the meter goes on being read (and published) while the dialog is open.
    if (m_mqttDialog == nullptr) {
        m_mqttDialog = new MqttDialog(m_mqttSettings, this);
        m_mqttDialog->setAttribute(Qt::WA_DeleteOnClose);
        m_mqttDialog->setBrokerState(m_mqtt ? m_mqtt->brokerStateText() : QStringLiteral("MQTT: off"));
        connect(this, &MainWindow::brokerStateChanged, m_mqttDialog, &MqttDialog::setBrokerState);
        connect(m_mqttDialog, &QDialog::accepted, this, [this] {
            const MqttDialog::Settings s = m_mqttDialog->settings();
            s.save(*m_settings);
            m_passwordKeeper->keep(s.rememberPassword, s.password);
            m_awaitingPassword = false;
            applyMqttSettings(s);
        });
    }
    m_mqttDialog->show();
    m_mqttDialog->raise();
    m_mqttDialog->activateWindow();
}

void MainWindow::applyMqttSettings(const MqttDialog::Settings& settings) {
    m_mqttSettings = settings;
    // Short: a broker that is slow to acknowledge must not hold the window up for long;
    // the rows are in the record table either way.
    m_run->stopPublishing(std::chrono::milliseconds(250));
    m_mqtt = nullptr;
    QString error;
    const std::optional<MqttPublisherOptions> options = settings.enabled ? settings.toOptions(&error) : std::nullopt;
    if (!options) {
        emit brokerStateChanged(settings.enabled ? QStringLiteral("MQTT: %1").arg(error) : QStringLiteral("MQTT: off"));
        return;
    }
    auto publisher = std::make_unique<SessionPublisher>(*options, *m_session);
    SessionPublisher* starting = publisher.get();
    connect(starting, &SessionPublisher::brokerStateChanged, this, &MainWindow::brokerStateChanged);
    if (m_run->startPublishing(std::move(publisher), std::chrono::milliseconds(250))) {
        m_mqtt = starting;
    } else {
        const QString why = m_run->publishError();
        emit brokerStateChanged(QStringLiteral("MQTT: %1").arg(why));
        m_dialogs->error(QStringLiteral("Readings cannot be published: %1").arg(why));
    }
}

void MainWindow::applyPortsDialog() {
    if (m_portsDialog == nullptr) return;
    const PortMap map = m_portsDialog->portMap();
    // An open port keeps its device until it is closed; the new paths count from the next connect.
    m_linkControls->setPortMap(map);
    PortSettings::save(*m_settings, map, m_options.portsFromCommandLine);
    applySerialState(m_linkControls->serialState());
}

void MainWindow::selectCom1() { m_linkControls->selectPort(ComPortNumber::Com1); }
void MainWindow::selectCom2() { m_linkControls->selectPort(ComPortNumber::Com2); }
void MainWindow::selectCom3() { m_linkControls->selectPort(ComPortNumber::Com3); }
void MainWindow::selectCom4() { m_linkControls->selectPort(ComPortNumber::Com4); }
void MainWindow::connectSerial() { m_linkControls->start(); }
void MainWindow::disconnectSerial() { m_linkControls->stop(); }
// Connecting one link stops the other first (the session arbitrates).
void MainWindow::comConnectClicked() { m_linkControls->click(LinkControls::ComConnect); }
void MainWindow::onWatchdogTick() {
    m_session->watchdog().onWatchdogTick();
    refreshLinkStatus();  // a port lost or a cable gone shows without a signal of its own
}
void MainWindow::toggleSerialConnection() { comConnectClicked(); }

// ---------------------------------------------------------------------------------------
// USB link.

void MainWindow::usbConnectClicked() { m_linkControls->click(LinkControls::UsbConnect); }
void MainWindow::usbReadClicked() { m_linkControls->click(LinkControls::UsbRead); }
void MainWindow::sendBridgeConfiguration() { m_session->sendBridgeConfiguration(); }
void MainWindow::clearHistory() { m_session->clearUsbLog(); }

void MainWindow::selectedDeviceInfo() {
    if (const std::optional<QString> info = m_session->usbCableInfo()) m_dialogs->information(*info);
}

void MainWindow::handlePacket(std::string_view packetText) { m_session->handlePacket(packetText); }

void MainWindow::showReading(const ReadingUpdate& u) {
    m_lcdPanel->clearMarks();
    m_lcdPanel->showMarks(u.lcd);
    if (u.alarm && m_beep) m_beep();
    m_gauge->showAlarm(u.alarm);
    const RunningExtremes& extremes = m_session->extremes();
    m_limitPanel->showExtremes(extremes.maximumText(), extremes.minimumText(), extremes.lastUnitText());
    m_lcdPanel->showDigits(u.lcd);
    m_readingBar->setMaximum(u.barMaximum);
    m_gauge->showReading(*u.scale, u.needlePosition);
    m_readingBar->setValue(u.barValue);
    m_historyChart->showHistory();
}

void MainWindow::noteDecodeFailure(const QString& error, quint64 failures) {
    // Counted and shown on the link indicator; reading goes on without a box.
    m_lcdPanel->clearMarks();
    const QString note = QStringLiteral("%1 packet(s) could not be decoded; the last: %2").arg(failures).arg(error);
    m_gauge->linkOkPicture()->setToolTip(note);
    m_gauge->linkDownPicture()->setToolTip(note);
}

// ---------------------------------------------------------------------------------------
// Recording.

void MainWindow::newRecord() {
    if (m_session->recorder().newRecord()) m_statusLine->noteFile(QStringLiteral("record table emptied"));
    refreshRowStatus();
}
void MainWindow::setRecordLimit(int limit) { m_limitMenu->setRecordLimit(limit); }

// ---------------------------------------------------------------------------------------
// Data files.

void MainWindow::openRecordFile() { m_dataFiles->openRecordFile(); }
void MainWindow::saveRecordFileAs() { m_dataFiles->saveRecordFileAs(); }
void MainWindow::printRecords() { m_dataFiles->printRecords(); }

// ---------------------------------------------------------------------------------------
// History chart.

void MainWindow::showFirstPage() { m_historyChart->showFirstPage(); }
void MainWindow::showPreviousPage() { m_historyChart->showPreviousPage(); }
void MainWindow::showNextPage() { m_historyChart->showNextPage(); }
void MainWindow::showLastPage() { m_historyChart->showLastPage(); }
void MainWindow::restartChart() { m_historyChart->restartChart(); }
void MainWindow::saveChartPicture() { m_historyChart->saveChartPicture(); }
void MainWindow::toggleFill() { m_historyChart->toggleFill(); }
void MainWindow::onFillBoxClicked() { m_historyChart->onFillBoxClicked(); }

}  // namespace veska
