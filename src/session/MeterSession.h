#pragma once

#include "session/ModelProfile.h"
#include "protocol/LowDigitSerialFraming.h"
#include "protocol/PacketDecoder.h"
#include "protocol/VeskaSerialFraming.h"
#include "session/ExclusiveToggleGroup.h"
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
#include <memory>
#include <string_view>

namespace veska {

class HidPlatform;
class RecordTable;
class Recorder;
class UsbConnection;

// One meter session: the live state of the meter and the whole path of a packet, with no
// widget in sight. It owns the links (serial and USB, one running at a time), the framing
// and report handling the model profile picks, decoding, the scale in force, the alarm
// limits, the running extremes, the recorder with its record table and journal, the chart's
// points and the link watchdog. The window and the headless logger attach to its signals
// and hand it their commands; both get the same rows from the same stream.
class MeterSession : public QObject {
    Q_OBJECT
public:
    explicit MeterSession(const ModelSwitches& switches = ModelSwitches::thisBuild(), QObject* parent = nullptr);
    ~MeterSession() override;

    // --- start-up: the state a fresh session starts from, as the model profile sets it ---
    const ResolvedProfile& profile() const { return m_profile; }
    // Scale "4" seeds, the profile's scale, and its limit texts where the profile asks for
    // them (6000 and 3400 counts).
    void startUp();

    // --- links ---
    SerialConnection& serial() { return m_serial; }
    SerialPortDriver& serialDriver() { return m_serialDriver; }
    // The USB link is made on demand: it claims the machine's HID devices (or the given
    // simulated ones). Throws HID controller errors from its construction.
    UsbConnection& createUsbLink(std::shared_ptr<HidPlatform> platform);
    UsbConnection* usb() const { return m_usb.get(); }
    // The connect buttons of both links: at most one pressed.
    ExclusiveToggleGroup& linkButtons() { return m_linkButtons; }
    int comConnectButton() const { return m_comConnectId; }
    int usbConnectButton() const { return m_usbConnectId; }
    int usbReadButton() const { return m_usbReadId; }
    LinkWatchdog& watchdog() { return m_watchdog; }
    // One link at a time: before 'link' connects, every other link that is active stops
    // cleanly (its port closed or reader stopped, its controls as after its own disconnect).
    void stopOtherLinks(const MeterLink& link);
    // "START": connects the serial link, stopping the USB link first.
    void startSerialLink();

    // --- recording ---
    RecordTable& recordTable() const { return *m_table; }
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

private:
    void createLinks();
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
    ExclusiveToggleGroup m_linkButtons;
    int m_comConnectId = -1;
    int m_usbConnectId = -1;
    int m_usbReadId = -1;
    std::unique_ptr<UsbConnection> m_usb;
    VeskaSerialFraming m_framing;
    LowDigitSerialFraming m_lowDigitFraming;

    RecordTable* m_table;
    Recorder* m_recorder;

    DecodeResult m_decoded;
    ReadingUpdate m_update;
    std::uint64_t m_decodeFailures = 0;
    bool m_accepting = true;
    QString m_lastDecodeError;
};

}  // namespace veska
