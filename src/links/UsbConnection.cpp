#include "links/UsbConnection.h"

#include "links/BridgeChips.h"
#include "links/BridgeConfigReport.h"

#include <QSettings>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>

namespace veska {

namespace {
const QString kCableCaption = QStringLiteral("USB to Serial");
const QString kNamelessCaption = QStringLiteral("USB to Serial (no name reported)");
const QString kUdevRule = QStringLiteral("70-veska-usb-serial.rules");

QString hex4(std::uint16_t value) { return QString("%1").arg(value, 4, 16, QChar('0')).toUpper(); }
}  // namespace

UsbConnection::UsbConnection(HidDeviceMonitor& monitor, UsbReportRoute route, std::uint32_t bridgeSpeed,
                             QObject* parent)
    : QObject(parent), m_route(route), m_bridgeSpeed(bridgeSpeed), m_controller(&monitor) {
    m_reassembly.setReportLineHandler([this](const std::string& line) { addHistory(QString::fromStdString(line)); });
    m_reassembly.setPacketHandler([this](std::string_view text) { deliverPacket(text); });
    m_lumioHandler = [this](HidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
        m_reassembly.onLumioReport(id, data, size);
    };
    m_kestoHandler = [this](HidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
        m_reassembly.onKestoReport(id, data, size);
    };
    m_veskaHandler = [this](HidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
        m_reassembly.onVeskaReport(id, data, size);
    };
    // The order matters: assigning OnDeviceChange builds the list, and the data-error
    // handler then reaches the devices listed by it.
    m_controller->setArrivalHandler([this](HidDevice& d) { onDeviceArrived(d); });
    m_controller->setEnumerateHandler([this](HidDevice& d, int i) { return onDeviceEnumerated(d, i); });
    m_controller->setDeviceChangeHandler([this](HidDeviceMonitor&) { onDevicesChanged(); });
    m_controller->setDeviceDataErrorHandler([this](HidDevice& d, std::uint32_t e) { onDeviceReadError(d, e); });
    m_controller->setRemovalHandler([this](HidDevice& d) { onDeviceRemoved(d); });
}

UsbConnection::~UsbConnection() {
    // Readers first, while their handlers can still run; then the monitor forgets this
    // link's handlers, and the held devices go back to it.
    for (Item& item : m_items) {
        if (item.device) item.device->setDataHandler(nullptr);
    }
    m_selectedDevice = nullptr;
    m_controller->setArrivalHandler(nullptr);
    m_controller->setEnumerateHandler(nullptr);
    m_controller->setRemovalHandler(nullptr);
    m_controller->setDeviceDataErrorHandler(nullptr);
    m_controller->setDeviceChangeHandler(nullptr);
    m_items.clear();
}

void UsbConnection::setPacketHandler(std::function<void(std::string_view)> handler) {
    m_packetHandler = std::move(handler);
}

void UsbConnection::deliverPacket(std::string_view packetText) {
    if (!m_packetHandler) return;
    try {
        m_packetHandler(packetText);
    } catch (const std::exception& e) {
        // The packet is lost; the reassembly has already started afresh.
        addHistory(QString("Packet dropped: %1").arg(QString::fromUtf8(e.what())));
    } catch (...) {
        addHistory(QStringLiteral("Packet dropped"));
    }
}

QString UsbConnection::deviceCaption(HidDevice& device) {
    QString caption = device.productString();
    if (caption.isEmpty() && BridgeChips::isKnown(device.attributes().vendorId, device.attributes().productId)) {
        caption = kNamelessCaption;
    } else if (caption.isEmpty()) {
        caption = QString("Device VID=%1 PID=%2")
                      .arg(hex4(device.attributes().vendorId), hex4(device.attributes().productId));
    }
    const QString serial = device.serialString();
    if (!serial.isEmpty()) caption += QString(" (Serial=%1)").arg(serial);
    return caption;
}

QString UsbConnection::readErrorLine(std::uint32_t error) {
    QString text = QString::fromLocal8Bit(std::strerror(static_cast<int>(error)));
    while (!text.isEmpty() && (text.back().isSpace() || text.back().category() == QChar::Other_Control ||
                               text.back() == QChar('.'))) {
        text.chop(1);
    }
    return QString("READ ERROR: %1 (%2)").arg(text, QString::number(error, 16).toUpper());
}

HidDevice* UsbConnection::deviceAt(int row) const {
    if (row < 0 || row >= static_cast<int>(m_items.size())) return nullptr;
    return m_items[static_cast<std::size_t>(row)].device.get();
}

HidDevice* UsbConnection::selectedItemDevice() const { return deviceAt(m_selected); }

HidDataEvent UsbConnection::profileHandler() const {
    switch (m_route) {
    case UsbReportRoute::LumioReports: return m_lumioHandler;
    case UsbReportRoute::KestoReports: return m_kestoHandler;
    case UsbReportRoute::VeskaReports: return m_veskaHandler;
    case UsbReportRoute::None: break;
    }
    return nullptr;
}

void UsbConnection::setMeterReading(bool down) {
    if (!down) m_awaiting.reset();
    if (m_meterReadingOn == down) return;
    m_meterReadingOn = down;
    emit meterReadingChanged(down);
}

void UsbConnection::setRawReading(bool down) {
    if (m_rawReadingOn == down) return;
    m_rawReadingOn = down;
    emit rawReadingChanged(down);
}

void UsbConnection::addHistory(const QString& line) {
    int row = m_history.rowCount();
    m_history.insertRows(row, 1);
    m_history.setData(m_history.index(row), line);
    // Only the newest lines are kept: a long session must not grow without bound.
    if (row + 1 > kHistoryLimit) {
        const int excess = row + 1 - kHistoryLimit;
        m_history.removeRows(0, excess);
        row -= excess;
    }
    emit historyLineAdded(row);
}

void UsbConnection::logAccessProblem(HidDevice& device) {
    const QString caption = deviceCaption(device);
    const int error = device.readWriteOpenError();
    if (error == EACCES || error == EPERM) {
        addHistory(QString("No permission to use %1 (%2): install the udev rule %3 and plug the cable in again")
                       .arg(caption, QString::fromStdString(device.pnpInfo().interfacePath), kUdevRule));
    } else {
        addHistory(QString("%1 cannot be opened for reading and writing: %2")
                       .arg(caption, QString::fromLocal8Bit(std::strerror(error))));
    }
}

bool UsbConnection::onDeviceEnumerated(HidDevice& device, int index) {
    Item item;
    item.caption = deviceCaption(device);
    const QString product = device.productString();
    const HidAttributes& ids = device.attributes();
    // Some bridge chips report no strings at all; their IDs are all there is to go by.
    const bool nameless = product.isEmpty() && BridgeChips::isKnown(ids.vendorId, ids.productId);
    item.cable = product == kCableCaption || nameless;
    item.autoSelect = item.caption == kCableCaption || item.caption == kNamelessCaption;
    item.portPath = QString::fromStdString(device.pnpInfo().portPath);
    item.identity = device.pnpInfo().deviceInstance;
    if (nameless && !m_namelessLogged.contains(QString::fromStdString(item.identity))) {
        m_namelessLogged.insert(QString::fromStdString(item.identity));
        addHistory(QString("Device VID=%1 PID=%2%3 reports no product name: its bridge chip is the one of the meter's "
                           "cable, so it is taken as the USB to Serial cable")
                       .arg(hex4(ids.vendorId), hex4(ids.productId),
                            item.portPath.isEmpty() ? QString() : QStringLiteral(" at ") + item.portPath));
    }
    item.device = m_controller->claimByIndex(index);
    m_items.push_back(std::move(item));
    return true;
}

QSet<QString> UsbConnection::cableIdentities() const {
    QSet<QString> ids;
    for (const Item& item : m_items) {
        if (item.cable) ids.insert(QString::fromStdString(item.identity));
    }
    return ids;
}

int UsbConnection::preferredCableRow(const QString& portPath) const {
    if (portPath.isEmpty()) return -1;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].cable && m_items[i].portPath == portPath) return static_cast<int>(i);
    }
    return -1;
}

