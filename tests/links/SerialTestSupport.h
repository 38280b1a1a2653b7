#pragma once

#include "links/MeterSimulator.h"
#include "links/PortMap.h"
#include "links/SerialPortDriver.h"

#include <QTest>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace veska::test {

using Bytes = std::vector<std::uint8_t>;

// Spins the event loop until 'done' holds or the time is up.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
    return QTest::qWaitFor(done, timeoutMs);
}

// A silent simulated meter on a fresh pty, and a port map with COM1 on it.
struct PtyMeter {
    MeterSimulator meter;
    PortMap map;

    PtyMeter() {
        EXPECT_TRUE(meter.open()) << meter.errorText().toStdString();
        map.setPath(ComPortNumber::Com1, meter.slavePath());
    }
    void write(const Bytes& bytes) { ASSERT_TRUE(meter.writeBytes(bytes.data(), bytes.size())); }
};

// Collects what the driver hands on, one entry per call.
struct ReceivedChunks {
    std::vector<Bytes> chunks;

    SerialPortDriver::ReceiveDataHandler handler() {
        return [this](const std::uint8_t* data, std::size_t size) { chunks.emplace_back(data, data + size); };
    }
    std::size_t total() const {
        std::size_t n = 0;
        for (const Bytes& c : chunks) n += c.size();
        return n;
    }
    Bytes all() const {
        Bytes out;
        for (const Bytes& c : chunks) out.insert(out.end(), c.begin(), c.end());
        return out;
    }
};

}  // namespace veska::test
