#include "hid/UsbConnection.h"

#include "hid/BridgeConfigReport.h"

#include <cerrno>
#include <cstring>
#include <exception>

namespace veska {

namespace {
const QString kCableCaption = QStringLiteral("USB to Serial");
const QString kUdevRule = QStringLiteral("70-veska-usb-serial.rules");

QString Hex4(std::uint16_t value) { return QString("%1").arg(value, 4, 16, QChar('0')).toUpper(); }
}  // namespace

UsbConnection::UsbConnection(std::shared_ptr<HidPlatform> platform, UsbReportRoute route, std::uint32_t bridgeSpeed,
                             QObject* parent)
    : QObject(parent), m_route(route), m_bridgeSpeed(bridgeSpeed) {
    m_reassembly.setReportLineHandler([this](const std::string& line) { addHistory(QString::fromStdString(line)); });
    m_reassembly.setPacketHandler([this](std::string_view text) { deliverPacket(text); });
    m_lumioHandler = [this](TJvHidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
        m_reassembly.HidLumioData(id, data, size);
    };
    m_kestoHandler = [this](TJvHidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
        m_reassembly.HidKestoData(id, data, size);
    };
    m_veskaHandler = [this](TJvHidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
        m_reassembly.HidVeskaData(id, data, size);
    };
    m_controller = std::make_unique<TJvHidDeviceController>(std::move(platform));
    // The order matters: assigning OnDeviceChange builds the list, and the data-error
    // handler then reaches the devices listed by it.
    m_controller->SetOnArrival([this](TJvHidDevice& d) { HidCtlArrival(d); });
    m_controller->SetOnEnumerate([this](TJvHidDevice& d, int i) { return HidCtlEnumerate(d, i); });
    m_controller->SetOnDeviceChange([this](TJvHidDeviceController&) { HidCtlDeviceChange(); });
    m_controller->SetOnDeviceDataError([this](TJvHidDevice& d, std::uint32_t e) { HidCtlDeviceDataError(d, e); });
    m_controller->SetOnRemoval([this](TJvHidDevice& d) { HidCtlRemoval(d); });
}

UsbConnection::~UsbConnection() {
    // Readers first, while their handlers can still run; then the controller, which
    // lets the held devices go without reopening them.
    for (Item& item : m_items) {
        if (item.device) item.device->SetDataHandler(nullptr);
    }
    m_selectedDevice = nullptr;
    m_controller.reset();
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

QString UsbConnection::HidDeviceCaption(TJvHidDevice& device) {
    QString caption = device.ProductString();
    if (caption.isEmpty()) {
        caption = QString("Device VID=%1 PID=%2")
                      .arg(Hex4(device.DeviceAttributes().VendorID), Hex4(device.DeviceAttributes().ProductID));
    }
    const QString serial = device.SerialString();
    if (!serial.isEmpty()) caption += QString(" (Serial=%1)").arg(serial);
    return caption;
}

QString UsbConnection::ReadErrorLine(std::uint32_t error) {
    QString text = QString::fromLocal8Bit(std::strerror(static_cast<int>(error)));
    while (!text.isEmpty() && (text.back().isSpace() || text.back().category() == QChar::Other_Control ||
                               text.back() == QChar('.'))) {
        text.chop(1);
    }
    return QString("READ ERROR: %1 (%2)").arg(text, QString::number(error, 16).toUpper());
}

TJvHidDevice* UsbConnection::deviceAt(int row) const {
    if (row < 0 || row >= static_cast<int>(m_items.size())) return nullptr;
    return m_items[static_cast<std::size_t>(row)].device.get();
}

TJvHidDevice* UsbConnection::selectedItemDevice() const { return deviceAt(m_selected); }

TJvHidDataEvent UsbConnection::profileHandler() const {
    switch (m_route) {
    case UsbReportRoute::HidLumioData: return m_lumioHandler;
    case UsbReportRoute::HidKestoData: return m_kestoHandler;
    case UsbReportRoute::HidVeskaData: return m_veskaHandler;
    case UsbReportRoute::None: break;
    }
    return nullptr;
}

void UsbConnection::setUsbCon(bool down) {
    if (m_usbConDown == down) return;
    m_usbConDown = down;
    emit usbConChanged(down);
}

void UsbConnection::setReadBtn(bool down) {
    if (m_readBtnDown == down) return;
    m_readBtnDown = down;
    emit readBtnChanged(down);
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

void UsbConnection::logAccessProblem(TJvHidDevice& device) {
    const QString caption = HidDeviceCaption(device);
    const int error = device.ReadWriteOpenError();
    if (error == EACCES || error == EPERM) {
        addHistory(QString("No permission to use %1 (%2): install the udev rule %3 and plug the cable in again")
                       .arg(caption, QString::fromStdString(device.PlugAndPlayInfo().InterfacePath), kUdevRule));
    } else {
        addHistory(QString("%1 cannot be opened for reading and writing: %2")
                       .arg(caption, QString::fromLocal8Bit(std::strerror(error))));
    }
}

bool UsbConnection::HidCtlEnumerate(TJvHidDevice& device, int index) {
    Item item{HidDeviceCaption(device), m_controller->ClaimByIndex(index)};
    m_items.push_back(std::move(item));
    return true;
}

void UsbConnection::HidCtlArrival(TJvHidDevice& device) { addHistory("Arrival of " + HidDeviceCaption(device)); }

void UsbConnection::HidCtlRemoval(TJvHidDevice& device) { addHistory("Removal of " + HidDeviceCaption(device)); }

void UsbConnection::HidCtlDeviceDataError(TJvHidDevice&, std::uint32_t error) { addHistory(ReadErrorLine(error)); }

void UsbConnection::HidCtlDeviceChange() {
    setReadBtn(false);
    runReadCommand();  // the selected device stops being read
    rebuildDeviceList();
    if (m_usbConDown) resumeAfterDeviceChange();
}

void UsbConnection::rebuildDeviceList() {
    m_selectedDevice = nullptr;  // its object is handed back now
    m_selected = -1;
    for (Item& item : m_items) item.device.reset();  // hand-back, in list order
    m_items.clear();
    m_controller->EnumerateDevices();
    QStringList captions;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        captions << m_items[i].caption;
        if (m_items[i].caption == kCableCaption) m_selected = static_cast<int>(i);
    }
    m_deviceList.setStringList(captions);
    emit deviceSelectionChanged(m_selected);
    if (TJvHidDevice* cable = selectedItemDevice(); cable && !cable->CanReadWrite()) logAccessProblem(*cable);
}

void UsbConnection::resumeAfterDeviceChange() {
    // A change of any HID device rebuilt the list: the connection goes on with the cable
    // selected now, or ends, visibly, when there is none.
    TJvHidDevice* cable = selectedItemDevice();
    if (!cable) {
        setUsbCon(false);
        addHistory(QStringLiteral("USB interface cable removed: USB connection ended"));
        return;
    }
    SetFeatureClick();
    m_reassembly.setEmptyReportCount(0);
    if (!cable->CanReadWrite()) {
        setUsbCon(false);
        return;
    }
    if (const TJvHidDataEvent handler = profileHandler()) cable->SetDataHandler(handler);
}

void UsbConnection::selectDevice(int row) {
    m_selected = (row >= 0 && row < static_cast<int>(m_items.size())) ? row : -1;
    emit deviceSelectionChanged(m_selected);
}

void UsbConnection::runReadCommand() {
    m_selectedDevice = selectedItemDevice();
    if (!m_selectedDevice) return;
    if (!m_selectedDevice->CanReadWrite()) {
        setReadBtn(false);
        return;
    }
    m_selectedDevice->SetDataHandler(m_readBtnDown ? m_lumioHandler : TJvHidDataEvent());
}

void UsbConnection::ReadBtnClick(bool down) {
    if (down) setUsbCon(false);  // one exclusive group
    const bool wasDown = m_readBtnDown;
    m_readBtnDown = down;
    if (down != wasDown) emit readBtnChanged(down);
    TJvHidDevice* device = selectedItemDevice();
    if (down && device && !device->CanReadWrite()) logAccessProblem(*device);
    runReadCommand();
}

void UsbConnection::SetFeatureClick() {
    m_selectedDevice = selectedItemDevice();
    if (!m_selectedDevice) {
        emit message(QStringLiteral("USB interface cable is not securely connected, please check and re-try."));
        setUsbCon(false);
        return;
    }
    const BridgeConfigReport::Bytes report = BridgeConfigReport::Build(m_bridgeSpeed);
    if (m_selectedDevice->SendFeatureReport(report.data(), report.size())) {
        m_configRefused = false;
        addHistory(BridgeConfigReport::LogLine(report));
        return;
    }
    // A cable at the wrong bit rate delivers nothing the meter sent: say so, once, rather
    // than later blaming the meter.
    const int error = m_selectedDevice->FeatureReportError();
    const QString why = QString::fromLocal8Bit(std::strerror(error));
    addHistory(QString("Configuration report %1NOT SENT: %2 (%3)")
                   .arg(BridgeConfigReport::LogLine(report), why,
                        QString::number(error, 16).toUpper()));
    if (m_configRefused) return;
    m_configRefused = true;
    emit message(QString("The USB interface cable could not be configured (%1). "
                         "Unplug it and plug it in again.")
                     .arg(why));
}

void UsbConnection::USBConClick(bool down) {
    if (down) setReadBtn(false);  // one exclusive group
    if (m_usbConDown != down) {
        m_usbConDown = down;
        emit usbConChanged(down);
    }
    runReadCommand();
    SetFeatureClick();
    m_reassembly.setEmptyReportCount(0);
    m_selectedDevice = selectedItemDevice();
    if (!m_selectedDevice) return;
    if (!m_selectedDevice->CanReadWrite()) {
        setUsbCon(false);
        logAccessProblem(*m_selectedDevice);
        return;
    }
    if (m_usbConDown) {
        if (const TJvHidDataEvent handler = profileHandler()) m_selectedDevice->SetDataHandler(handler);
    } else {
        m_selectedDevice->SetDataHandler(nullptr);
    }
}

void UsbConnection::ClearBtnClick() { m_history.setStringList({}); }

std::optional<HidDeviceInfo> UsbConnection::InfoBtnClick() {
    if (m_selected < 0) return std::nullopt;
    HidDeviceInfo info;
    info.caption = m_items[static_cast<std::size_t>(m_selected)].caption;
    if (TJvHidDevice* device = selectedItemDevice()) {
        info.vendorId = device->DeviceAttributes().VendorID;
        info.productId = device->DeviceAttributes().ProductID;
        info.version = device->DeviceAttributes().VersionNumber;
        info.serialNumber = device->SerialString();
        info.readWrite = device->CanReadWrite();
        info.path = QString::fromStdString(device->PlugAndPlayInfo().InterfacePath);
    }
    return info;
}

bool UsbConnection::ConTimerLinkIdle() {
    if (m_reassembly.emptyReportCount() < kSilentReportLimit) return false;
    m_reassembly.setEmptyReportCount(0);
    setUsbCon(false);
    if (m_selectedDevice) m_selectedDevice->SetDataHandler(nullptr);
    // A cable that refused its configuration was already reported as the cause.
    if (!m_configRefused) {
        emit message(QStringLiteral("USB interface cable is securely connected, please check if the meter is ready."));
    }
    return true;
}

bool UsbConnection::isLinkActive() const {
    if (m_usbConDown || m_readBtnDown) return true;
    for (const Item& item : m_items) {
        if (item.device && item.device->ReaderRunning()) return true;
    }
    return false;
}

void UsbConnection::stopLink() {
    const bool wasActive = isLinkActive();
    setUsbCon(false);
    setReadBtn(false);
    for (Item& item : m_items) {
        if (item.device && item.device->DataHandler()) item.device->SetDataHandler(nullptr);
    }
    m_reassembly.reset();
    if (wasActive) addHistory(QStringLiteral("USB reading stopped: the serial link was connected"));
}

void UsbConnection::raiseButtonsWithoutCommand() {
    setUsbCon(false);
    setReadBtn(false);
}

}  // namespace veska