void UsbConnection::captionCablesByPort() {
    // Identical cables have identical names and no serial numbers: the port tells them apart.
    const auto cables = std::count_if(m_items.begin(), m_items.end(), [](const Item& i) { return i.cable; });
    if (cables < 2) return;
    for (Item& item : m_items) {
        if (item.cable && !item.portPath.isEmpty()) item.caption += QStringLiteral(" at ") + item.portPath;
    }
}

void UsbConnection::onDeviceArrived(HidDevice& device) { addHistory("Arrival of " + deviceCaption(device)); }

void UsbConnection::onDeviceRemoved(HidDevice& device) { addHistory("Removal of " + deviceCaption(device)); }

void UsbConnection::onDeviceReadError(HidDevice&, std::uint32_t error) { addHistory(readErrorLine(error)); }

void UsbConnection::onDevicesChanged() {
    std::optional<AwaitedCable> reading = m_awaiting;
    if (m_meterReadingOn && !reading && m_selected >= 0 && m_items[static_cast<std::size_t>(m_selected)].cable) {
        const Item& item = m_items[static_cast<std::size_t>(m_selected)];
        reading = AwaitedCable{item.caption, item.portPath, QString::fromStdString(item.identity), {}, {}};
    }
    setRawReading(false);
    applyReadingMode();  // the selected device stops being read
    rebuildDeviceList(reading ? reading->portPath : QString());
    if (m_meterReadingOn) resumeAfterDeviceChange(reading);
}

