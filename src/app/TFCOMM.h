#pragma once

#include "session/ModelProfile.h"
#include "records/UserDialogs.h"
#include "serial/PortMap.h"
#include "session/MeterSession.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>

#include <array>
#include <memory>
#include <optional>

class QCheckBox;
class QSettings;
class QListView;
class QLabel;
class QListWidget;
class QPushButton;
class QToolButton;

namespace veska {

class AlarmSound;
class AnalogGauge;
class DataFileCommands;
class HidPlatform;
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
class UsbConnection;

// The main window FCOMM. It attaches to a meter session, which holds the live state and the
// per-packet path; the window renders what the session reports and each handler below hands
// its command to the session or the component that carries it out, so this class reads as
// the map of every command.
class TFCOMM : public QMainWindow {
    Q_OBJECT
public:
    struct Options {
        ModelSwitches switches = ModelSwitches::ThisBuild();
        PortMap portMap;
        UserDialogs* dialogs = nullptr;  // null: real message boxes
        std::shared_ptr<HidPlatform> hidPlatform;  // null: the system's HID devices
        // COMn set on the command line: the remembered mapping does not override it.
        std::array<bool, kComPortCount> portsFromCommandLine{};
        QSettings* settings = nullptr;  // null: the user's own settings
    };

    explicit TFCOMM(const Options& options, QWidget* parent = nullptr);
    ~TFCOMM() override;

    // --- components, for start-up code and tests ---
    LcdPanel& Panel1() const { return *m_panel1; }
    ReadingBar& PBar2() const { return *m_pBar2; }
    LimitPanel& Panel3() const { return *m_panel3; }
    AnalogGauge& KD() const { return *m_kd; }
    HistoryChart& Chtshow() const { return *m_chtshow; }
    RecordGrid& DBGrid1() const { return *m_dbGrid1; }
    MeterSession& session() const { return *m_session; }
    RecordTable& TSorvuDB() const { return m_session->recordTable(); }
    Recorder& recorder() const { return m_session->recorder(); }
    TCommPortDriver& COMM2() { return m_session->serialDriver(); }
    LinkWatchdog& watchdog() { return m_session->watchdog(); }
    SerialConnection& serialConnection() { return m_session->serial(); }
    ExclusiveToggleGroup& toggleGroup() { return m_session->linkButtons(); }
    UsbConnection& usb() const { return *m_session->usb(); }
    QSettings& settings() const { return *m_settings; }
    // "Ports...": the dialog that maps COM1 to COM4 onto the machine's serial devices.
    void PortsClick();
    PortsDialog* portsDialog() const { return m_portsDialog; }
    // Takes the dialog's mapping (its OK button).
    void applyPortsDialog();
    // Replaces the alarm's beep (tests count beeps with it).
    void setBeep(std::function<void()> beep) { m_beep = std::move(beep); }
    DataFileCommands& dataFiles() const { return *m_dataFiles; }
    MainMenu& menu() const { return *m_menu; }
    QWidget* client() const { return m_client; }
    QWidget* control(const QString& name) const;
    const ResolvedProfile& profile() const { return m_profile; }

    // The window's outer size as the layout rules see it (client area plus frame, caption
    // and menu bar of the classic window).
    int outerWidth() const;
    int outerHeight() const;

public slots:
    // Start-up and exit.
    void FormCreate();
    void FormResize();
    void TbFdClick();
    void BitBtn1Click();
    void BtExit1Click();

    // Serial link.
    void COM11Click();
    void COM21Click();
    void COM31Click();
    void COM41Click();
    void BTCon1Click();
    void BtDiscon1Click();
    void COMConClick();
    void ConTimerTimer();

    // USB link.
    void USBConClick();
    void ReadBtnClick();
    void SetFeatureClick();
    void ClearBtnClick();
    void InfoBtnClick();

    // Recording.
    void RecordNewClick();
    void setRecordLimit(int limit);

    // Data files.
    void SpeedButton2Click();
    void saveasClick();
    void BtPrintClick();

    // History chart.
    void BtFirstClick();
    void BTPreviousClick();
    void BtNextClick();
    void BTlastClick();
    void BtNewClick();
    void BtSaveClick();
    void FillClick();
    void btFillClick();

public:
    // One accepted packet (both links): handed to the session, which reports back.
    void LcdDisplayVeska(std::string_view packetText);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createComponents();
    void buildToolbarRow();
    void buildRecordingRow();
    void buildHiddenControls();
    void buildMenu();
    void bindSerial();
    void createUsb();
    void applySerialState(const SerialControlState& state);
    void applyProfile();
    void openRecordTable();
    void offerJournalRestore();
    void writeScaleTexts(const ScaleSet& scale);
    void showReading(const ReadingUpdate& update);
    void noteDecodeFailure(const QString& error, quint64 failures);
    void pushLimitsToGauge();
    // True when the program may end: no unsaved rows, or the user saved or discarded them.
    bool mayDiscardUnsavedRows();
    bool saveUnsavedRows();
    void endProgram();

    Options m_options;
    std::unique_ptr<QSettings> m_ownSettings;
    QSettings* m_settings = nullptr;
    PortsDialog* m_portsDialog = nullptr;
    QAction* m_portsAction = nullptr;
    std::unique_ptr<UserDialogs> m_ownDialogs;
    UserDialogs* m_dialogs = nullptr;
    ResolvedProfile m_profile;

    // Non-visual components.
    MeterSession* m_session = nullptr;
    QTimer m_conTimer;  // ConTimer: the link watchdog's 100 ms tick, from start to exit
    DataFileCommands* m_dataFiles = nullptr;
    std::unique_ptr<AlarmSound> m_alarmSound;
    std::function<void()> m_beep;

    // Visible regions.
    QWidget* m_client = nullptr;
    MainMenu* m_menu = nullptr;
    RecordLimitMenu* m_limitMenu = nullptr;
    std::array<PanelButton*, 4> m_btCom{};
    QPushButton* m_comCon = nullptr;
    QPushButton* m_usbCon = nullptr;
    QPushButton* m_bitBtn1 = nullptr;
    LcdPanel* m_panel1 = nullptr;
    ReadingBar* m_pBar2 = nullptr;
    LimitPanel* m_panel3 = nullptr;
    RecordingRow* m_recordingRow = nullptr;
    QToolButton* m_recordNew = nullptr;
    QToolButton* m_openDataFiles = nullptr;
    QToolButton* m_saveas = nullptr;
    QToolButton* m_btPrint = nullptr;
    RecordGrid* m_dbGrid1 = nullptr;
    QLabel* m_kd2 = nullptr;
    AnalogGauge* m_kd = nullptr;
    HistoryChart* m_chtshow = nullptr;

    // Controls the user never sees.
    PanelButton* m_btCon = nullptr;
    PanelButton* m_btDiscon = nullptr;
    PanelButton* m_btExit = nullptr;
    QPushButton* m_readBtn = nullptr;
    QListView* m_devListBox = nullptr;
    QListView* m_historyListBox = nullptr;
    int m_comConId = -1;
    int m_usbConId = -1;
    int m_readBtnId = -1;

    // Chart geometry before it was enlarged.
    int m_savedChartWidth = 0;
    int m_savedChartHeight = 0;
    int m_savedChartLeft = 0;
    int m_savedChartTop = 0;

    bool m_inFormResize = false;
    bool m_ending = false;
};

}  // namespace veska
