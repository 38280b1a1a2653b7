#pragma once

#include "session/ModelProfile.h"
#include "ui/UserDialogs.h"
#include "session/MeterSession.h"
#include "ui/LinkControls.h"
#include "ui/MqttDialog.h"
#include "ui/PortsDialog.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <functional>

#include <array>
#include <memory>
#include <optional>

class QCheckBox;
class QSettings;

namespace veska {
class MqttPasswordKeeper;
}
class QListView;
class QLabel;
class QListWidget;
class QPushButton;
class QToolButton;

namespace veska {

class AlarmSound;
class AnalogGauge;
class DataFileCommands;
class HidDeviceMonitor;
class HistoryChart;
class LcdPanel;
class LimitPanel;
class MainMenu;
class PortsDialog;
class PanelButton;
class ReadingBar;
class RecordGrid;
class RecordLimitMenu;
class RecordTable;
class Recorder;
class RecordingRow;
class RunPolicy;
class SessionPublisher;
class StatusLine;

// The main window. It attaches to a meter session, which holds the live state and the
// per-packet path; the window renders what the session reports and each handler below hands
// its command to the session or the component that carries it out, so this class reads as
// the map of every command.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    struct Options {
        ModelSwitches switches = ModelSwitches::thisBuild();
        PortMap portMap;
        UserDialogs* dialogs = nullptr;  // null: real message boxes
        // The process's one HID device monitor (made by the program); null: no USB link.
        std::shared_ptr<HidDeviceMonitor> deviceMonitor;
        QString tablePath = SessionSetup().tablePath;  // the record table's file
        // COMn set on the command line: the remembered mapping does not override it.
        std::array<bool, kComPortCount> portsFromCommandLine{};
        QSettings* settings = nullptr;  // null: the user's own settings
    };

    explicit MainWindow(const Options& options, QWidget* parent = nullptr);
    ~MainWindow() override;

    // --- components, for start-up code and tests ---
    LcdPanel& lcdPanel() const { return *m_lcdPanel; }
    ReadingBar& readingBar() const { return *m_readingBar; }
    LimitPanel& limitPanel() const { return *m_limitPanel; }
    AnalogGauge& gauge() const { return *m_gauge; }
    HistoryChart& historyChart() const { return *m_historyChart; }
    RecordGrid& recordGrid() const { return *m_recordGrid; }
    MeterSession& session() const { return *m_session; }
    RecordTable& recordTable() const { return m_session->recordTable(); }
    Recorder& recorder() const { return m_session->recorder(); }
    SerialPortDriver& serialDriver() { return m_session->serialDriver(); }
    LinkWatchdog& watchdog() { return m_session->watchdog(); }
    // The connect buttons and serial controls as the session's link state shows them.
    LinkControls& linkControls() const { return *m_linkControls; }
    QSettings& settings() const { return *m_settings; }
    // "Ports...": the dialog that maps COM1 to COM4 onto the machine's serial devices.
    void showPortsDialog();
    PortsDialog* portsDialog() const { return m_portsDialog; }
    MqttDialog* mqttDialog() const { return m_mqttDialog; }
    SessionPublisher* mqttPublisher() const { return m_mqtt; }
    // Takes the dialog's mapping (its OK button).
    void applyPortsDialog();
    // Replaces the alarm's beep (tests count beeps with it).
    void setBeep(std::function<void()> beep) { m_beep = std::move(beep); }
    DataFileCommands& dataFiles() const { return *m_dataFiles; }
    MainMenu& menu() const { return *m_menu; }
    QWidget* client() const { return m_client; }
    // The line below the layout: link, activity, rows, the last quiet error, the last file.
    StatusLine& statusLine() const { return *m_statusLine; }
    // The keyboard commands that have no menu item of their own (Open, Print, exit with its
    // questions, connect/disconnect the serial link, the menu bar), by object name.
    QAction* shortcutAction(const QString& name) const;
    QWidget* control(const QString& name) const;
    const ResolvedProfile& profile() const { return m_profile; }

    // The window's outer size as the layout rules see it (client area plus frame, caption
    // and menu bar of the classic window).
    int outerWidth() const;
    int outerHeight() const;

public slots:
    // Start-up and exit.
    void startUp();
    void applyLayout();
    void toggleChartEnlarged();
    void confirmExit();
    void exitProgram();

    // Serial link.
    void selectCom1();
    void selectCom2();
    void selectCom3();
    void selectCom4();
    void connectSerial();
    void disconnectSerial();
    // F5: the COM Connect button's command (connect, or disconnect when connected).
    void toggleSerialConnection();
    void comConnectClicked();
    void onWatchdogTick();

    // USB link.
    void usbConnectClicked();
    void usbReadClicked();
    void sendBridgeConfiguration();
    void clearHistory();
    void selectedDeviceInfo();

    // Recording.
    void newRecord();
    void setRecordLimit(int limit);

    // Data files.
    void openRecordFile();
    void saveRecordFileAs();
    void printRecords();

    // History chart.
    void showFirstPage();
    void showPreviousPage();
    void showNextPage();
    void showLastPage();
    void restartChart();
    void saveChartPicture();
    void toggleFill();
    void onFillBoxClicked();

    // "Publish (MQTT)...": the broker settings; OK (re)starts or stops publishing.
    void showMqttDialog();