void UsbConnection::rebuildDeviceList(const QString& keepPort) {
    m_selectedDevice = nullptr;  // its object is handed back now
    m_selected = -1;
    for (Item& item : m_items) item.device.reset();  // hand-back, in list order
    m_items.clear();
    m_controller->enumerateDevices();
    // The cable being read stays picked; then the one the user chose last time; then, as
    // ever, the last cable without a serial number.
    m_selected = preferredCableRow(keepPort);
    if (m_selected < 0 && m_settings) m_selected = preferredCableRow(m_settings->value(kCableSettingsKey).toString());
    for (std::size_t i = m_items.size(); m_selected < 0 && i-- > 0;) {
        if (m_items[i].autoSelect) m_selected = static_cast<int>(i);
    }
    captionCablesByPort();
    QStringList captions;
    for (const Item& item : m_items) captions << item.caption;
    m_deviceList.setStringList(captions);
    emit deviceSelectionChanged(m_selected);
    if (HidDevice* cable = selectedItemDevice(); cable && !cable->canReadWrite()) logAccessProblem(*cable);
}

void UsbConnection::resumeAfterDeviceChange(const std::optional<AwaitedCable>& wasReading) {
    if (wasReading && !m_awaiting) {
        const QString id = wasReading->identity;
        const bool stillThere = std::any_of(m_items.begin(), m_items.end(), [&](const Item& i) {
            return QString::fromStdString(i.identity) == id;
        });
        if (!stillThere) {
            // Wait for the same cable, without polling: the next device change brings it.
            m_awaiting = wasReading;
            m_awaiting->othersPresent = cableIdentities();
            m_awaiting->since.start();
            m_selectedDevice = nullptr;
            addHistory(QString("%1 unplugged while being read: waiting for it to come back").arg(wasReading->caption));
            emit cableLost(wasReading->caption);
            return;
        }
    }
    if (m_awaiting) {
        // The same cable: back in the same port, or, plugged elsewhere, the only cable there is.
        int row = preferredCableRow(m_awaiting->portPath);
        if (row >= 0 && m_awaiting->othersPresent.contains(QString::fromStdString(m_items[static_cast<std::size_t>(row)].identity)))
            row = -1;
        if (row < 0) {
            std::vector<int> fresh;
            for (std::size_t i = 0; i < m_items.size(); ++i) {
                if (m_items[i].cable && !m_awaiting->othersPresent.contains(QString::fromStdString(m_items[i].identity)))
                    fresh.push_back(static_cast<int>(i));
            }
            const auto cables = std::count_if(m_items.begin(), m_items.end(), [](const Item& i) { return i.cable; });
            if (fresh.size() == 1 && cables == 1) row = fresh.front();
        }
        if (row < 0) {
            m_selectedDevice = nullptr;
            return;
        }
        const qint64 gapMs = m_awaiting->since.elapsed();
        m_awaiting.reset();
        m_selected = row;
        emit deviceSelectionChanged(row);
        const QString caption = m_items[static_cast<std::size_t>(row)].caption;
        addHistory(QString("%1 is back after a gap of %2 s: configured again, reading goes on")
                       .arg(caption)
                       .arg(static_cast<double>(gapMs) / 1000.0, 0, 'f', 1));
        emit cableBack(caption, gapMs);
    }
    // A change of any HID device rebuilt the list: the connection goes on with the cable
    // selected now, or ends, visibly, when there is none.
    HidDevice* cable = selectedItemDevice();
    if (!cable) {
        setMeterReading(false);
        addHistory(QStringLiteral("USB interface cable removed: USB connection ended"));
        return;
    }
    sendBridgeConfiguration();
    m_reassembly.setEmptyReportCount(0);
    if (!cable->canReadWrite()) {
        setMeterReading(false);
        return;
    }
    if (const HidDataEvent handler = profileHandler()) cable->setDataHandler(handler);
}

void UsbConnection::selectDevice(int row) {
    m_selected = (row >= 0 && row < static_cast<int>(m_items.size())) ? row : -1;
    if (m_settings && m_selected >= 0) {
        const Item& item = m_items[static_cast<std::size_t>(m_selected)];
        if (item.cable && !item.portPath.isEmpty()) m_settings->setValue(kCableSettingsKey, item.portPath);
    }
    emit deviceSelectionChanged(m_selected);
}

void UsbConnection::setSettings(QSettings* settings) {
    m_settings = settings;
    if (!m_settings || m_meterReadingOn || m_rawReadingOn) return;
    const int row = preferredCableRow(m_settings->value(kCableSettingsKey).toString());
    if (row >= 0 && row != m_selected) {
        m_selected = row;
        emit deviceSelectionChanged(m_selected);
    }
}

