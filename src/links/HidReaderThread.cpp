#include "links/HidReaderThread.h"

#include "links/HidDevice.h"

#include <algorithm>
#include <cerrno>

namespace veska {

HidReaderThread::HidReaderThread(HidDevice& device, std::shared_ptr<HidReadChannel> channel,
                                               std::size_t reportLength)
    : reportBuffer(reportLength), m_device(device), m_channel(std::move(channel)) {}

HidReaderThread::~HidReaderThread() {
    requestInterruption();
    wait();
    (void)m_finished.load(std::memory_order_acquire);
}

void HidReaderThread::readLoop() {
    while (!isInterruptionRequested()) {
        std::fill(reportBuffer.begin(), reportBuffer.end(), 0);
        int error = 0;
        std::shared_ptr<HidHandle> handle = m_channel->openReadHandle(error);
        if (!handle) {
            reportError(static_cast<std::uint32_t>(error));
            continue;
        }
        const int count = waitForReport(handle);
        if (count < 0) break;
        if (count == 0) continue;
        bytesRead = static_cast<std::uint32_t>(count);
        m_channel->handOver().call([this] { deliverReport(); });
    }
}

int HidReaderThread::waitForReport(const std::shared_ptr<HidHandle>& handle) {
    for (;;) {
        if (isInterruptionRequested()) return -1;
        const int n = handle->readReport(reportBuffer.data(), reportBuffer.size(), kReadSliceMs);
        // A read that ends because its handle was closed meanwhile delivers nothing.
        if (!m_channel->isCurrent(handle)) return 0;
        if (n > 0) return n;
        if (n < 0) {
            reportError(static_cast<std::uint32_t>(handle->errorCode()));
            return 0;
        }
    }
}

void HidReaderThread::reportError(std::uint32_t error) {
    readError = error;
    m_channel->handOver().call([this] { deliverError(); });
    pauseAfterError();
}

void HidReaderThread::pauseAfterError() {
    // A device that keeps failing (unplugged but still held) is retried once per wait
    // slice instead of in a tight loop that would flood the log.
    const int total = m_channel->readSleepMs();
    for (int waited = 0; waited < total && !isInterruptionRequested(); waited += 10) msleep(10);
}

void HidReaderThread::deliverReport() {
    const HidDataEvent handler = m_device.dataHandler();
    if (!handler || bytesRead == 0) return;
    handler(m_device, reportBuffer[0], reportBuffer.data() + 1, static_cast<std::uint16_t>(bytesRead - 1));
}

void HidReaderThread::deliverError() {
    const HidDataErrorEvent handler = m_device.dataErrorHandler();
    if (handler) handler(m_device, readError);
}

}  // namespace veska