signals:
    // The broker state for the status line ("MQTT: off" while not publishing).
    void brokerStateChanged(const QString& text);

public:
    // One accepted packet (both links): handed to the session, which reports back.
    void handlePacket(std::string_view packetText);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createComponents();
    void buildToolbarRow();
    void buildRecordingRow();
    void buildHiddenControls();
    void buildMenu();
    void buildShortcuts();
    void applyTabOrder();
    void wireStatusLine();
    void refreshLinkStatus();
    void refreshRowStatus();
    void bindLinks();
    void createUsb();
    void showLinkFailure(const LinkError& error);
    void applySerialState(const SerialControlState& state);
    void applyProfile();
    void openRecordTable();
    void offerJournalRestore();
    // Another copy held the record table at start: tried again until it comes free.
    void retryRecordTable();
    void writeScaleTexts(const ScaleSet& scale);
    void showReading(const ReadingUpdate& update);
    void noteDecodeFailure(const QString& error, quint64 failures);
    void pushLimitsToGauge();
    // True when the program may end: no unsaved rows, or the user saved or discarded them.
    bool mayDiscardUnsavedRows();
    bool saveUnsavedRows();
    void endProgram();
    void applyMqttSettings(const MqttDialog::Settings& settings);
    void onPasswordFetched(const QString& password);

    Options m_options;
    std::unique_ptr<QSettings> m_ownSettings;
    QSettings* m_settings = nullptr;
    // Guarded: the dialogs delete themselves on close, and may go with the window.
    QPointer<PortsDialog> m_portsDialog;
    QAction* m_portsAction = nullptr;
    QPointer<MqttDialog> m_mqttDialog;
    MqttDialog::Settings m_mqttSettings;      // as last applied (the password kept while running)
    SessionPublisher* m_mqtt = nullptr;  // while publishing (held by m_run)
    MqttPasswordKeeper* m_passwordKeeper = nullptr;  // the remembered password: keyring or file
    bool m_awaitingPassword = false;  // publishing waits for the keyring's answer
    std::unique_ptr<UserDialogs> m_ownDialogs;
    UserDialogs* m_dialogs = nullptr;
    ResolvedProfile m_profile;

    // Non-visual components.
    MeterSession* m_session = nullptr;
    QTimer m_tableRetryTimer;  // runs while another copy holds the record table
    LinkControls* m_linkControls = nullptr;
    RunPolicy* m_run = nullptr;  // table, journals, cable notices, publishing, the end
    QTimer m_watchdogTimer;  // the link watchdog's 100 ms tick, from start to exit
    DataFileCommands* m_dataFiles = nullptr;
    std::unique_ptr<AlarmSound> m_alarmSound;
    std::function<void()> m_beep;

    // Visible regions.
    QWidget* m_client = nullptr;
    StatusLine* m_statusLine = nullptr;
    MainMenu* m_menu = nullptr;
    RecordLimitMenu* m_limitMenu = nullptr;
    std::array<PanelButton*, 4> m_comPanels{};
    QPushButton* m_comConnectButton = nullptr;
    QPushButton* m_usbConnectButton = nullptr;
    QPushButton* m_exitButton = nullptr;
    LcdPanel* m_lcdPanel = nullptr;
    ReadingBar* m_readingBar = nullptr;
    LimitPanel* m_limitPanel = nullptr;
    RecordingRow* m_recordingRow = nullptr;
    QToolButton* m_newRecordButton = nullptr;
    QToolButton* m_openFileButton = nullptr;
    QToolButton* m_saveAsButton = nullptr;
    QToolButton* m_printButton = nullptr;
    RecordGrid* m_recordGrid = nullptr;
    QLabel* m_gaugeShadow = nullptr;
    AnalogGauge* m_gauge = nullptr;
    HistoryChart* m_historyChart = nullptr;

    // Controls the user never sees.
    PanelButton* m_connectPanel = nullptr;
    PanelButton* m_disconnectPanel = nullptr;
    PanelButton* m_exitPanel = nullptr;
    QPushButton* m_readButton = nullptr;
    QListView* m_deviceList = nullptr;
    QListView* m_historyList = nullptr;

    // Chart geometry before it was enlarged.
    int m_savedChartWidth = 0;
    int m_savedChartHeight = 0;
    int m_savedChartLeft = 0;
    int m_savedChartTop = 0;

    bool m_inApplyLayout = false;
    bool m_journalOffered = false;  // the question about a crashed run's rows waits for show()
    quint64 m_linkErrors = 0;
    bool m_ending = false;
};

}  // namespace veska
