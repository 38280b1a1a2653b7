#pragma once

#include "session/ModelProfile.h"
#include "protocol/LowDigitSerialFraming.h"
#include "protocol/PacketDecoder.h"
#include "protocol/VeskaSerialFraming.h"
#include "session/LinkStatus.h"
#include "session/SerialDeviceDescription.h"
#include "session/LinkWatchdog.h"
#include "session/SerialConnection.h"
#include "links/SerialPortDriver.h"
#include "session/AlarmLimits.h"
#include "session/ChartHistory.h"
#include "session/ReadingUpdate.h"
#include "session/RecordedReading.h"
#include "session/RunningExtremes.h"

#include <QObject>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

class QSettings;
class QStringListModel;

namespace veska {

class HidDeviceMonitor;
class RecordTable;
class Recorder;
class UsbConnection;

// What a session is handed from outside: what there is one of per process (the HID device
// monitor), where its record table lives, and its clock.
struct SessionSetup {
    ModelSwitches switches = ModelSwitches::thisBuild();
    // The process's one device monitor, shared by every session that reads USB; null: this
    // session has no USB link.
    std::shared_ptr<HidDeviceMonitor> deviceMonitor;
    // The record table's file; a bare name resolves in the working directory.
    QString tablePath = QStringLiteral("Kestodb");
    // Milliseconds since 1970 UTC for each recorded row; empty: the system clock.
    std::function<qint64()> clock;
};


// One meter session: the live state of the meter and the whole path of a packet, with no
// widget in sight. It speaks of meters and links: connect this port or this cable,
// disconnect, the link's state. It owns the links (serial and USB, one running at a time), the framing
// and report handling the model profile picks, decoding, the scale in force, the alarm
// limits, the running extremes, the recorder with its record table and journal, the chart's
// points and the link watchdog. The window and the headless logger attach to its signals
// and hand it their commands; both get the same rows from the same stream.
class MeterSession : public QObject {
    Q_OBJECT
public:
    explicit MeterSession(SessionSetup setup = {}, QObject* parent = nullptr);
    ~MeterSession() override;

    // --- start-up: the state a fresh session starts from, as the model profile sets it ---
    const ResolvedProfile& profile() const { return m_profile; }
    // Scale "4" seeds, the profile's scale, and its limit texts where the profile asks for
    // them (6000 and 3400 counts).
    void startUp();

    // --- links: one at a time; connecting one stops the other first ---
    // Connects the serial port (chosen first when no port is open). A failure comes as
    // linkFailed; the state then says Disconnected.
    void connectSerial(ComPortNumber port);
    void disconnectSerial();
    // Chooses the port that the next connect opens; ignored while a port is open.
    void selectSerialPort(ComPortNumber port);
    ComPortNumber serialPort() const;
    QString serialPortPath() const;
    // The devices COM1..COM4 stand for.
    void setPortMap(const PortMap& map);
    const PortMap& portMap() const;
    // The machine's serial devices now.
    static std::vector<SerialDeviceDescription> serialDevices();

    // Connects the USB cable at `cableRow` of usbCableList() (-1: the one selected) and
    // reads it as `kind` says (Usb or UsbRawReports). Without a device monitor nothing happens.
    void connectUsb(int cableRow = -1, LinkKind kind = LinkKind::Usb);
    // Ends the USB reading of `kind` as its own command does (the configuration report is
    // written again when the meter reading ends).
    void disconnectUsb(LinkKind kind = LinkKind::Usb);
    bool hasUsb() const { return m_deviceMonitor != nullptr; }
    // The cables and other HID devices, and the USB log, as lists for a view; null without USB.
    QStringListModel* usbCableList();
    QStringListModel* usbLog();
    void selectUsbCable(int row);
    int selectedUsbCable();
    void sendBridgeConfiguration();
    void clearUsbLog();
    // The selected cable's description (several lines of "Name: value").
    std::optional<QString> usbCableInfo();
    // "vvvv:pppp" of the cable being read, empty when none is.
    QString usbCableIds() const;
    // Where the chosen cable is remembered between runs (not owned; null: nowhere).
    void setUsbSettings(QSettings* settings);

    // Stops whichever link is open.
    void disconnectLink();
    LinkStatus linkStatus() const { return m_status; }

    // The links themselves, for the programs' wiring and tests.
    SerialConnection& serial() { return m_serial; }
    SerialPortDriver& serialDriver() { return m_serialDriver; }
    // The USB link, made when first needed (it claims the monitor's devices then); null
    // without a device monitor.
    UsbConnection* usbLink();
    LinkWatchdog& watchdog() { return m_watchdog; }

