#include "TFCOMM.h"

#include "MainMenu.h"
#include "MessageBoxDialogs.h"
#include "PanelButton.h"
#include "PortSettings.h"
#include "PortsDialog.h"
#include "display/AlarmSound.h"
#include "display/AnalogGauge.h"
#include "display/ArialFont.h"
#include "display/DisplayResources.h"
#include "display/LcdPanel.h"
#include "display/LimitPanel.h"
#include "display/ReadingBar.h"
#include "hid/EControllerError.h"
#include "hid/HidDeviceInfo.h"
#include "hid/HidapiPlatform.h"
#include "hid/UsbConnection.h"
#include "protocol/ScaleSet.h"
#include "records/DataFileCommands.h"
#include "records/HistoryChart.h"
#include "records/RecordGrid.h"
#include "records/RecordLimitMenu.h"
#include "records/RecordTable.h"
#include "records/Recorder.h"
#include "records/RecordingRow.h"
#include "records/TableError.h"

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
#include <QStyle>
#include <QToolButton>

namespace veska {

namespace {

constexpr int kClientWidth = 618;
constexpr int kClientHeight = 413;
constexpr int kOuterWidth = 622;
constexpr int kOuterHeight = 463;
// The classic window's frame: 2 px borders, caption and menu bar above the client area.
constexpr int kFrameWidth = kOuterWidth - kClientWidth;
constexpr int kFrameHeight = kOuterHeight - kClientHeight;

QPixmap Kd2Picture(QSize size) {
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

TFCOMM::TFCOMM(const Options& options, QWidget* parent)
    : QMainWindow(parent),
      m_options(options),
      m_session(new MeterSession(options.switches, this)),
      m_alarmSound(std::make_unique<AlarmSound>()),
      m_beep([this] { m_alarmSound->play(); }) {
    setObjectName(QStringLiteral("FCOMM"));
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
    PortSettings::load(*m_settings, m_options.portMap, m_options.portsFromCommandLine);
    createComponents();
    createUsb();
    bindSerial();
    buildMenu();
    FormCreate();
}

TFCOMM::~TFCOMM() {
    m_session->serialDriver().Disconnect();
    // Reached without endProgram (nobody chose to drop unsaved rows): they stay in the journal.
    m_session->recordTable().closeKeepingJournal();
}

// ---------------------------------------------------------------------------------------
// The window resource: every component at its place.

void TFCOMM::createComponents() {
    DisplayResources::ensureLoaded();
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(DisplayResources::picture(QStringLiteral("CONok")));

    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setFixedSize(kClientWidth, kClientHeight);
    QPalette pal = m_client->palette();
    pal.setColor(QPalette::Window, QColor(128, 128, 128));
    m_client->setPalette(pal);
    m_client->setAutoFillBackground(true);
    setCentralWidget(m_client);

    m_dataFiles = new DataFileCommands(m_session->recordTable(), this);

    buildToolbarRow();

    m_panel1 = new LcdPanel(m_client);
    m_panel1->setObjectName(QStringLiteral("Panel1"));
    m_panel1->move(3, 31);
    m_pBar2 = new ReadingBar(m_client);
    m_pBar2->setObjectName(QStringLiteral("PBar2"));
    m_pBar2->move(3, 192);

    m_kd2 = new QLabel(m_client);
    m_kd2->setObjectName(QStringLiteral("KD2"));
    m_kd2->move(294, 39);
    m_kd = new AnalogGauge(m_client);
    m_kd->setObjectName(QStringLiteral("KD"));
    m_kd->setGeometry(290, 31, 319, 139);

    m_panel3 = new LimitPanel(m_client);
    m_panel3->setObjectName(QStringLiteral("Panel3"));
    m_panel3->move(3, 208);

    buildRecordingRow();

    m_dbGrid1 = new RecordGrid(m_session->recordTable(), m_client);
    m_dbGrid1->setObjectName(QStringLiteral("DBGrid1"));
    m_dbGrid1->setGeometry(0, 280, 289, 152);

    m_chtshow = new HistoryChart(m_session->chart(), m_client);
    m_chtshow->setObjectName(QStringLiteral("Chtshow"));
    m_chtshow->setGeometry(288, 173, 322, 246);
    m_chtshow->raise();  // drawn above every region it overlaps, also when enlarged

    buildHiddenControls();

    connect(m_session, &MeterSession::readingHandled, this, &TFCOMM::showReading);
    connect(m_session, &MeterSession::decodeFailed, this, &TFCOMM::noteDecodeFailure);
    connect(m_session, &MeterSession::limitsChanged, this, &TFCOMM::pushLimitsToGauge);
    // A limit field's whole number goes to the session; a text that is none keeps the
    // limit, but its switch still counts.
    connect(m_panel3, &LimitPanel::upperLimitEdited, this, [this](std::optional<float> limit, bool on) {
        m_session->setUpperLimit(limit.value_or(m_session->limits().upper()), on);
        if (limit) m_kd->KDsetup();
    });
    connect(m_panel3, &LimitPanel::lowerLimitEdited, this, [this](std::optional<float> limit, bool on) {
        m_session->setLowerLimit(limit.value_or(m_session->limits().lower()), on);
        if (limit) m_kd->KDsetup();
    });

    // Messages of the components. Those that can arrive during packet handling are queued,
    // so no modal box ever opens inside the cycle.
    connect(m_panel3, &LimitPanel::limitTextInvalid, this, [this](const QString& m) { m_dialogs->error(m); },
            Qt::QueuedConnection);
    Recorder* recorder = &m_session->recorder();
    connect(recorder, &Recorder::information, this, [this](const QString& m) { m_dialogs->information(m); },
            Qt::QueuedConnection);
    connect(recorder, &Recorder::error, this, [this](const QString& m) { m_dialogs->error(m); },
            Qt::QueuedConnection);
    recorder->setConfirmHook([this](const QString& q) { return m_dialogs->askYesNo(q); });
    connect(m_chtshow, &HistoryChart::informationRequested, this,
            [this](const QString& m) { m_dialogs->information(m); });
    connect(m_chtshow, &HistoryChart::errorRequested, this, [this](const QString& m) { m_dialogs->error(m); });
    m_chtshow->setOpenTableHook([this] { return m_session->recordTable().filePath(); });
    connect(m_chtshow, &HistoryChart::enlargeClicked, this, &TFCOMM::TbFdClick);

    m_dataFiles->setDialogs(m_dialogs);
    connect(m_dataFiles, &DataFileCommands::information, this, [this](const QString& m) { m_dialogs->information(m); });
    connect(m_dataFiles, &DataFileCommands::error, this, [this](const QString& m) { m_dialogs->error(m); });
    connect(&m_session->watchdog(), &LinkWatchdog::linkIndicatorChanged, m_kd, &AnalogGauge::setLinkAlive);
    m_conTimer.setInterval(LinkWatchdog::kPeriodMs);
    connect(&m_conTimer, &QTimer::timeout, this, &TFCOMM::ConTimerTimer);
    m_conTimer.start();
}

void TFCOMM::buildToolbarRow() {
    for (int i = 0; i < 4; ++i) {
        auto* panel = new PanelButton(QStringLiteral("COM %1").arg(i + 1), m_client);
        panel->setObjectName(QStringLiteral("BtCOM%1").arg(i + 1));
        panel->setGeometry(5, 3, 61, 24);
        panel->setFont(ArialFont::px(16, true));
        QPalette p = panel->palette();
        p.setColor(QPalette::Window, QColor(192, 192, 192));
        p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(112, 112, 112));  // greyed, still legible
        p.setColor(QPalette::Disabled, QPalette::Window, QColor(192, 192, 192));
        panel->setPalette(p);
        panel->setVisible(i == 0);
        m_btCom[static_cast<std::size_t>(i)] = panel;
    }
    // Each panel steps to the next port.
    connect(m_btCom[0], &PanelButton::clicked, this, &TFCOMM::COM21Click);
    connect(m_btCom[1], &PanelButton::clicked, this, &TFCOMM::COM31Click);
    connect(m_btCom[2], &PanelButton::clicked, this, &TFCOMM::COM41Click);
    connect(m_btCom[3], &PanelButton::clicked, this, &TFCOMM::COM11Click);

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
    m_comCon = toggle(QStringLiteral("COMCon"), QStringLiteral("COM Connect"), 68);
    m_usbCon = toggle(QStringLiteral("USBCon"), QStringLiteral("USB Connect"), 163);

    m_bitBtn1 = new QPushButton(QStringLiteral("EXIT"), m_client);
    m_bitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    m_bitBtn1->setGeometry(552, 3, 57, 25);
    m_bitBtn1->setFont(ArialFont::px(14, true, true));
    connect(m_bitBtn1, &QPushButton::clicked, this, &TFCOMM::BitBtn1Click);
}

void TFCOMM::buildRecordingRow() {
    m_recordingRow = new RecordingRow(m_session->recorder(), m_client);
    connect(m_recordingRow->RepeatSet(), &QCheckBox::clicked, this, &TFCOMM::btFillClick);

    auto speedButton = [this](const char* name, int left, QStyle::StandardPixmap icon, const QString& hint) {
        auto* b = new QToolButton(m_client);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(left, 258, 22, 22);
        b->setIcon(style()->standardIcon(icon));
        b->setAutoRaise(true);
        if (!hint.isEmpty()) b->setToolTip(hint);
        return b;
    };
    m_recordNew = speedButton("RecordNew", 200, QStyle::SP_DialogDiscardButton, QStringLiteral("Close Data"));
    m_openDataFiles =
        speedButton("OpenDataFiles", 222, QStyle::SP_DialogOpenButton, QStringLiteral("Open old data files"));
    m_saveas = speedButton("saveas", 244, QStyle::SP_DialogSaveButton, QStringLiteral("Save data files"));
    m_btPrint = speedButton("BtPrint", 266, QStyle::SP_FileDialogDetailedView, QString());
    connect(m_recordNew, &QToolButton::clicked, this, &TFCOMM::RecordNewClick);
    connect(m_openDataFiles, &QToolButton::clicked, this, &TFCOMM::SpeedButton2Click);
    connect(m_saveas, &QToolButton::clicked, this, &TFCOMM::saveasClick);
    connect(m_btPrint, &QToolButton::clicked, this, &TFCOMM::BtPrintClick);
}

void TFCOMM::buildHiddenControls() {
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
    m_btCon = hiddenPanel("BTCon", QStringLiteral("Connect"), kOuterWidth - 190, 482);
    m_btDiscon = hiddenPanel("BtDiscon", QStringLiteral("Disconnect"), kOuterWidth - 190, 482);
    m_btDiscon->hide();
    m_btExit = hiddenPanel("BtExit", QStringLiteral("Exit"), kOuterWidth - 80, 522);
    connect(m_btCon, &PanelButton::clicked, this, &TFCOMM::BTCon1Click);
    connect(m_btDiscon, &PanelButton::clicked, this, &TFCOMM::BtDiscon1Click);
    connect(m_btExit, &PanelButton::clicked, this, &TFCOMM::BtExit1Click);

    m_readBtn = new QPushButton(QStringLiteral("Read"), m_client);
    m_readBtn->setObjectName(QStringLiteral("ReadBtn"));
    m_readBtn->setCheckable(true);
    m_readBtn->hide();

    auto hiddenButton = [this](const char* name, const QString& caption, void (TFCOMM::*handler)()) {
        auto* b = new QPushButton(caption, m_client);
        b->setObjectName(QLatin1String(name));
        b->hide();
        connect(b, &QPushButton::clicked, this, handler);
    };
    hiddenButton("SetFeature", QStringLiteral("SetFeature"), &TFCOMM::SetFeatureClick);
    hiddenButton("ClearBtn", QStringLiteral("Clear"), &TFCOMM::ClearBtnClick);
    hiddenButton("InfoBtn", QStringLiteral("Info"), &TFCOMM::InfoBtnClick);
    m_devListBox = new QListView(m_client);
    m_devListBox->setObjectName(QStringLiteral("DevListBox"));
    m_devListBox->hide();
    m_historyListBox = new QListView(m_client);
    m_historyListBox->setObjectName(QStringLiteral("HistoryListBox"));
    m_historyListBox->hide();
}

void TFCOMM::createUsb() {
    std::shared_ptr<HidPlatform> platform = m_options.hidPlatform;
    if (!platform) platform = std::make_shared<HidapiPlatform>();
    UsbConnection& usb = m_session->createUsbLink(platform);
    m_devListBox->setModel(usb.deviceListModel());
    m_historyListBox->setModel(usb.historyModel());
    connect(m_devListBox, &QListView::clicked, this, [this](const QModelIndex& i) { m_session->usb()->selectDevice(i.row()); });
    connect(&usb, &UsbConnection::deviceSelectionChanged, this, [this](int row) {
        m_devListBox->setCurrentIndex(m_session->usb()->deviceListModel()->index(row));
    });
    connect(&usb, &UsbConnection::historyLineAdded, this, [this](int row) {
        m_historyListBox->setCurrentIndex(m_session->usb()->historyModel()->index(row));
    });
    connect(&usb, &UsbConnection::message, this, [this](const QString& m) { m_dialogs->information(m); },
            Qt::QueuedConnection);
    // The cable's comings and goings while it is read, where the user looks: the button.
    connect(&usb, &UsbConnection::cableLost, this, [this](const QString& caption) {
        m_usbCon->setToolTip(QStringLiteral("%1 unplugged: waiting for it to come back").arg(caption));
    });
    connect(&usb, &UsbConnection::cableBack, this, [this](const QString& caption, qint64 gapMs) {
        m_usbCon->setToolTip(QStringLiteral("%1 is back after a gap of %2 s")
                                 .arg(caption)
                                 .arg(static_cast<double>(gapMs) / 1000.0, 0, 'f', 1));
    });
    usb.setSettings(m_settings);
}

void TFCOMM::buildMenu() {
    m_menu = new MainMenu(menuBar());
    MainMenu& m = *m_menu;
    connect(m.COM11, &QAction::triggered, this, &TFCOMM::COM11Click);
    connect(m.COM21, &QAction::triggered, this, &TFCOMM::COM21Click);
    connect(m.COM31, &QAction::triggered, this, &TFCOMM::COM31Click);
    connect(m.COM41, &QAction::triggered, this, &TFCOMM::COM41Click);
    connect(m.START1, &QAction::triggered, this, &TFCOMM::BTCon1Click);
    connect(m.STOP1, &QAction::triggered, this, &TFCOMM::BtDiscon1Click);

    connect(m.First, &QAction::triggered, this, &TFCOMM::BtFirstClick);
    connect(m.Previous, &QAction::triggered, this, &TFCOMM::BTPreviousClick);
    connect(m.Next, &QAction::triggered, this, &TFCOMM::BtNextClick);
    connect(m.Last, &QAction::triggered, this, &TFCOMM::BTlastClick);
    connect(m.New, &QAction::triggered, this, &TFCOMM::BtNewClick);
    connect(m.Save, &QAction::triggered, this, &TFCOMM::BtSaveClick);
    connect(m.Fill, &QAction::triggered, this, &TFCOMM::FillClick);
    connect(m_chtshow, &HistoryChart::fillCheckedChanged, m.Fill, &QAction::setChecked);

    connect(m.New1, &QAction::triggered, this, &TFCOMM::RecordNewClick);
    connect(m.Save1, &QAction::triggered, this, &TFCOMM::saveasClick);

    // The record limit items ("1000" ... "limitless"); choosing one sets the limit through
    // the limit menu, which also keeps the check marks in step with the recorder's limit.
    m_limitMenu = new RecordLimitMenu(m_session->recorder(), this);
    m_limitMenu->addTo(m.Record);

    connect(m.EXIT1, &QAction::triggered, this, &TFCOMM::BtExit1Click);

    m.ComSetup1->addSeparator();
    m_portsAction = m.ComSetup1->addAction(QStringLiteral("Ports..."));
    m_portsAction->setObjectName(QStringLiteral("Ports1"));
    connect(m_portsAction, &QAction::triggered, this, &TFCOMM::PortsClick);
    applySerialState(m_session->serial().state());
}

void TFCOMM::bindSerial() {
    m_comConId = m_session->comConnectButton();
    m_usbConId = m_session->usbConnectButton();
    m_readBtnId = m_session->usbReadButton();
    connect(m_usbCon, &QPushButton::clicked, this, &TFCOMM::USBConClick);
    connect(m_readBtn, &QPushButton::clicked, this, &TFCOMM::ReadBtnClick);
    SerialConnection& serial = m_session->serial();
    serial.setPortMap(m_options.portMap);
    connect(m_comCon, &QPushButton::clicked, this, &TFCOMM::COMConClick);
    connect(&m_session->linkButtons(), &ExclusiveToggleGroup::pressedChanged, this, [this](int id, bool pressed) {
        QPushButton* b = id == m_comConId ? m_comCon : id == m_usbConId ? m_usbCon : m_readBtn;
        b->setChecked(pressed);
    });
    connect(&serial, &SerialConnection::stateChanged, this, &TFCOMM::applySerialState);
    connect(&serial, &SerialConnection::message, this, [this](const QString& m) { m_dialogs->error(m); },
            Qt::QueuedConnection);
    applySerialState(serial.state());
}

void TFCOMM::applySerialState(const SerialControlState& s) {
    if (m_menu != nullptr) {
        m_menu->ComSetup1->setEnabled(s.comSetupEnabled);
        const std::array<QAction*, 4> items{m_menu->COM11, m_menu->COM21, m_menu->COM31, m_menu->COM41};
        for (std::size_t i = 0; i < items.size(); ++i) {
            items[i]->setChecked(s.comItemChecked[i]);
            // "COM1" with the device it stands for in the shortcut column.
            items[i]->setText(PortMap::portName(static_cast<TComPortNumber>(i)) + QLatin1Char('\t') +
                              m_session->serialDriver().portMap().path(static_cast<TComPortNumber>(i)));
            items[i]->setStatusTip(s.portHints[i]);
            items[i]->setToolTip(s.portHints[i]);
        }
        m_menu->ComSetup1->setToolTipsVisible(true);
        m_menu->START1->setCheckable(true);
        m_menu->START1->setChecked(s.startChecked);
        m_menu->START1->setEnabled(s.startEnabled);
        m_menu->STOP1->setCheckable(true);
        m_menu->STOP1->setChecked(s.stopChecked);
        m_menu->STOP1->setEnabled(s.stopEnabled);
    }
    for (std::size_t i = 0; i < m_btCom.size(); ++i) {
        m_btCom[i]->setVisible(s.comPanelVisible[i]);
        m_btCom[i]->setEnabled(s.comPanelsEnabled);
        m_btCom[i]->setToolTip(s.portHints[i]);
    }
    m_btCon->setVisible(s.btConVisible);
    m_btDiscon->setVisible(s.btDisconVisible);
}

// ---------------------------------------------------------------------------------------
// Start-up and exit.

void TFCOMM::FormCreate() {
    resize(kClientWidth, kClientHeight);  // the window's size (FormResize holds it)

    // The session takes the model profile's scale and limits; then the record table opens
    // (a failure is reported and start-up goes on; a restore continues the numbering).
    m_session->startUp();
    openRecordTable();

    m_chtshow->FillSampleValues();
    m_chtshow->ShowSeries(0);
    m_chtshow->btFillClick();

    applyProfile();

    const ScaleSet& scale = m_session->scale();
    m_kd->setScaleSet(scale);
    if (m_profile.scaleCode == "6" || m_profile.scaleCode == "34") writeScaleTexts(scale);

    m_chtshow->SetLeftAxisMaximum(scale.fullScaleCount);
    m_chtshow->SetLeftAxisMinimum(-scale.fullScaleCount);

    pushLimitsToGauge();
    m_kd->KDsetup();
    m_kd->KDrun(scale.gaugeOffset);
}

void TFCOMM::openRecordTable() {
    try {
        m_session->recordTable().openDefault();
    } catch (const TableError& e) {
        // Recording shows that no table is open; the rest of start-up still runs, so the
        // serial link keeps its packet handler.
        m_dialogs->error(QString::fromUtf8(e.what()));
        return;
    }
    if (!m_session->recordTable().isWritable()) {
        // Said once now; journals of earlier runs wait for a start that can record.
        m_dialogs->error(m_session->recordTable().notWritableReason());
        return;
    }
    offerJournalRestore();
}

void TFCOMM::offerJournalRestore() {
    // Each journal left by an interrupted run is answered once, restored or kept aside.
    RecordTable& table = m_session->recordTable();
    while (table.hasLeftoverJournal()) {
        const QString question =
            QStringLiteral("The last run ended without closing its record table. %1 recorded rows were kept in %2.\n\n"
                           "Restore them into the record table?")
                .arg(table.leftoverJournalRows())
                .arg(table.leftoverJournalPath());
        try {
            if (m_dialogs->askYesNo(question)) {
                table.restoreJournal();
                m_session->recorder().setNextRecordNo(int(table.highestRestoredNo()) + 1);
            } else {
                const QString kept = table.moveJournalAside();
                m_dialogs->information(QStringLiteral("The rows of the last run stay in %1.").arg(kept));
            }
        } catch (const TableError& e) {
            m_dialogs->error(e.message());
        }
    }
}

void TFCOMM::applyProfile() {
    m_profile = m_session->profile();
    setWindowTitle(QString::fromStdString(m_profile.windowTitle));
    m_panel1->setFirstDigit(QString::fromStdString(m_profile.firstLcdDigit));
}

void TFCOMM::writeScaleTexts(const ScaleSet& scale) {
    m_kd->setScaleSet(scale);
    const int full = scale.fullScaleCount;
    // Writing the fields runs their change handlers, which hand the limits to the session.
    m_panel3->Setmax()->setText(QString::number(full));
    m_panel3->SetMin()->setText(QString::number(-full));
    m_panel3->MinText()->setText(QString::number(full + 1));
    m_panel3->MaxText()->setText(QString::number(-(full + 1)));
}

void TFCOMM::pushLimitsToGauge() {
    const AlarmLimits& l = m_session->limits();
    m_kd->setLimitMarks(l.upper(), l.upperOn(), l.lower(), l.lowerOn());
}

void TFCOMM::BitBtn1Click() {
    if (!m_dialogs->askYesNo(QStringLiteral("Are you ensure to exit the program\uFF1F"))) return;
    if (!mayDiscardUnsavedRows()) return;
    endProgram();
}

void TFCOMM::BtExit1Click() {
    if (!mayDiscardUnsavedRows()) return;
    endProgram();
}

void TFCOMM::closeEvent(QCloseEvent* event) {
    if (!m_ending && !mayDiscardUnsavedRows()) {
        event->ignore();
        return;
    }
    if (!m_ending) endProgram();
    event->accept();
}

void TFCOMM::endProgram() {
    m_ending = true;
    m_session->serialDriver().Disconnect();
    m_session->recordTable().close();
    QApplication::quit();
    close();
}

bool TFCOMM::mayDiscardUnsavedRows() {
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

bool TFCOMM::saveUnsavedRows() { return m_dataFiles->saveasClick(); }

// ---------------------------------------------------------------------------------------
// Layout.

int TFCOMM::outerWidth() const { return m_client->width() + kFrameWidth; }
int TFCOMM::outerHeight() const { return m_client->height() + kFrameHeight; }

void TFCOMM::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TFCOMM::FormResize() {
    if (m_inFormResize) return;
    m_inFormResize = true;
    // 1-2. The window keeps its size: client 618 x 413 under the menu bar.
    const QSize held(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    setFixedSize(held);
    if (size() != held) resize(held);
    const int w = kOuterWidth;
    const int h = kOuterHeight;
    m_btExit->move(w - 80, m_btExit->y());                      // 3.
    m_btCon->move(w - 190, m_btCon->y());                       // 4.
    m_btDiscon->move(w - 190, m_btDiscon->y());
    m_dbGrid1->resize(m_dbGrid1->width(), h - 311);             // 5.
    m_chtshow->resize(w - 300, m_chtshow->height());            // 6.
    m_kd->resize(w - 303, m_kd->height());                      // 7.
    m_kd2->resize(w - 305, m_kd->height() - 6);                 // 8.
    m_kd2->setPixmap(Kd2Picture(m_kd2->size()));
    m_chtshow->move(m_chtshow->x(), m_kd->height() + 34);       // 9.
    m_inFormResize = false;
}

void TFCOMM::TbFdClick() {
    const bool enlarged = m_chtshow->y() <= 50;
    if (!enlarged) {
        m_chtshow->setEnlarged(true);
        m_savedChartTop = m_chtshow->y();
        m_savedChartLeft = m_chtshow->x();
        m_savedChartHeight = m_chtshow->height();
        m_savedChartWidth = m_chtshow->width();
        m_chtshow->setGeometry(2, 28, outerWidth() - 12, outerHeight() - 85);
    } else {
        m_chtshow->setEnlarged(false);
        m_chtshow->setGeometry(m_savedChartLeft, m_savedChartTop, m_savedChartWidth, m_savedChartHeight);
    }
}

QWidget* TFCOMM::control(const QString& name) const { return findChild<QWidget*>(name); }

// ---------------------------------------------------------------------------------------
// Serial link.

void TFCOMM::PortsClick() {
    // Not modal: the meter goes on being read while the user looks at the devices.
    if (m_portsDialog == nullptr) {
        m_portsDialog = new PortsDialog(m_session->serialDriver().portMap(), m_options.portsFromCommandLine, this);
        m_portsDialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_portsDialog, &QDialog::accepted, this, &TFCOMM::applyPortsDialog);
        connect(m_portsDialog, &QObject::destroyed, this, [this] { m_portsDialog = nullptr; });
    }
    m_portsDialog->show();
    m_portsDialog->raise();
    m_portsDialog->activateWindow();
}

void TFCOMM::applyPortsDialog() {
    if (m_portsDialog == nullptr) return;
    const PortMap map = m_portsDialog->portMap();
    // An open port keeps its device until it is closed; the new paths count from the next connect.
    m_session->serial().setPortMap(map);
    PortSettings::save(*m_settings, map, m_options.portsFromCommandLine);
    applySerialState(m_session->serial().state());
}

void TFCOMM::COM11Click() { m_session->serial().COM11Click(); }
void TFCOMM::COM21Click() { m_session->serial().COM21Click(); }
void TFCOMM::COM31Click() { m_session->serial().COM31Click(); }
void TFCOMM::COM41Click() { m_session->serial().COM41Click(); }
void TFCOMM::BTCon1Click() { m_session->startSerialLink(); }
void TFCOMM::BtDiscon1Click() { m_session->serial().BtDiscon1Click(); }
// Connecting one link stops the other first (the session arbitrates).
void TFCOMM::COMConClick() { m_session->linkButtons().click(m_comConId); }
void TFCOMM::ConTimerTimer() { m_session->watchdog().ConTimerTimer(); }

// ---------------------------------------------------------------------------------------
// USB link.

void TFCOMM::USBConClick() { m_session->linkButtons().click(m_usbConId); }
void TFCOMM::ReadBtnClick() { m_session->linkButtons().click(m_readBtnId); }
void TFCOMM::SetFeatureClick() { m_session->usb()->SetFeatureClick(); }
void TFCOMM::ClearBtnClick() { m_session->usb()->ClearBtnClick(); }

void TFCOMM::InfoBtnClick() {
    if (const auto info = m_session->usb()->InfoBtnClick()) m_dialogs->information(info->toText());
}

void TFCOMM::LcdDisplayVeska(std::string_view packetText) { m_session->handlePacket(packetText); }

void TFCOMM::showReading(const ReadingUpdate& u) {
    m_panel1->clearMarks();
    m_panel1->showMarks(u.lcd);
    if (u.alarm && m_beep) m_beep();
    m_kd->showAlarm(u.alarm);
    const RunningExtremes& extremes = m_session->extremes();
    m_panel3->showExtremes(extremes.maximumText(), extremes.minimumText(), extremes.lastUnitText());
    m_panel1->showDigits(u.lcd);
    m_pBar2->setMaximum(u.barMaximum);
    m_kd->showReading(*u.scale, u.needlePosition);
    m_pBar2->setValue(u.barValue);
    m_chtshow->showHistory();
}

void TFCOMM::noteDecodeFailure(const QString& error, quint64 failures) {
    // Counted and shown on the link indicator; reading goes on without a box.
    m_panel1->clearMarks();
    const QString note = QStringLiteral("%1 packet(s) could not be decoded; the last: %2").arg(failures).arg(error);
    m_kd->CONok()->setToolTip(note);
    m_kd->CONokN()->setToolTip(note);
}

// ---------------------------------------------------------------------------------------
// Recording.

void TFCOMM::RecordNewClick() { m_session->recorder().RecordNewClick(); }
void TFCOMM::setRecordLimit(int limit) { m_limitMenu->setRecordLimit(limit); }

// ---------------------------------------------------------------------------------------
// Data files.

void TFCOMM::SpeedButton2Click() { m_dataFiles->SpeedButton2Click(); }
void TFCOMM::saveasClick() { m_dataFiles->saveasClick(); }
void TFCOMM::BtPrintClick() { m_dataFiles->BtPrintClick(); }

// ---------------------------------------------------------------------------------------
// History chart.

void TFCOMM::BtFirstClick() { m_chtshow->BtFirstClick(); }
void TFCOMM::BTPreviousClick() { m_chtshow->BTPreviousClick(); }
void TFCOMM::BtNextClick() { m_chtshow->BtNextClick(); }
void TFCOMM::BTlastClick() { m_chtshow->BTlastClick(); }
void TFCOMM::BtNewClick() { m_chtshow->BtNewClick(); }
void TFCOMM::BtSaveClick() { m_chtshow->BtSaveClick(); }
void TFCOMM::FillClick() { m_chtshow->FillClick(); }
void TFCOMM::btFillClick() { m_chtshow->btFillClick(); }

}  // namespace veska
