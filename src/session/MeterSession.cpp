#include "session/MeterSession.h"

#include "session/BarPosition.h"
#include "session/NeedlePosition.h"
#include "links/HidDeviceInfo.h"
#include "links/HidDeviceMonitor.h"
#include "links/UsbConnection.h"
#include "links/UsbReportRoute.h"
#include "storage/RecordTable.h"
#include "session/Recorder.h"

#include <QSerialPortInfo>

#include <algorithm>

namespace veska {

MeterSession::MeterSession(SessionSetup setup, QObject* parent)
    : QObject(parent),
      m_switches(setup.switches),
      m_profile(resolveStartupProfile(setup.switches)),
      m_scale(&scaleSet(ScaleCode::Count4000)),
      m_serial(m_serialDriver, m_watchdog),
      m_deviceMonitor(std::move(setup.deviceMonitor)),
      m_framing([this](std::string_view packet) { handlePacket(packet); }),
      m_tablePath(setup.tablePath),
      m_table(new RecordTable(this)),
      m_recorder(new Recorder(*m_table, this)) {
    if (setup.clock) m_recorder->setMomentClock(std::move(setup.clock));
    m_serialDriver.setComPortPollingDelay(100);
    m_serialDriver.setComPortSpeed(m_profile.serialSpeed == SerialSpeed::Baud19200 ? ComPortBaudRate::Baud19200
                                                                                  : ComPortBaudRate::Baud2400);
    switch (m_profile.serialHandler) {
    case SerialPacketHandler::VeskaFraming:
    case SerialPacketHandler::LowDigitFraming:
        m_serialDriver.setOnReceiveData([this](const std::uint8_t* d, std::size_t n) { handleSerialBytes(d, n); });
        break;
    case SerialPacketHandler::None:
        break;
    }
    seedFromScale(*m_scale);
    connect(m_table, &RecordTable::rowPosted, this, &MeterSession::announceRow);
    // The rows of a read are durable before anyone prints, publishes or draws them.
    connect(&m_serialDriver, &SerialPortDriver::readBatchDone, m_table, &RecordTable::commitRows);
    connect(&m_serial, &SerialConnection::changed, this, &MeterSession::refreshLinkStatus);
    connect(&m_serial, &SerialConnection::failed, this, [this](const LinkError& error) {
        if (error.kind == LinkError::Kind::PortLost) m_linkLost = true;
        refreshLinkStatus();
        emit linkFailed(error);
    });
    connect(&m_watchdog, &LinkWatchdog::linkIndicatorChanged, this, &MeterSession::refreshLinkStatus);
}

MeterSession::~MeterSession() {
    m_serialDriver.disconnectPort();
    m_usb.reset();
}

void MeterSession::stopOtherLinks(const MeterLink& link) {
    MeterLink* links[] = {&m_serial, m_usb.get()};
    for (MeterLink* other : links) {
        if (other == nullptr || other == &link || !other->isLinkActive()) continue;
        other->stopLink();
        // Bytes of the stopped link must not run into the next link's packets.
        if (other == &m_serial) m_framing.reset();
    }
}

// --- serial ---

void MeterSession::connectSerial(ComPortNumber port) {
    m_linkLost = false;
    stopOtherLinks(m_serial);
    m_serial.selectPort(port);
    m_serial.connectSerial();
    refreshLinkStatus();
}

void MeterSession::disconnectSerial() {
    m_linkLost = false;
    m_serial.disconnectSerial();
    refreshLinkStatus();
}

void MeterSession::selectSerialPort(ComPortNumber port) { m_serial.selectPort(port); }
ComPortNumber MeterSession::serialPort() const { return m_serialDriver.comPort(); }
QString MeterSession::serialPortPath() const { return m_serialDriver.portPath(); }
void MeterSession::setPortMap(const PortMap& map) { m_serial.setPortMap(map); }
const PortMap& MeterSession::portMap() const { return m_serialDriver.portMap(); }

std::vector<SerialDeviceDescription> MeterSession::serialDevices() {
    std::vector<SerialDeviceDescription> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialDeviceDescription d;
        d.path = info.systemLocation();
        d.description = info.description();
        d.manufacturer = info.manufacturer();
        if (info.hasVendorIdentifier()) d.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier()) d.productId = info.productIdentifier();
        d.serialNumber = info.serialNumber();
        devices.push_back(d);
    }
    return devices;
}

// --- USB ---

UsbConnection* MeterSession::usbLink() {
    if (m_usb || !m_deviceMonitor) return m_usb.get();
    m_usb = std::make_unique<UsbConnection>(*m_deviceMonitor, resolveUsbReportRoute(m_switches),
                                            static_cast<std::uint32_t>(resolveBridgeSpeed(m_switches)));
    wireUsb(*m_usb);
    if (m_usbSettings) m_usb->setSettings(m_usbSettings);
    return m_usb.get();
}

