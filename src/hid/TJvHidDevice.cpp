#include "hid/TJvHidDevice.h"

#include "hid/EControllerError.h"
#include "hid/TJvHidDeviceController.h"
#include "hid/TJvHidDeviceReadThread.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace veska {

namespace {
constexpr std::size_t kStringUnits = 254;

QString TextUpToZero(const std::vector<char16_t>& units) {
    const auto end = std::find(units.begin(), units.end(), char16_t(0));
    return QString::fromUtf16(units.data(), static_cast<qsizetype>(end - units.begin()));
}

// Length of the language table in a buffer pre-filled with 0xFFFF: trailing units the
// device did not write are skipped, and a final zero unit is not counted.
std::size_t LanguageTableLength(const std::vector<char16_t>& table) {
    for (std::size_t k = table.size(); k-- > 0;) {
        if (table[k] == 0xFFFF) continue;
        return table[k] == 0 ? k : k + 1;
    }
    return 0;
}
}  // namespace

TJvHidDevice::TJvHidDevice(std::unique_ptr<TJvHidPnPInfo> info, TJvHidDeviceController& controller)
    : m_owningController(&controller), m_pnpInfo(std::move(info)),
      m_channel(std::make_shared<HidReadChannel>(controller.platform(), m_pnpInfo->InterfacePath)) {
    SetDataHandler(controller.OnDeviceData());
    m_unplugHandler = controller.OnDeviceUnplug();
    m_dataErrorHandler = controller.OnDeviceDataError();
    if (!openControl()) throw EControllerError("device cannot be opened");
    if (!m_controlHandle->attributes(m_attributes)) {
        CloseControlHandle();
        throw EControllerError("device cannot be identified");
    }
    CloseControlHandle();
}

TJvHidDevice::~TJvHidDevice() {
    const TJvHidDataEvent data = m_dataHandler;
    const TJvHidDataErrorEvent dataError = m_dataErrorHandler;
    const TJvHidPlugEvent unplug = m_unplugHandler;
    SetDataHandler(nullptr);
    m_unplugHandler = nullptr;
    CloseControlHandle();
    CloseReadHandle();
    if (m_owningController) {
        m_owningController->handBack(*this, std::move(m_pnpInfo), Plugged(), data, dataError, unplug, ReadSleepMs());
    }
}

bool TJvHidDevice::openControl() {
    int error = 0;
    const std::string& path = m_pnpInfo->InterfacePath;
    m_controlHandle = m_channel->platform()->open(path, HidPlatform::Access::ReadWrite, error);
    m_canReadWrite = m_controlHandle != nullptr;
    m_readWriteOpenError = m_canReadWrite ? 0 : error;
    if (!m_controlHandle) m_controlHandle = m_channel->platform()->open(path, HidPlatform::Access::QueryOnly, error);
    return m_controlHandle != nullptr;
}

bool TJvHidDevice::OpenControlHandle() {
    if (Accessible() && !m_controlHandle) openControl();
    return m_controlHandle != nullptr;
}

void TJvHidDevice::CloseControlHandle() { m_controlHandle.reset(); }

bool TJvHidDevice::OpenReadHandle() {
    int error = 0;
    return m_channel->openReadHandle(error) != nullptr;
}

void TJvHidDevice::CloseReadHandle() { m_channel->closeReadHandle(); }

HidCaps TJvHidDevice::Capabilities() {
    if (!m_capsFetched && OpenControlHandle()) {
        m_capsFetched = m_controlHandle->capabilities(m_caps);
        CloseControlHandle();
    }
    return m_capsFetched ? m_caps : HidCaps{};
}

QString TJvHidDevice::ProductString() {
    if (m_productString.isEmpty() && OpenControlHandle()) {
        std::vector<char16_t> buffer(kStringUnits, 0);
        if (m_controlHandle->productString(buffer)) m_productString = TextUpToZero(buffer);
        CloseControlHandle();
    }
    return m_productString;
}

QString TJvHidDevice::SerialString() {
    if (m_serialString.isEmpty() && OpenControlHandle()) {
        std::vector<char16_t> serial(kStringUnits, 0);
        if (m_controlHandle->serialNumberString(serial)) {
            std::vector<char16_t> table(kStringUnits, 0xFFFF);
            m_controlHandle->indexedString(0, table);
            const std::size_t n = LanguageTableLength(table);
            // Some devices answer the serial number query with their language table.
            if (!std::equal(table.begin(), table.begin() + static_cast<std::ptrdiff_t>(n), serial.begin())) {
                m_serialString = TextUpToZero(serial);
            }
        }
        CloseControlHandle();
    }
    return m_serialString;
}

void TJvHidDevice::SetDataHandler(TJvHidDataEvent handler) {
    if (!handler) StopReader();
    m_dataHandler = std::move(handler);
    StartReader();
}

void TJvHidDevice::StartReader() {
    if (!m_dataHandler || !Plugged() || !Claimed() || !m_canReadWrite || m_reader) return;
    m_reader = std::make_unique<TJvHidDeviceReadThread>(*this, m_channel, Capabilities().InputReportByteLength);
    m_reader->start();
}

void TJvHidDevice::StopReader() {
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

void TJvHidDevice::SetReadSleep(int ms) {
    if (ms >= 10 && ms <= 10000) m_channel->setReadSleepMs(ms);
}

bool TJvHidDevice::SendFeatureReport(const std::uint8_t* data, std::size_t length) {
    if (!OpenControlHandle()) {
        m_featureReportError = Plugged() ? EIO : ENODEV;
        return false;
    }
    if (!m_controlHandle->sendFeatureReport(data, length)) {
        m_featureReportError = m_controlHandle->errorCode() != 0 ? m_controlHandle->errorCode() : EIO;
        return false;
    }
    m_featureReportError = 0;
    return true;
}

void TJvHidDevice::MarkUnplugged() {
    m_channel->setPlugged(false);  // first, so the reader cannot open the read handle again
    CloseControlHandle();
    CloseReadHandle();
    if (m_unplugHandler) {
        const TJvHidPlugEvent handler = std::move(m_unplugHandler);
        m_unplugHandler = nullptr;
        handler(*this);
    }
}

}  // namespace veska
