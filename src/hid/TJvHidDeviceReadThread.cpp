#include "hid/TJvHidDeviceReadThread.h"

#include "hid/TJvHidDevice.h"

#include <algorithm>
#include <cerrno>

namespace veska {

TJvHidDeviceReadThread::TJvHidDeviceReadThread(TJvHidDevice& device, std::shared_ptr<HidReadChannel> channel,
                                               std::size_t reportLength)
    : ReportBuffer(reportLength), m_device(device), m_channel(std::move(channel)) {}

TJvHidDeviceReadThread::~TJvHidDeviceReadThread() {
    requestInterruption();
    wait();
    (void)m_finished.load(std::memory_order_acquire);
}

void TJvHidDeviceReadThread::Execute() {
    while (!isInterruptionRequested()) {
        std::fill(ReportBuffer.begin(), ReportBuffer.end(), 0);
        int error = 0;
        std::shared_ptr<HidHandle> handle = m_channel->openReadHandle(error);
        if (!handle) {
            reportError(static_cast<std::uint32_t>(error));
            continue;
        }
        const int count = waitForReport(handle);
        if (count < 0) break;
        if (count == 0) continue;
        BytesRead = static_cast<std::uint32_t>(count);
        m_channel->handOver().call([this] { DeliverReport(); });
    }
}

int TJvHidDeviceReadThread::waitForReport(const std::shared_ptr<HidHandle>& handle) {
    for (;;) {
        if (isInterruptionRequested()) return -1;
        const int n = handle->readReport(ReportBuffer.data(), ReportBuffer.size(), kReadSliceMs);
        // A read that ends because its handle was closed meanwhile delivers nothing.
        if (!m_channel->isCurrent(handle)) return 0;
        if (n > 0) return n;
        if (n < 0) {
            reportError(static_cast<std::uint32_t>(handle->errorCode()));
            return 0;
        }
    }
}

void TJvHidDeviceReadThread::reportError(std::uint32_t error) {
    ReadError = error;
    m_channel->handOver().call([this] { DeliverError(); });
    pauseAfterError();
}

void TJvHidDeviceReadThread::pauseAfterError() {
    // A device that keeps failing (unplugged but still held) is retried once per wait
    // slice instead of in a tight loop that would flood the log.
    const int total = m_channel->readSleepMs();
    for (int waited = 0; waited < total && !isInterruptionRequested(); waited += 10) msleep(10);
}

void TJvHidDeviceReadThread::DeliverReport() {
    const TJvHidDataEvent handler = m_device.DataHandler();
    if (!handler || BytesRead == 0) return;
    handler(m_device, ReportBuffer[0], ReportBuffer.data() + 1, static_cast<std::uint16_t>(BytesRead - 1));
}

void TJvHidDeviceReadThread::DeliverError() {
    const TJvHidDataErrorEvent handler = m_device.DataErrorHandler();
    if (handler) handler(m_device, ReadError);
}

}  // namespace veska
