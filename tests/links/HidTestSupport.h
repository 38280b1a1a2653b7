#pragma once

#include "links/SimulatedHidPlatform.h"
#include "links/HidDevice.h"
#include "links/HidDeviceMonitor.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

#include <chrono>
#include <thread>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace veska::test {

// Runs the event loop until 'done' holds or the time is up. Unlike QTest::qWaitFor it
// does not sleep 10 ms between rounds, so a stream of hand-overs flows at full speed.
template <class Predicate>
bool SpinUntil(Predicate done, int timeoutMs = 5000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

// Lets queued device-change notices and hand-overs run.
inline void SpinFor(int ms) { QTest::qWait(ms); }

// A bridge that sends nothing unless told to: reads are deterministic.
inline SimulatedHidDevice::Spec QuietBridge() {
    SimulatedHidDevice::Spec spec = SimulatedHidPlatform::bridge();
    spec.emptyReportIntervalMs = 0;
    return spec;
}

struct Delivered {
    std::uint8_t reportId;
    std::vector<std::uint8_t> data;
};

}  // namespace veska::test