void UsbConnection::applyReadingMode() {
    m_selectedDevice = selectedItemDevice();
    if (!m_selectedDevice) return;
    if (!m_selectedDevice->canReadWrite()) {
        setRawReading(false);
        return;
    }
    m_selectedDevice->setDataHandler(m_rawReadingOn ? m_lumioHandler : HidDataEvent());
}

void UsbConnection::readRawReports(bool down) {
    m_awaiting.reset();
    if (down) setMeterReading(false);  // one exclusive group
    const bool wasDown = m_rawReadingOn;
    m_rawReadingOn = down;
    if (down != wasDown) emit rawReadingChanged(down);
    HidDevice* device = selectedItemDevice();
    if (down && device && !device->canReadWrite()) logAccessProblem(*device);
    applyReadingMode();
}

void UsbConnection::sendBridgeConfiguration() {
    m_selectedDevice = selectedItemDevice();
    if (!m_selectedDevice) {
        emit message(QStringLiteral("USB interface cable is not securely connected, please check and re-try."),
                     UsbProblem::NoCable);
        setMeterReading(false);
        return;
    }
    const BridgeConfigReport::Bytes report = BridgeConfigReport::build(m_bridgeSpeed);
    if (m_selectedDevice->sendFeatureReport(report.data(), report.size())) {
        m_configRefused = false;
        addHistory(BridgeConfigReport::logLine(report));
        return;
    }
    // A cable at the wrong bit rate delivers nothing the meter sent: say so, once, rather
    // than later blaming the meter.
    const int error = m_selectedDevice->featureReportError();
    const QString why = QString::fromLocal8Bit(std::strerror(error));
    addHistory(QString("Configuration report %1NOT SENT: %2 (%3)")
                   .arg(BridgeConfigReport::logLine(report), why,
                        QString::number(error, 16).toUpper()));
    if (m_configRefused) return;
    m_configRefused = true;
    emit message(QString("The USB interface cable could not be configured (%1). "
                         "Unplug it and plug it in again.")
                     .arg(why),
                 UsbProblem::CableNotConfigured);
}

void UsbConnection::readMeter(bool down) {
    m_awaiting.reset();
    if (down) setRawReading(false);  // one exclusive group
    if (m_meterReadingOn != down) {
        m_meterReadingOn = down;
        emit meterReadingChanged(down);
    }
    applyReadingMode();
    sendBridgeConfiguration();
    m_reassembly.setEmptyReportCount(0);
    m_selectedDevice = selectedItemDevice();
    if (!m_selectedDevice) return;
    if (!m_selectedDevice->canReadWrite()) {
        setMeterReading(false);
        logAccessProblem(*m_selectedDevice);
        return;
    }
    if (m_meterReadingOn) {
        if (const HidDataEvent handler = profileHandler()) m_selectedDevice->setDataHandler(handler);
    } else {
        m_selectedDevice->setDataHandler(nullptr);
    }
}

void UsbConnection::clearHistory() { m_history.setStringList({}); }

std::optional<HidDeviceInfo> UsbConnection::selectedDeviceInfo() {
    if (m_selected < 0) return std::nullopt;
    HidDeviceInfo info;
    info.caption = m_items[static_cast<std::size_t>(m_selected)].caption;
    if (HidDevice* device = selectedItemDevice()) {
        info.vendorId = device->attributes().vendorId;
        info.productId = device->attributes().productId;
        info.version = device->attributes().versionNumber;
        info.serialNumber = device->serialString();
        info.readWrite = device->canReadWrite();
        info.path = QString::fromStdString(device->pnpInfo().interfacePath);
    }
    return info;
}

bool UsbConnection::checkSilentLink() {
    if (m_reassembly.emptyReportCount() < kSilentReportLimit) return false;
    m_reassembly.setEmptyReportCount(0);
    setMeterReading(false);
    if (m_selectedDevice) m_selectedDevice->setDataHandler(nullptr);
    // Also after a refused configuration: the link ends with a word, never in silence.
    emit message(QStringLiteral("USB interface cable is securely connected, please check if the meter is ready."),
                 UsbProblem::MeterSilent);
    return true;
}

bool UsbConnection::isLinkActive() const {
    if (m_meterReadingOn || m_rawReadingOn) return true;
    for (const Item& item : m_items) {
        if (item.device && item.device->readerRunning()) return true;
    }
    return false;
}

void UsbConnection::stopLink() {
    const bool wasActive = isLinkActive();
    setMeterReading(false);
    setRawReading(false);
    for (Item& item : m_items) {
        if (item.device && item.device->dataHandler()) item.device->setDataHandler(nullptr);
    }
    m_reassembly.reset();
    if (wasActive) addHistory(QStringLiteral("USB reading stopped: the serial link was connected"));
}

}  // namespace veska