void MeterSession::wireUsb(UsbConnection& usb) {
    usb.setPacketHandler([this](std::string_view packet) {
        handlePacket(packet);
        m_table->commitRows();  // a packet is the USB link's read
    });
    connect(&usb, &UsbConnection::deviceSelectionChanged, this, &MeterSession::usbCableSelected);
    connect(&usb, &UsbConnection::historyLineAdded, this, &MeterSession::usbLogLineAdded);
    connect(&usb, &UsbConnection::meterReadingChanged, this, &MeterSession::refreshLinkStatus);
    connect(&usb, &UsbConnection::rawReadingChanged, this, &MeterSession::refreshLinkStatus);
    connect(&usb, &UsbConnection::message, this, [this](const QString& text, UsbProblem problem) {
        LinkError error{LinkError::Kind::NoCable, LinkKind::Usb, text};
        if (problem == UsbProblem::CableNotConfigured) error.kind = LinkError::Kind::CableNotConfigured;
        if (problem == UsbProblem::MeterSilent) error.kind = LinkError::Kind::MeterSilent;
        // A link that was open and ended by itself is lost; a refused command is not.
        if (m_status.isOpen() && !m_usb->isLinkActive()) m_linkLost = true;
        refreshLinkStatus();
        emit linkFailed(error);
    });
    connect(&usb, &UsbConnection::cableLost, this, [this](const QString& caption) {
        refreshLinkStatus();
        emit cableLost(caption);
    });
    connect(&usb, &UsbConnection::cableBack, this, [this](const QString& caption, qint64 gapMs) {
        refreshLinkStatus();
        emit cableBack(caption, gapMs);
    });
    // The USB check of the watchdog runs on each third silent tick, before the indicator turns.
    m_watchdog.setSilentLinkHook([this] { m_usb->checkSilentLink(); });
}

void MeterSession::connectUsb(int cableRow, LinkKind kind) {
    UsbConnection* usb = usbLink();
    if (usb == nullptr) return;
    m_linkLost = false;
    stopOtherLinks(*usb);
    if (cableRow >= 0) usb->selectDevice(cableRow);
    if (kind == LinkKind::UsbRawReports) {
        usb->readRawReports(true);
    } else {
        usb->readMeter(true);
    }
    refreshLinkStatus();
}

void MeterSession::disconnectUsb(LinkKind kind) {
    UsbConnection* usb = usbLink();
    if (usb == nullptr) return;
    m_linkLost = false;
    if (kind == LinkKind::UsbRawReports) {
        usb->readRawReports(false);
    } else {
        usb->readMeter(false);
    }
    refreshLinkStatus();
}

QStringListModel* MeterSession::usbCableList() {
    UsbConnection* usb = usbLink();
    return usb ? usb->deviceListModel() : nullptr;
}

QStringListModel* MeterSession::usbLog() {
    UsbConnection* usb = usbLink();
    return usb ? usb->historyModel() : nullptr;
}

void MeterSession::selectUsbCable(int row) {
    if (UsbConnection* usb = usbLink()) usb->selectDevice(row);
}

int MeterSession::selectedUsbCable() {
    UsbConnection* usb = usbLink();
    return usb ? usb->selectedRow() : -1;
}

void MeterSession::sendBridgeConfiguration() {
    if (UsbConnection* usb = usbLink()) usb->sendBridgeConfiguration();
}

void MeterSession::clearUsbLog() {
    if (UsbConnection* usb = usbLink()) usb->clearHistory();
}

std::optional<QString> MeterSession::usbCableInfo() {
    UsbConnection* usb = usbLink();
    if (usb == nullptr) return std::nullopt;
    const std::optional<HidDeviceInfo> info = usb->selectedDeviceInfo();
    if (!info) return std::nullopt;
    return info->toText();
}

QString MeterSession::usbCableIds() const {
    if (!m_usb || !m_usb->isLinkActive()) return {};
    const HidDevice* device = m_usb->selectedHidDevice();
    if (device == nullptr) return {};
    const HidAttributes& a = device->attributes();
    return QStringLiteral("%1:%2").arg(a.vendorId, 4, 16, QLatin1Char('0')).arg(a.productId, 4, 16, QLatin1Char('0'));
}

void MeterSession::setUsbSettings(QSettings* settings) {
    m_usbSettings = settings;
    if (m_usb) m_usb->setSettings(settings);
}

void MeterSession::disconnectLink() {
    m_linkLost = false;
    if (m_serial.isLinkActive()) m_serial.disconnectSerial();
    if (m_usb && m_usb->isLinkActive()) {
        if (m_usb->meterReadingOn()) m_usb->readMeter(false);
        if (m_usb->isLinkActive()) m_usb->stopLink();
    }
    refreshLinkStatus();
}

// --- the link's state ---

LinkStatus MeterSession::currentLinkStatus() const {
    LinkStatus status;
    if (m_serial.isLinkActive()) {
        status.kind = LinkKind::Serial;
    } else if (m_usb && m_usb->isLinkActive()) {
        status.kind = m_usb->rawReadingOn() ? LinkKind::UsbRawReports : LinkKind::Usb;
    }
    if (status.kind == LinkKind::None) {
        status.kind = m_linkLost ? m_lastOpenKind : LinkKind::None;
        status.state = m_linkLost ? LinkState::Lost : LinkState::Disconnected;
        return status;
    }
    if (status.kind != LinkKind::Serial && m_usb->awaitingCable()) {
        status.state = LinkState::AwaitingCable;
    } else if (m_watchdog.linkAlive()) {
        status.state = LinkState::Receiving;
    } else {
        // Open and quiet: no packet yet since this link opened, or none any more.
        const bool hadPackets = m_status.kind == status.kind &&
                                (m_status.state == LinkState::Receiving || m_status.state == LinkState::Silent);
        status.state = hadPackets ? LinkState::Silent : LinkState::Connecting;
    }
    return status;
}