    // --- recording ---
    RecordTable& recordTable() const { return *m_table; }
    // The table file this session records into (see SessionSetup::tablePath).
    const QString& tablePath() const { return m_tablePath; }
    Recorder& recorder() const { return *m_recorder; }

    // --- the packet path ---
    // One accepted packet of either link.
    void handlePacket(std::string_view packetText);
    // While off, packets are dropped before anything sees them (a run that is ending).
    void setAcceptingPackets(bool accepting) { m_accepting = accepting; }
    // Bytes from the serial port, framed as the model profile says.
    void handleSerialBytes(const std::uint8_t* data, std::size_t size);

    // --- live state ---
    const ScaleSet& scale() const { return *m_scale; }
    void setScale(const ScaleSet& scale) { m_scale = &scale; }
    const AlarmLimits& limits() const { return m_limits; }
    void setUpperLimit(float limit, bool on);
    void setLowerLimit(float limit, bool on);
    // The limits' seeds of a scale set, and the extremes', without a reading.
    void seedFromScale(const ScaleSet& scale);
    const RunningExtremes& extremes() const { return m_extremes; }
    // Whether readings go into the chart's history (on by default). Without a chart to show
    // it (headless) the history would only grow, by 8 bytes a reading.
    void setChartHistoryKept(bool kept) { m_chartKept = kept; }
    ChartHistory& chart() { return m_chart; }
    const ChartHistory& chart() const { return m_chart; }
    const LcdState& lcd() const { return m_update.lcd; }
    const MeterReading& reading() const { return m_update.reading; }
    const ReadingUpdate& lastUpdate() const { return m_update; }
    std::uint64_t decodeFailures() const { return m_decodeFailures; }
    const QString& lastDecodeError() const { return m_lastDecodeError; }

signals:
    // A packet decoded and went through every step; `update` says what changed.
    void readingHandled(const veska::ReadingUpdate& update);
    // A packet that did not decode: counted, its message kept; nothing else changed.
    void decodeFailed(const QString& error, quint64 failures);
    // The limits or their switches changed (the gauge's red dots follow them).
    void limitsChanged();
    // A row reached the record table: its display texts in field order, as handed to the
    // table (no reading back).
    void rowRecorded(const QStringList& texts);
    // The same row, typed: its record number, moment and reading. Emitted right after
    // rowRecorded and, for a recorded packet, before its readingHandled.
    void readingRecorded(const veska::RecordedReading& recorded);
    // The link changed kind or state.
    void linkStatusChanged(const veska::LinkStatus& status);
    // A link failed or needs the user; the link state says what is left.
    void linkFailed(const veska::LinkError& error);
    // The cable being read was unplugged and is awaited / came back after `gapMs`.
    void cableLost(const QString& caption);
    void cableBack(const QString& caption, qint64 gapMs);
    // The row of usbCableList() selected now (-1: none), and the row of usbLog() just added.
    void usbCableSelected(int row);
    void usbLogLineAdded(int row);

private:
    void stopOtherLinks(const MeterLink& link);
    void wireUsb(UsbConnection& usb);
    void refreshLinkStatus();
    LinkStatus currentLinkStatus() const;
    void announceRow();

    ModelSwitches m_switches;
    ResolvedProfile m_profile;
    const ScaleSet* m_scale;
    AlarmLimits m_limits;
    RunningExtremes m_extremes;
    ChartHistory m_chart;
    bool m_chartKept = true;

    LinkWatchdog m_watchdog;
    SerialPortDriver m_serialDriver;
    SerialConnection m_serial;
    std::shared_ptr<HidDeviceMonitor> m_deviceMonitor;
    std::unique_ptr<UsbConnection> m_usb;
    QSettings* m_usbSettings = nullptr;
    LinkStatus m_status;
    LinkKind m_lastOpenKind = LinkKind::None;
    bool m_linkLost = false;  // the last link ended by itself: Lost until the next command
    VeskaSerialFraming m_framing;
    LowDigitSerialFraming m_lowDigitFraming;

    QString m_tablePath;
    RecordTable* m_table;
    Recorder* m_recorder;

    DecodeResult m_decoded;
    ReadingUpdate m_update;
    std::uint64_t m_decodeFailures = 0;
    bool m_accepting = true;
    QString m_lastDecodeError;
};

}  // namespace veska
