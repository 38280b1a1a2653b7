#pragma once

#include "links/HidDeviceInfo.h"
#include "links/HidEvents.h"
#include "links/HidPlatform.h"
#include "links/HidDevice.h"
#include "links/HidDeviceMonitor.h"
#include "links/UsbReportRoute.h"
#include "protocol/HidReportReassembly.h"
#include "links/MeterLink.h"

class QSettings;

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QStringListModel>

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace veska {

// Why the USB link needs the user.
enum class UsbProblem {
    NoCable,             // no cable selected, or it is not there
    CableNotConfigured,  // the cable refused its configuration report
    MeterSilent          // only empty reports arrive: the meter is off or not sending
};

// The main window's USB link: the device list with the meter's cable picked
// out, the log, the USB Connect, Read and SetFeature commands with the
// bridge configuration report, and the USB part of the link watchdog. The window owns
// the buttons and shows the lists and messages; this object holds the state behind them.
// Runs on the UI thread.
class UsbConnection : public QObject, public MeterLink {
    Q_OBJECT
public:
    static constexpr int kHistoryLimit = 10000;
    static constexpr int kSilentReportLimit = 1900;

    // Builds the device list at once, claiming the monitor's devices. The monitor is the
    // process's one and outlives this link; one link listens to it at a time.
    UsbConnection(HidDeviceMonitor& monitor, UsbReportRoute route, std::uint32_t bridgeSpeed,
                  QObject* parent = nullptr);
    ~UsbConnection() override;

    // Commands; 'down' is the button's state after the click.
    void readMeter(bool down);
    void readRawReports(bool down);
    void sendBridgeConfiguration();
    void clearHistory();
    // The selected device's description, or nothing without a selection.
    std::optional<HidDeviceInfo> selectedDeviceInfo();
    // USB branch of the watchdog, for the tick at which the link has been idle three
    // ticks. True when it ended the connection (meter reading off, message sent).
    bool checkSilentLink();
    // The link as the session sees it: a USB button down or a device being read. Stopping
    // stops every reader and raises both buttons, as ending the meter reading does (without writing
    // the configuration report again); a partial packet is dropped.
    bool isLinkActive() const override;
    QString linkDescription() const override { return QStringLiteral("USB link"); }
    void stopLink() override;
    // The user picked a row of the device list (-1: none). A cable picked by the user is
    // remembered by its USB port in the settings, when there are any.
    void selectDevice(int row);
    // Where the chosen cable is remembered between runs; null: nowhere. Not owned. The
    // list is picked again with it at once.
    void setSettings(QSettings* settings);
    static constexpr const char* kCableSettingsKey = "usb/cablePort";

    // True while the cable being read is unplugged and its return is awaited.
    bool awaitingCable() const { return m_awaiting.has_value(); }

    // Receives each packet that onVeskaReport accepts, on the UI thread. If it throws, the
    // packet is dropped, a log line says why, and reading goes on.
    void setPacketHandler(std::function<void(std::string_view packetText)> handler);

    QStringListModel* deviceListModel() { return &m_deviceList; }
    QStringListModel* historyModel() { return &m_history; }
    int selectedRow() const { return m_selected; }
    HidDevice* selectedHidDevice() const { return m_selectedDevice; }
    HidDevice* deviceAt(int row) const;
    bool meterReadingOn() const { return m_meterReadingOn; }
    bool rawReadingOn() const { return m_rawReadingOn; }
    int emptyReportCount() const { return m_reassembly.emptyReportCount(); }
    const HidReportReassembly& reassembly() const { return m_reassembly; }
    HidDeviceMonitor& deviceMonitor() { return *m_controller; }

    // Product string, or "Device VID=xxxx PID=xxxx"; then " (Serial=...)" if any. A known
    // bridge chip without a product name is "USB to Serial (no name reported)".
    static QString deviceCaption(HidDevice& device);
    // "READ ERROR: <system text> (<code in hex>)".
    static QString readErrorLine(std::uint32_t error);

signals:
    void historyLineAdded(int row);         // select this row of historyModel()
    void deviceSelectionChanged(int row);   // -1: nothing selected
    void meterReadingChanged(bool down);          // set the button without running its command
    void rawReadingChanged(bool down);         // likewise
    void message(const QString& text, veska::UsbProblem problem);  // information box with an OK button
    // The cable being read was unplugged and is awaited / came back after 'gapMs': for
    // the status line.
    void cableLost(const QString& caption);
    void cableBack(const QString& caption, qint64 gapMs);

private:
    struct Item {
        QString caption;
        std::unique_ptr<HidDevice> device;  // none when it was already claimed
        bool cable = false;       // product "USB to Serial", or a known bridge chip without a name
        bool autoSelect = false;  // a cable without serial number: picked without the user
        QString portPath;
        std::string identity;
    };
    // The cable that was being read when it went away.
    struct AwaitedCable {
        QString caption;
        QString portPath;
        QString identity;
        QSet<QString> othersPresent;  // cables listed at that moment, which are not it
        QElapsedTimer since;
    };

    bool onDeviceEnumerated(HidDevice& device, int index);
    void onDevicesChanged();
    void onDeviceArrived(HidDevice& device);
    void onDeviceRemoved(HidDevice& device);
    void onDeviceReadError(HidDevice& device, std::uint32_t error);

    void applyReadingMode();
    void rebuildDeviceList(const QString& keepPort);
    void resumeAfterDeviceChange(const std::optional<AwaitedCable>& wasReading);
    int preferredCableRow(const QString& portPath) const;
    void captionCablesByPort();
    QSet<QString> cableIdentities() const;
    HidDevice* selectedItemDevice() const;
    HidDataEvent profileHandler() const;
    void setMeterReading(bool down);
    void setRawReading(bool down);
    void addHistory(const QString& line);
    void logAccessProblem(HidDevice& device);
    void deliverPacket(std::string_view packetText);

    UsbReportRoute m_route;
    std::uint32_t m_bridgeSpeed;
    HidReportReassembly m_reassembly;
    std::function<void(std::string_view)> m_packetHandler;
    HidDataEvent m_lumioHandler;
    HidDataEvent m_kestoHandler;
    HidDataEvent m_veskaHandler;
    HidDeviceMonitor* m_controller;
    std::vector<Item> m_items;
    int m_selected = -1;
    HidDevice* m_selectedDevice = nullptr;
    bool m_meterReadingOn = false;
    bool m_rawReadingOn = false;
    std::optional<AwaitedCable> m_awaiting;
    QSettings* m_settings = nullptr;
    QSet<QString> m_namelessLogged;
    bool m_configRefused = false;  // the user was told the cable could not be configured
    QStringListModel m_deviceList;
    QStringListModel m_history;
};

}  // namespace veska
