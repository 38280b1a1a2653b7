#include "links/SimulatedHidDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace veska {

namespace {
constexpr std::size_t kStreamBytesPerReport = 7;
}

SimulatedHidDevice::SimulatedHidDevice(Spec spec, std::string path, std::string identity)
    : m_spec(std::move(spec)), m_path(std::move(path)), m_identity(std::move(identity)),
      m_intervalMs(m_spec.emptyReportIntervalMs) {}

HidAttributes SimulatedHidDevice::attributes() const {
    return HidAttributes{m_spec.vendorId, m_spec.productId, m_spec.version};
}

bool SimulatedHidDevice::plugged() const {
    std::lock_guard lock(m_mutex);
    return m_plugged;
}

void SimulatedHidDevice::setPlugged(bool plugged) {
    {
        std::lock_guard lock(m_mutex);
        m_plugged = plugged;
    }
    m_cv.notify_all();
}

std::vector<std::uint8_t> SimulatedHidDevice::emptyReport() const {
    std::vector<std::uint8_t> report(std::max<std::size_t>(m_spec.inputReportLength, 2), 0);
    report[1] = 0xF0;
    return report;
}

void SimulatedHidDevice::queueStream(const std::vector<std::uint8_t>& bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += kStreamBytesPerReport) {
        const std::size_t n = std::min(kStreamBytesPerReport, bytes.size() - at);
        std::vector<std::uint8_t> report = emptyReport();
        report.resize(std::max<std::size_t>(report.size(), n + 2), 0);
        report[1] = static_cast<std::uint8_t>(0xF0 | n);
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), n, report.begin() + 2);
        m_reads.push_back(std::move(report));
    }
}

void SimulatedHidDevice::feed(const std::vector<std::uint8_t>& meterBytes) {
    {
        std::lock_guard lock(m_mutex);
        queueStream(meterBytes);
    }
    m_cv.notify_all();
}

void SimulatedHidDevice::pushEmptyReports(int count) {
    {
        std::lock_guard lock(m_mutex);
        for (int i = 0; i < count; ++i) m_reads.push_back(emptyReport());
    }
    m_cv.notify_all();
}

void SimulatedHidDevice::pushRead(std::vector<std::uint8_t> read) {
    {
        std::lock_guard lock(m_mutex);
        m_reads.push_back(std::move(read));
    }
    m_cv.notify_all();
}

void SimulatedHidDevice::setByteSource(ByteSource source) {
    std::lock_guard lock(m_mutex);
    m_source = std::move(source);
}

void SimulatedHidDevice::setEmptyReportInterval(int ms) {
    {
        std::lock_guard lock(m_mutex);
        m_intervalMs = std::max(0, ms);
        m_nextTick = Clock::now();
    }
    m_cv.notify_all();
}

std::uint32_t SimulatedHidDevice::bitRate() const {
    std::lock_guard lock(m_mutex);
    return m_bitRate;
}

std::vector<std::vector<std::uint8_t>> SimulatedHidDevice::featureReports() const {
    std::lock_guard lock(m_mutex);
    return m_featureReports;
}

int SimulatedHidDevice::pendingReads() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_reads.size());
}

bool SimulatedHidDevice::nextRead(std::vector<std::uint8_t>& out, std::unique_lock<std::mutex>& lock) {
    if (!m_reads.empty()) {
        out = std::move(m_reads.front());
        m_reads.pop_front();
        return true;
    }
    if (!m_spec.bridge || m_intervalMs <= 0 || Clock::now() < m_nextTick) return false;
    m_nextTick = Clock::now() + std::chrono::milliseconds(m_intervalMs);
    if (m_source) {
        ByteSource source = m_source;
        lock.unlock();  // the source may take its time or feed us itself
        const std::vector<std::uint8_t> bytes = source();
        lock.lock();
        queueStream(bytes);
        if (!m_reads.empty()) return nextRead(out, lock);
    }
    out = emptyReport();
    return true;
}

int SimulatedHidDevice::read(std::uint8_t* buffer, std::size_t length, int timeoutMs, int& error) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!m_plugged) {
            error = ENODEV;
            return -1;
        }
        std::vector<std::uint8_t> report;
        if (nextRead(report, lock)) {
            const std::size_t n = std::min(length, report.size());
            if (n > 0) std::memcpy(buffer, report.data(), n);
            return static_cast<int>(n);
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return 0;
        Clock::time_point wake = deadline;
        if (m_spec.bridge && m_intervalMs > 0) wake = std::min(wake, m_nextTick);
        m_cv.wait_until(lock, std::max(wake, now + std::chrono::microseconds(100)));
    }
}

void SimulatedHidDevice::refuseFeatureReports(int error) {
    std::lock_guard lock(m_mutex);
    m_featureRefusal = error;
}

bool SimulatedHidDevice::sendFeatureReport(const std::uint8_t* data, std::size_t length, int& error) {
    std::lock_guard lock(m_mutex);
    if (!m_plugged) {
        error = ENODEV;
        return false;
    }
    if (m_featureRefusal != 0) {
        error = m_featureRefusal;
        return false;
    }
    m_featureReports.emplace_back(data, data + length);
    // Report ID 0, then the bit rate, least significant byte first.
    if (m_spec.bridge && length >= 5 && data[0] == 0) {
        m_bitRate = std::uint32_t(data[1]) | std::uint32_t(data[2]) << 8 | std::uint32_t(data[3]) << 16 |
                    std::uint32_t(data[4]) << 24;
    }
    return true;
}

}  // namespace veska