void MeterSession::refreshLinkStatus() {
    const LinkStatus status = currentLinkStatus();
    if (status.isOpen()) m_lastOpenKind = status.kind;
    if (status == m_status) return;
    m_status = status;
    emit linkStatusChanged(m_status);
}

void MeterSession::startUp() {
    const ScaleSet& four = scaleSet(ScaleCode::Count4000);
    m_scale = &four;
    seedFromScale(four);
    m_recorder->setNextRecordNo(1);
    m_recorder->setRecordLimit(Recorder::kDefaultLimit);
    m_chart.setFollowLastPage(true);
    m_chart.fillSampleValues();
    m_chart.showSeries(ChartHistory::AreaSeries);
    m_chart.showSeries(m_chart.fillShown() ? ChartHistory::AreaSeries : ChartHistory::LineSeries);
    m_scale = &scaleSet(m_profile.scaleCode);
    // The 6000- and 3400-count models start with limits at their full scale.
    if (m_profile.scaleCode == ScaleCode::Count6000 || m_profile.scaleCode == ScaleCode::Count3400) {
        m_scale = &scaleSet(m_profile.scaleCode);
        seedFromScale(*m_scale);
        m_limits.setUpper(static_cast<float>(m_scale->fullScaleCount));
        m_limits.setLower(-static_cast<float>(m_scale->fullScaleCount));
        emit limitsChanged();
    }
}

void MeterSession::seedFromScale(const ScaleSet& scale) {
    m_limits.seedFromScale(scale);
    m_extremes.seedFromScale(scale);
    emit limitsChanged();
}

void MeterSession::setUpperLimit(float limit, bool on) {
    m_limits.setUpper(limit);
    m_limits.setUpperOn(on);
    emit limitsChanged();
}

void MeterSession::setLowerLimit(float limit, bool on) {
    m_limits.setLower(limit);
    m_limits.setLowerOn(on);
    emit limitsChanged();
}

void MeterSession::handleSerialBytes(const std::uint8_t* data, std::size_t size) {
    if (m_profile.serialHandler == SerialPacketHandler::LowDigitFraming) {
        // The low-digit format is framed but not decoded by this build.
        m_lowDigitFraming.feed(data, size);
        return;
    }
    m_framing.feed(data, size);
}

void MeterSession::announceRow() {
    const TableEngine& engine = m_table->engine();
    const std::vector<TableEngine::Value>& values = engine.lastPosted();
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        texts.append(TableEngine::displayText(values[i], engine.fields()[i].kind));
    }
    emit rowRecorded(texts);
    emit readingRecorded(m_recorder->lastRecorded());
}

void MeterSession::handlePacket(std::string_view packetText) {
    if (!m_accepting) return;
    m_watchdog.packetHandled();  // the link is alive (the link state follows the indicator)

    // Decoding uses the count in force; only an overload's value depends on it.
    decodePacket(packetText, m_scale->fullScaleCount, m_decoded);
    if (!m_decoded.ok) {
        ++m_decodeFailures;
        m_lastDecodeError = QString::fromStdString(m_decoded.error);
        emit decodeFailed(m_lastDecodeError, m_decodeFailures);
        return;
    }
    const ScaleSet& scale = scaleSetForUnit(m_decoded.reading.unitText);
    // An overload counts with its own unit's scale: after V -> Hz the first one is 1001, not
    // the 6001 of the count left in force (the alarm and the stored value read it).
    if (m_decoded.lcd.overload && scale.fullScaleCount != m_scale->fullScaleCount) {
        decodePacket(packetText, scale.fullScaleCount, m_decoded);
    }
    ReadingUpdate& u = m_update;
    u.lcd = m_decoded.lcd;
    u.reading = m_decoded.reading;
    u.alarm = m_limits.isExceededBy(u.reading.numericValue);
    u.extremesRestarted = m_extremes.track(u.lcd, u.reading, &scale != m_scale);
    if (u.extremesRestarted) m_chart.restart();

    m_scale = &scale;
    u.scale = m_scale;
    u.needlePosition = needlePosition(u.lcd, m_scale->gaugeOffset, m_scale->gaugeSpan, m_scale->code == ScaleCode::Temperature);

    m_recorder->offerReading(u.reading);

    u.barMaximum = m_scale->barMaximum;
    // A position past the end shows a full bar, as the meter's own bar does.
    u.barValue = std::min(barPosition(u.lcd, m_scale->barMax), u.barMaximum);
    u.chartPointAdded = m_chartKept && m_chart.addReading(u.lcd, m_scale->fullScaleCount);
    emit readingHandled(u);
}

}  // namespace veska
