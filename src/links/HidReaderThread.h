#pragma once

#include "links/HidReadChannel.h"

#include <QThread>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace veska {

class HidDevice;

// Reads one device's input reports and hands each report, and each failure to read, to
// the UI thread, waiting until the handler there has returned.
class HidReaderThread : public QThread {
public:
    HidReaderThread(HidDevice& device, std::shared_ptr<HidReadChannel> channel,
                           std::size_t reportLength);
    ~HidReaderThread() override;

    std::uint32_t readError = 0;
    std::uint32_t bytesRead = 0;
    std::vector<std::uint8_t> reportBuffer;

protected:
    void run() override {
        readLoop();
        m_finished.store(true, std::memory_order_release);
    }

private:
    // How long one wait for a report lasts before the stop request is looked at again.
    static constexpr int kReadSliceMs = 20;

    void readLoop();
    // Result: the byte count of a finished read, 0 for none, -1 when the stop request came.
    int waitForReport(const std::shared_ptr<HidHandle>& handle);
    void reportError(std::uint32_t error);
    void pauseAfterError();
    void deliverReport();
    void deliverError();

    HidDevice& m_device;
    std::shared_ptr<HidReadChannel> m_channel;
    // Set as run() ends and read after wait(): the hand-off of this object's members back
    // to the destroying thread, stated in a form ThreadSanitizer sees (QThread::wait's own
    // locking is inside Qt, which is not instrumented).
    std::atomic<bool> m_finished{false};
};

}  // namespace veska
