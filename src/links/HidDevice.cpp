#include "links/HidDevice.h"

#include "links/HidDeviceError.h"
#include "links/HidDeviceMonitor.h"
#include "links/HidReaderThread.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace veska {

namespace {
constexpr std::size_t kStringUnits = 254;

QString textUpToZero(const std::vector<char16_t>& units) {
    const auto end = std::find(units.begin(), units.end(), char16_t(0));
    return QString::fromUtf16(units.data(), static_cast<qsizetype>(end - units.begin()));
}

// Length of the language table in a buffer pre-filled with 0xFFFF: trailing units the
// device did not write are skipped, and a final zero unit is not counted.
std::size_t languageTableLength(const std::vector<char16_t>& table) {
    for (std::size_t k = table.size(); k-- > 0;) {
        if (table[k] == 0xFFFF) continue;
        return table[k] == 0 ? k : k + 1;
    }
    return 0;
}
}  // namespace

HidDevice::HidDevice(std::unique_ptr<HidPnPInfo> info, HidDeviceMonitor& controller)
    : m_owningController(&controller), m_pnpInfo(std::move(info)),
      m_channel(std::make_shared<HidReadChannel>(controller.platform(), m_pnpInfo->interfacePath)) {
    setDataHandler(controller.deviceDataHandler());
    m_unplugHandler = controller.deviceUnplugHandler();
    m_dataErrorHandler = controller.deviceDataErrorHandler();
    if (!openControl()) throw HidDeviceError("device cannot be opened");
    if (!m_controlHandle->attributes(m_attributes)) {
        closeControlHandle();
        throw HidDeviceError("device cannot be identified");
    }
    closeControlHandle();
}

HidDevice::~HidDevice() {
    const HidDataEvent data = m_dataHandler;
    const HidDataErrorEvent dataError = m_dataErrorHandler;
    const HidPlugEvent unplug = m_unplugHandler;
    setDataHandler(nullptr);
    m_unplugHandler = nullptr;
    closeControlHandle();
    closeReadHandle();
    if (m_owningController) {
        m_owningController->handBack(*this, std::move(m_pnpInfo), plugged(), data, dataError, unplug, readSleepMs());
    }
}

bool HidDevice::openControl() {
    int error = 0;
    const std::string& path = m_pnpInfo->interfacePath;
    m_controlHandle = m_channel->platform()->open(path, HidPlatform::Access::ReadWrite, error);
    m_canReadWrite = m_controlHandle != nullptr;
    m_readWriteOpenError = m_canReadWrite ? 0 : error;
    if (!m_controlHandle) m_controlHandle = m_channel->platform()->open(path, HidPlatform::Access::QueryOnly, error);
    return m_controlHandle != nullptr;
}

bool HidDevice::openControlHandle() {
    if (accessible() && !m_controlHandle) openControl();
    return m_controlHandle != nullptr;
}

void HidDevice::closeControlHandle() { m_controlHandle.reset(); }

bool HidDevice::openReadHandle() {
    int error = 0;
    return m_channel->openReadHandle(error) != nullptr;
}

void HidDevice::closeReadHandle() { m_channel->closeReadHandle(); }

HidCaps HidDevice::capabilities() {
    if (!m_capsFetched && openControlHandle()) {
        m_capsFetched = m_controlHandle->capabilities(m_caps);
        closeControlHandle();
    }
    return m_capsFetched ? m_caps : HidCaps{};
}

QString HidDevice::productString() {
    if (m_productString.isEmpty() && openControlHandle()) {
        std::vector<char16_t> buffer(kStringUnits, 0);
        if (m_controlHandle->productString(buffer)) m_productString = textUpToZero(buffer);
        closeControlHandle();
    }
    return m_productString;
}

QString HidDevice::serialString() {
    if (m_serialString.isEmpty() && openControlHandle()) {
        std::vector<char16_t> serial(kStringUnits, 0);
        if (m_controlHandle->serialNumberString(serial)) {
            std::vector<char16_t> table(kStringUnits, 0xFFFF);
            m_controlHandle->indexedString(0, table);
            const std::size_t n = languageTableLength(table);
            // Some devices answer the serial number query with their language table.
            if (!std::equal(table.begin(), table.begin() + static_cast<std::ptrdiff_t>(n), serial.begin())) {
                m_serialString = textUpToZero(serial);
            }
        }
        closeControlHandle();
    }
    return m_serialString;
}

void HidDevice::setDataHandler(HidDataEvent handler) {
    if (!handler) stopReader();
    m_dataHandler = std::move(handler);
    startReader();
}

void HidDevice::startReader() {
    if (!m_dataHandler || !plugged() || !claimed() || !m_canReadWrite || m_reader) return;
    m_reader = std::make_unique<HidReaderThread>(*this, m_channel, capabilities().inputReportByteLength);
    m_reader->start();
}

void HidDevice::stopReader() {
    if (!m_reader) return;
    m_reader->requestInterruption();
    HidHandOver& handOver = m_channel->handOver();
    if (handOver.serving()) {
        // Called from inside this reader's own hand-over: it ends when that returns.
        handOver.finishAfterJob(std::unique_ptr<QThread>(m_reader.release()));
        return;
    }
    while (!m_reader->wait(QDeadlineTimer(0))) handOver.serveFor(std::chrono::milliseconds(5));
    m_reader.reset();
}

void HidDevice::setReadSleep(int ms) {
    if (ms >= 10 && ms <= 10000) m_channel->setReadSleepMs(ms);
}

bool HidDevice::sendFeatureReport(const std::uint8_t* data, std::size_t length) {
    if (!openControlHandle()) {
        m_featureReportError = plugged() ? EIO : ENODEV;
        return false;
    }
    if (!m_controlHandle->sendFeatureReport(data, length)) {
        m_featureReportError = m_controlHandle->errorCode() != 0 ? m_controlHandle->errorCode() : EIO;
        return false;
    }
    m_featureReportError = 0;
    return true;
}

void HidDevice::markUnplugged() {
    m_channel->setPlugged(false);  // first, so the reader cannot open the read handle again
    closeControlHandle();
    closeReadHandle();
    if (m_unplugHandler) {
        const HidPlugEvent handler = std::move(m_unplugHandler);
        m_unplugHandler = nullptr;
        handler(*this);
    }
}

}  // namespace veska
